#include "dashboard/ResetsCard.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "model/Format.h"
#include "model/UsageModel.h"
#include "ui/Card.h"
#include "ui/DateField.h"
#include "ui/Divider.h"
#include "ui/FitRow.h"
#include "ui/Focus.h"
#include "ui/SectionLabel.h"
#include "ui/Stepper.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kPadding = 14;
constexpr int kCardSpacing = 12;
constexpr int kColumnGap = 24;
constexpr int kBankedWidth = 200;
constexpr int kBankedSpacing = 6;
constexpr int kPlannedSpacing = 8;
constexpr int kRowSpacing = 8;
constexpr int kNoteMinimumWidth = 80;
constexpr int kFigurePixels = 22;
constexpr int kTrashSide = 13;
constexpr int kMenuArrowRoom = 10;

const char* const kRedeemHelp =
    "After redeeming in Claude's Settings \u2192 Usage \u2192 Resets: Ovel takes the drop at face value instead of "
    "treating it as a stale reading.";
const char* const kBankedCaption =
    "Resets you've been given and can redeem later. Neither Claude nor Codex shares this count locally, so keep it "
    "here.";
const char* const kEmptyPlan =
    "None. Add one when a reset is announced or you expect one, and Ovel will plan each limit it cuts short to finish "
    "by then.";

TextView* headline(const QString& text) {
  auto* view = new TextView(text, Theme::font(TextStyle::headline));
  view->setSingleLine();
  return view;
}

TextView* caption(const QString& text) {
  return new TextView(text, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary));
}

// A one-line text that keeps its whole width.
TextView* rigidText(const QFont& font, ThemeColor color) {
  auto* view = new TextView({}, font, std::move(color));
  view->setSingleLine();
  view->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return view;
}

QVBoxLayout* column(QWidget* owner, int spacing) {
  auto* layout = new QVBoxLayout(owner);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return layout;
}

Date dateOf(const QDateTime& moment) {
  return dateFromSeconds1970(static_cast<double>(moment.toMSecsSinceEpoch()) / 1000);
}

}  // namespace

// One planned reset: its time, scope, note, whether it has passed, and the
// trash button. Rebuilt only when the plan changes, so the button under
// the pointer survives the clock's ticks.
class ResetsCard::PlannedRow final : public QWidget {
 public:
  PlannedRow(const PlannedReset& reset, std::function<void()> remove)
      : id_(reset.id),
        clock_(rigidText(Theme::withFixedDigits(Theme::font(TextStyle::callout)), ThemeColor::of(ColorRole::primary))),
        scope_(rigidText(Theme::font(TextStyle::callout), ThemeColor::of(ColorRole::secondary))),
        note_(new TextView({}, Theme::font(TextStyle::callout), ThemeColor::of(ColorRole::secondary))),
        passed_(rigidText(Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::tertiary))),
        trash_(new SymbolButton(Symbol::trash, QStringLiteral("Remove"), kTrashSide)) {
    note_->setSingleLine();
    passed_->setText(QStringLiteral("passed"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kRowSpacing);
    for (QWidget* part : {static_cast<QWidget*>(clock_), static_cast<QWidget*>(scope_), static_cast<QWidget*>(note_),
                          static_cast<QWidget*>(passed_)})
      row->addWidget(part, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(trash_, 0, Qt::AlignVCenter);
    QObject::connect(trash_, &SymbolButton::clicked, this, std::move(remove));
    note_->installEventFilter(this);
  }

  void setTexts(const RowTexts& texts) {
    texts_ = texts;
    clock_->setText(QString::fromStdString(texts.clock));
    scope_->setText(QString::fromStdString(texts.scope));
    note_->setText(QString::fromStdString(texts.note.value_or("")));
    note_->setVisible(texts.note.has_value());
    passed_->setVisible(texts.passed);
    showCutNote();
  }

  const Uuid& id() const { return id_; }
  const RowTexts& texts() const { return texts_; }
  SymbolButton* trash() const { return trash_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == note_ && event->type() == QEvent::Resize) showCutNote();
    return QWidget::eventFilter(watched, event);
  }

 private:
  // A note cut to one line is there whole under the pointer.
  void showCutNote() { setToolTip(!note_->isHidden() && note_->isCut() ? note_->text() : QString()); }

  Uuid id_;
  RowTexts texts_;
  TextView* clock_;
  TextView* scope_;
  TextView* note_;
  TextView* passed_;
  SymbolButton* trash_;
};

ResetsCard::ResetsCard(UsageModel& model, QWidget* parent) : QWidget(parent), model_(model) {
  auto* card = new Card(kPadding, kCardSpacing);
  column(this, 0)->addWidget(card);
  card->column()->addWidget(new SectionLabel(QStringLiteral("Resets")));
  auto* columns = new QHBoxLayout;
  columns->setSpacing(kColumnGap);
  columns->addWidget(bankedColumn(), 0, Qt::AlignTop);
  columns->addWidget(new Divider(Qt::Vertical));
  columns->addWidget(plannedColumn(), 1, Qt::AlignTop);
  card->column()->addLayout(columns);
  card->column()->addWidget(saveErrorRow());

  for (auto signal : {&UsageModel::resetPlanChanged, &UsageModel::nowChanged, &UsageModel::planSaveErrorChanged,
                      &UsageModel::historySaveErrorChanged})
    connect(&model_, signal, this, &ResetsCard::refresh);
  refresh();
}

QWidget* ResetsCard::bankedColumn() {
  auto* box = new QWidget;
  box->setFixedWidth(kBankedWidth);
  QVBoxLayout* layout = column(box, kBankedSpacing);
  layout->addWidget(headline(QStringLiteral("Banked")));

  auto* stepperRow = new QHBoxLayout;
  saved_ = rigidText(Theme::figureFont(kFigurePixels), ThemeColor::of(ColorRole::primary));
  stepper_ = new Stepper(0, kMaximumBanked);
  stepper_->setAccessibleName(QStringLiteral("Banked"));
  connect(stepper_, &Stepper::stepped, this, [this](int value) { model_.setBankedResets(value); });
  stepperRow->addWidget(saved_, 0, Qt::AlignVCenter);
  stepperRow->addStretch(1);
  stepperRow->addWidget(stepper_, 0, Qt::AlignVCenter);
  layout->addLayout(stepperRow);

  redeem_ = new QPushButton(QStringLiteral("Redeemed one"));
  redeem_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  redeem_->setToolTip(QString::fromUtf8(kRedeemHelp));
  pressOnEnter(redeem_);
  auto* menu = new QMenu(redeem_);
  for (const RedeemEntry& entry : kRedeemEntries) {
    PlannedReset::Scope scope = entry.scope;
    menu->addAction(QString::fromUtf8(entry.title), this, [this, scope] { model_.redeemReset(scope); });
  }
  redeem_->setMenu(menu);
  // Room for the menu's arrow beside the title.
  redeem_->setMinimumWidth(redeem_->sizeHint().width() + kMenuArrowRoom);
  layout->addWidget(redeem_, 0, Qt::AlignLeft);
  layout->addWidget(caption(QString::fromUtf8(kBankedCaption)));
  return box;
}

QWidget* ResetsCard::plannedColumn() {
  auto* box = new QWidget;
  QVBoxLayout* layout = column(box, kPlannedSpacing);
  layout->addWidget(headline(QStringLiteral("Planned")));
  emptyPlan_ = caption(QString::fromUtf8(kEmptyPlan));
  layout->addWidget(emptyPlan_);
  rows_ = new QVBoxLayout;
  rows_->setSpacing(kPlannedSpacing);
  layout->addLayout(rows_);
  layout->addWidget(addRow());
  return box;
}

QWidget* ResetsCard::addRow() {
  QDateTime now = QDateTime::currentDateTime();
  date_ = new DateField(initialDate(now), Format::clockLocale());
  date_->setLowerBound(now);

  scope_ = new QComboBox;
  for (PlannedReset::Scope scope : PlannedReset::allScopes)
    scope_->addItem(QString::fromUtf8(label(scope).data(), static_cast<qsizetype>(label(scope).size())),
                    static_cast<int>(scope));
  scope_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  takeWheelOnlyWithFocus(scope_);

  note_ = new QLineEdit;
  note_->setPlaceholderText(QStringLiteral("Note"));
  note_->setMinimumWidth(kNoteMinimumWidth);

  add_ = new QPushButton(QStringLiteral("Add"));
  pressOnEnter(add_);
  connect(add_, &QPushButton::clicked, this, &ResetsCard::addDraft);

  // When the planned column is narrow, the note and "Add" go on a line of
  // their own under the date and scope.
  auto* when = new QHBoxLayout;
  when->setSpacing(kRowSpacing);
  when->addWidget(date_);
  when->addWidget(scope_);
  when->addStretch(1);
  auto* what = new QHBoxLayout;
  what->setSpacing(kRowSpacing);
  what->addWidget(note_, 1);
  what->addWidget(add_);
  auto* box = new QWidget;
  auto* addRow = new FitRow(kRowSpacing, kPlannedSpacing, box);
  addRow->addGroup(widgetOf(when));
  addRow->addGroup(widgetOf(what), 1);
  return box;
}

QWidget* ResetsCard::saveErrorRow() {
  saveErrorRow_ = new QWidget;
  auto* row = new QHBoxLayout(saveErrorRow_);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(kBankedSpacing);
  row->addWidget(new SymbolView(Symbol::exclamationmarkTriangleFill, Theme::pixelSize(TextStyle::caption) + 2,
                                ThemeColor::systemRed()),
                 0, Qt::AlignTop);
  saveError_ = new TextView({}, Theme::font(TextStyle::caption), ThemeColor::systemRed());
  row->addWidget(saveError_, 1);
  return saveErrorRow_;
}

void ResetsCard::refresh() {
  const ResetPlan& plan = model_.resetPlan();
  saved_->setText(QString::fromStdString(savedText(plan.banked)));
  stepper_->setValue(static_cast<int>(std::clamp<long long>(plan.banked, 0, kMaximumBanked)));
  redeem_->setEnabled(plan.banked != 0);
  emptyPlan_->setVisible(plan.planned.empty());
  refreshRows();
  // What could not be saved: the plan, the usage history, or both.
  QStringList errors;
  for (const auto* error : {&model_.planSaveError(), &model_.historySaveError()})
    if (*error) errors << QString::fromStdString(**error);
  saveError_->setText(errors.join(u'\n'));
  saveErrorRow_->setVisible(!errors.isEmpty());
  // The earliest moment offered moves with the clock.
  date_->setLowerBound(QDateTime::currentDateTime());
}

void ResetsCard::refreshRows() {
  const ResetPlan& plan = model_.resetPlan();
  if (plan.planned != rowsShown_) {
    // A row may be the one whose trash button is being clicked.
    for (PlannedRow* row : rowViews_) {
      row->hide();
      row->deleteLater();
    }
    rowViews_.clear();
    for (const PlannedReset& reset : plan.planned) {
      Uuid id = reset.id;
      auto* row = new PlannedRow(reset, [this, id] { model_.removePlannedReset(id); });
      rows_->addWidget(row);
      rowViews_.push_back(row);
    }
    rowsShown_ = plan.planned;
  }
  for (std::size_t i = 0; i < rowViews_.size(); ++i) rowViews_[i]->setTexts(rowTexts(rowsShown_[i], model_.now()));
}

void ResetsCard::addDraft() {
  // Nothing typed, nor typed a while ago, may plan a reset in the past.
  date_->setLowerBound(QDateTime::currentDateTime());
  date_->commit();
  model_.addPlannedReset(draft());
  note_->clear();
}

PlannedReset ResetsCard::draft() const {
  auto scope = static_cast<PlannedReset::Scope>(scope_->currentData().toInt());
  return PlannedReset{Uuid::random(), dateOf(date_->dateTime()), scope, note_->text().toStdString()};
}

std::string ResetsCard::savedText(long long banked) { return std::to_string(banked) + " saved"; }

ResetsCard::RowTexts ResetsCard::rowTexts(const PlannedReset& reset, Date now) {
  return RowTexts{Format::clock(reset.date, now), std::string(label(reset.scope)),
                  reset.note.empty() ? std::nullopt : std::optional(reset.note), reset.date <= now};
}

QDateTime ResetsCard::initialDate(const QDateTime& now) {
  QDateTime tomorrow = now.addDays(1);
  return tomorrow.isValid() ? tomorrow : now;
}

std::vector<Uuid> ResetsCard::shownIds() const {
  std::vector<Uuid> ids;
  for (const PlannedRow* row : rowViews_) ids.push_back(row->id());
  return ids;
}

std::vector<ResetsCard::RowTexts> ResetsCard::shownRows() const {
  std::vector<RowTexts> rows;
  for (const PlannedRow* row : rowViews_) rows.push_back(row->texts());
  return rows;
}

SymbolButton* ResetsCard::removeButton(std::size_t row) const { return rowViews_.at(row)->trash(); }

}  // namespace ovel

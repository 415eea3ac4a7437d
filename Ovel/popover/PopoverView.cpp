#include "popover/PopoverView.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include "model/Format.h"
#include "model/Integrations.h"
#include "popover/BreakdownView.h"
#include "popover/WindowCard.h"
#include "ui/DayRingView.h"
#include "ui/Divider.h"
#include "ui/Focus.h"
#include "ui/Freshness.h"
#include "ui/IconLabel.h"
#include "ui/Spinner.h"
#include "ui/SteerBanner.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr double kLiveAge = 120;
constexpr int kButtonSide = 22;
constexpr int kButtonSymbol = 15;
constexpr int kMargin = 16;
constexpr int kSpacing = 12;
// The least of the content that stays in view on the smallest screens.
constexpr int kLeastContent = 48;
// The content's scroll bar, and its gap to the window's edge.
constexpr int kBarWidth = 8;
constexpr int kBarInset = 2;

QString text(const std::string& value) { return QString::fromStdString(value); }

// A symbol button of the header or footer, whose help text names its
// shortcut. The shortcut belongs to the view and acts at once: set on the
// button, it would first play a 100-ms animated click.
SymbolButton* symbolButton(QWidget* view, Symbol symbol, const QString& help, const char* keys,
                           const std::function<void()>& action) {
  auto* button = new SymbolButton(symbol, help, kButtonSymbol);
  button->setFrameSize({kButtonSide, kButtonSide});
  QObject::connect(button, &SymbolButton::clicked, button, [action] { action(); });
  auto* shortcut = new QShortcut(QKeySequence(QLatin1String(keys)), view);
  QObject::connect(shortcut, &QShortcut::activated, view, [action] { action(); });
  return button;
}

// The band between the header and the footer. It asks for the content's
// whole height and scrolls when given less; its scroll bar takes the place
// of the right margin, so the content keeps its width and its wrapping.
class ContentScroll final : public QScrollArea {
 public:
  explicit ContentScroll(QWidget* content) : content_(content) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setWidget(content);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    content->layout()->setContentsMargins(kMargin, 0, kMargin, 0);
    content->installEventFilter(this);
    verticalScrollBar()->installEventFilter(this);
    styleBar();
  }

  QSize sizeHint() const override {
    QMargins margins = content_->layout()->contentsMargins();
    int width = PopoverView::kWidth - 2 * kMargin + margins.left() + margins.right();
    // Only a form with wrapping text trades height for width: the spinner's
    // alone has none, and would otherwise be given no height at all.
    int height = content_->hasHeightForWidth() ? content_->heightForWidth(width) : content_->sizeHint().height();
    return {PopoverView::kWidth, height};
  }
  QSize minimumSizeHint() const override { return {PopoverView::kWidth, std::min(kLeastContent, sizeHint().height())}; }

  // Once the content has its new size: scrolls down as far as needed to
  // show all of `child`, but never past its top.
  void revealAfterResize(QWidget* child) { reveal_ = child; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == content_ && event->type() == QEvent::LayoutRequest) updateGeometry();
    // After the scroll area's own look at the new size, which sets the bar's range.
    if (watched == content_ && event->type() == QEvent::Resize && reveal_)
      QMetaObject::invokeMethod(
          this,
          [this, child = std::exchange(reveal_, nullptr)] {
            if (child) reveal(child);
          },
          Qt::QueuedConnection);
    if (watched == verticalScrollBar() && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
      int bar = event->type() == QEvent::Show ? verticalScrollBar()->sizeHint().width() : 0;
      content_->layout()->setContentsMargins(kMargin, 0, std::max(0, kMargin - bar), 0);
    }
    return QScrollArea::eventFilter(watched, event);
  }

  void changeEvent(QEvent* event) override {
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) styleBar();
  }

 private:
  // A slim bar in the popover's own colours, without arrows or a groove.
  void styleBar() {
    QColor handle = Theme::role(ColorRole::tertiary, palette());
    verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: %1px; background: transparent; margin: 0; }"
                       "QScrollBar::handle:vertical { background: %2; border-radius: 3px; min-height: 24px;"
                       " margin: 0 %3px 0 0; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(kBarWidth)
            .arg(handle.name(QColor::HexArgb))
            .arg(kBarInset));
  }

  void reveal(QWidget* child) {
    QRect place(child->mapTo(content_, QPoint()), child->size());
    int top = verticalScrollBar()->value();
    int shown = viewport()->height();
    if (place.bottom() >= top + shown) verticalScrollBar()->setValue(std::min(place.top(), place.bottom() + 1 - shown));
  }

  QWidget* content_;
  QPointer<QWidget> reveal_;
};

}  // namespace

const QString PopoverView::kTwoRingsHelp = QStringLiteral(
    "Left: session (5h). Right: week (7d). Arc is used, arrow is which way to steer");
const QString PopoverView::kOneRingHelp = QStringLiteral("Arc is used, arrow is which way to steer");

SetupHint::SetupHint(std::function<void()> openSettings, QWidget* parent)
    : Card(12, 8, parent),
      message_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))) {
  column()->addWidget(new IconLabel(Symbol::exclamationmarkTriangle, QStringLiteral("Ovel can't read your usage"),
                                    Theme::font(TextStyle::subheadline, QFont::DemiBold),
                                    ThemeColor::of(ColorRole::primary), ThemeColor::of(ColorRole::primary)));
  column()->addWidget(message_);
  auto* open = new QPushButton(QStringLiteral("Open Settings"));
  pressOnEnter(open);
  open->setFont(Theme::font(TextStyle::caption));
  connect(open, &QPushButton::clicked, this, [openSettings = std::move(openSettings)] { openSettings(); });
  column()->addWidget(open, 0, Qt::AlignLeft);
}

void SetupHint::setMessage(const QString& message) { message_->setText(message); }

PopoverView::PopoverView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
                         std::function<void()> openDashboard, QWidget* parent)
    : QWidget(parent),
      model_(model),
      integrations_(integrations),
      openSettings_(std::move(openSettings)),
      openDashboard_(std::move(openDashboard)) {
  setFixedWidth(kWidth);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, kMargin, 0, kMargin);
  column->setSpacing(kSpacing);
  QWidget* header = buildHeader();
  header->layout()->setContentsMargins(kMargin, 0, kMargin, 0);
  column->addWidget(header);
  auto* scroll = new ContentScroll(buildContent());
  scroll_ = scroll;
  column->addWidget(scroll_, 1);
  // Opened, the breakdown comes into view as far as the popover allows.
  connect(breakdown_->header(), &SymbolButton::clicked, scroll, [this, scroll] {
    if (breakdown_->isExpanded()) scroll->revealAfterResize(breakdown_);
  });
  footer_ = buildFooter();
  column->addWidget(footer_);

  auto* gate = new RedrawGate(this, [this] { rebuild(); });
  for (auto signal : {&UsageModel::phaseChanged, &UsageModel::assessmentsChanged, &UsageModel::steerChanged,
                      &UsageModel::nowChanged, &UsageModel::isProbingChanged, &UsageModel::lastProbeErrorChanged,
                      &UsageModel::lastStatusLineAtChanged, &UsageModel::stateChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  connect(&model_.preferences(), &Preferences::menuBarLayoutChanged, gate, &RedrawGate::poke);
  connect(&integrations_, &Integrations::statusLineChanged, gate, &RedrawGate::poke);
  rebuild();
}

QSize PopoverView::sizeHint() const {
  return {kWidth,
          layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(kWidth) : layout()->totalSizeHint().height()};
}

// --- Pure pieces

PopoverView::ContentForm PopoverView::contentForm(const UsageModel::Phase& phase, bool hasAssessments) {
  if (phase.phaseCase() == UsageModel::Phase::Case::failed) return ContentForm::setupHint;
  return hasAssessments ? ContentForm::windows : ContentForm::spinner;
}

std::string PopoverView::headlineText(const std::optional<WindowAssessment>& headline, const UsageModel::Phase& phase) {
  if (!headline) {
    return phase.phaseCase() == UsageModel::Phase::Case::starting ? "Reading your usage\u2026" : "No usage data yet";
  }
  std::string title = headline->window.kind.title();
  std::string lowered = QString::fromStdString(title).toLower().toStdString();
  switch (headline->status) {
    case OvelStatus::comfortable: return "You're on a comfortable ovel";
    case OvelStatus::watch: return "Running warm \u2014 " + lowered + " will end tight";
    case OvelStatus::atRisk: return "Slow down \u2014 " + lowered + " limit ahead";
    case OvelStatus::limited: break;
  }
  return title + " limit reached";
}

bool PopoverView::isLive(Date now, std::optional<Date> lastStatusLineAt) {
  return lastStatusLineAt && secondsBetween(now, *lastStatusLineAt) < kLiveAge;
}

std::string PopoverView::freshnessText(Date now, std::optional<Date> lastObserved, bool live) {
  std::string text = updatedText(now, lastObserved);
  if (lastObserved && live) text += " \u00B7 live";
  return text;
}

std::vector<WindowAssessment> PopoverView::ringWindows(const std::vector<MenuBarItem>& items,
                                                       const std::optional<WindowAssessment>& session,
                                                       const std::optional<WindowAssessment>& week) {
  std::vector<WindowAssessment> windows;
  for (MenuBarItem item : items) {
    const auto& window = item == MenuBarItem::sessionRing ? session
                         : item == MenuBarItem::weekRing  ? week
                                                          : std::optional<WindowAssessment>();
    if (window) windows.push_back(*window);
  }
  return windows;
}

ThemeColor PopoverView::steerTint(const std::optional<OvelSteer>& steer) {
  return steer ? ThemeColor::steer(steer->factor) : ThemeColor::of(ColorRole::secondary);
}

ThemeColor PopoverView::ringTint(const std::optional<OvelSteer>& steer,
                                 const std::optional<WindowAssessment>& headline) {
  if (steer) return ThemeColor::steer(steer->factor);
  if (headline) return ThemeColor::status(headline->status);
  return ThemeColor::of(ColorRole::secondary);
}

std::vector<WindowAssessment> PopoverView::rowAssessments(const std::vector<WindowAssessment>& assessments,
                                                          const WindowKind& headlineKind) {
  std::vector<WindowAssessment> rows;
  for (const auto& a : assessments)
    if (a.window.kind != headlineKind) rows.push_back(a);
  return rows;
}

// --- Building

QWidget* PopoverView::buildHeader() {
  auto* row = new QHBoxLayout;
  row->setSpacing(10);
  ringArea_ = widgetOf(new QHBoxLayout);
  ringArea_->layout()->setSpacing(4);
  row->addWidget(ringArea_);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  headline_ = new TextView({}, Theme::font(TextStyle::headline));
  headline_->setMaxLines(2);
  texts->addWidget(headline_);
  auto* freshness = new QHBoxLayout;
  freshness->setSpacing(5);
  liveDot_ = new SymbolView(Symbol::circleFill, 6, ThemeColor::brand());
  freshness->addWidget(liveDot_);
  freshness_ = new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary));
  freshness_->setSingleLine();
  freshness->addWidget(freshness_, 1);
  texts->addLayout(freshness);
  row->addLayout(texts, 1);
  row->addSpacing(4);

  auto* refreshSlot = widgetOf(new QHBoxLayout);
  refreshSlot->setFixedSize(kButtonSide, kButtonSide);
  // While a probe runs the button is hidden; the shortcut may still fire,
  // and probe() then returns at once.
  refresh_ = symbolButton(this, Symbol::arrowClockwise, QStringLiteral("Refresh now (Ctrl+R)"), "Ctrl+R",
                          [this] { model_.probe(); });
  probeSpinner_ = new Spinner(16);
  refreshSlot->layout()->addWidget(refresh_);
  refreshSlot->layout()->addWidget(probeSpinner_);
  refreshSlot->layout()->setAlignment(probeSpinner_, Qt::AlignCenter);
  row->addWidget(refreshSlot);
  return widgetOf(row);
}

QWidget* PopoverView::buildContent() {
  auto* forms = new QVBoxLayout;
  forms->setSpacing(0);
  setupHint_ = new SetupHint([this] { openSettings_(); });
  forms->addWidget(setupHint_);

  auto* waitRow = new QHBoxLayout;
  waitRow->addStretch();
  waitRow->addWidget(new Spinner(16));
  waitRow->addStretch();
  waiting_ = widgetOf(waitRow);
  waitRow->setContentsMargins(0, 24, 0, 24);
  forms->addWidget(waiting_);

  auto* column = new QVBoxLayout;
  column->setSpacing(12);
  banner_ = new SteerBanner;
  column->addWidget(banner_);
  card_ = new WindowCard;
  column->addWidget(card_);
  rowsCard_ = new Card(12, 10);
  column->addWidget(rowsCard_);
  error_ = new IconLabel(Symbol::exclamationmarkCircle, {}, Theme::font(TextStyle::caption),
                         ThemeColor::of(ColorRole::secondary), ThemeColor::of(ColorRole::secondary));
  error_->setMaxLines(3);
  column->addWidget(error_);
  // The activity breakdown closes this column, with 2 pt more above it.
  breakdown_ = new BreakdownView(model_);
  breakdown_->setContentsMargins(0, 2, 0, 0);
  column->addWidget(breakdown_);
  windows_ = widgetOf(column);
  forms->addWidget(windows_);
  return widgetOf(forms);
}

QWidget* PopoverView::buildFooter() {
  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  liveLink_ = new SymbolButton(Symbol::boltFill,
                               QStringLiteral("Connect to Claude Code's status line for real-time updates"), 11);
  liveLink_->setText(QStringLiteral("Turn on live updates"));
  liveLink_->setTextFont(Theme::font(TextStyle::caption));
  liveLink_->setColor(ThemeColor::brand());
  connect(liveLink_, &SymbolButton::clicked, this, [this] { openSettings_(); });
  row->addWidget(liveLink_);
  row->addStretch();
  row->addWidget(symbolButton(this, Symbol::chartXyaxisLine, QStringLiteral("Open dashboard (Ctrl+D)"), "Ctrl+D",
                              [this] { openDashboard_(); }));
  row->addWidget(symbolButton(this, Symbol::gearshape, QStringLiteral("Settings (Ctrl+,)"), "Ctrl+,",
                              [this] { openSettings_(); }));
  row->addWidget(
      symbolButton(this, Symbol::power, QStringLiteral("Quit Ovel (Ctrl+Q)"), "Ctrl+Q", [] { QApplication::quit(); }));
  QWidget* footer = widgetOf(row);
  row->setContentsMargins(kMargin, 2, kMargin, 0);
  return footer;
}

void PopoverView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  scroll_->verticalScrollBar()->setValue(0);
}

void PopoverView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // The next opening starts with no control focused.
  if (QWidget* focused = focusWidget()) focused->clearFocus();
}

bool PopoverView::focusNextPrevChild(bool next) {
  return moveFocusInReadingOrder(this, next) || QWidget::focusNextPrevChild(next);
}

void PopoverView::keyPressEvent(QKeyEvent* event) {
  if (!scrollByPageKey(scroll_, event)) QWidget::keyPressEvent(event);
}

// --- Updating

void PopoverView::rebuild() {
  auto headline = OvelEngine::headline(model_.assessments());
  updateRings(headline);
  headline_->setText(text(headlineText(headline, model_.phase())));
  bool live = isLive(model_.now(), model_.lastStatusLineAt());
  liveDot_->setVisible(live);
  freshness_->setText(text(freshnessText(model_.now(), model_.state().lastObservedAt(), live)));
  refresh_->setVisible(!model_.isProbing());
  refresh_->setEnabled(!model_.isProbing());
  probeSpinner_->setVisible(model_.isProbing());

  ContentForm form = contentForm(model_.phase(), !model_.assessments().empty());
  setupHint_->setVisible(form == ContentForm::setupHint);
  if (form == ContentForm::setupHint) setupHint_->setMessage(text(Format::message(model_.phase().message())));
  waiting_->setVisible(form == ContentForm::spinner);
  windows_->setVisible(form == ContentForm::windows);
  if (form == ContentForm::windows) updateWindows(headline);

  liveLink_->setVisible(integrations_.statusLine() != StatusLineIntegration::State::installed());
  updateGeometry();
}

void PopoverView::placeRings(const std::vector<WindowKind>& kinds, int side) {
  bool same = kinds == ringKinds_ && !rings_.empty() && rings_.front()->width() == side;
  if (same) return;
  for (DayRingView* ring : rings_) delete ring;
  rings_.clear();
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    auto* ring = new DayRingView;
    ring->setFixedSize(side, side);
    ringArea_->layout()->addWidget(ring);
    rings_.push_back(ring);
  }
  ringKinds_ = kinds;
  ringKeys_.assign(kinds.size(), std::nullopt);
}

void PopoverView::updateRings(const std::optional<WindowAssessment>& headline) {
  auto pair = ringWindows(model_.preferences().menuBarItems(), model_.session(), model_.week());
  if (pair.size() == 2) {
    placeRings({pair[0].window.kind, pair[1].window.kind}, 26);
    for (std::size_t i = 0; i < 2; ++i) {
      auto steer = pair[i].steer();
      std::optional<double> key = steer ? std::optional(steer->angleDegrees()) : std::nullopt;
      auto center = DayRing::center(GlyphStyle::usageAndSteer, steer, pair[i].evenOvelPercent);
      rings_[i]->setRing(pair[i].window.usedPercent, !pair[i].window.kind.isSession(), center, steerTint(steer),
                         key != ringKeys_[i]);
      ringKeys_[i] = key;
    }
    ringArea_->setToolTip(kTwoRingsHelp);
    return;
  }
  auto window = model_.steerAssessment() ? model_.steerAssessment() : headline;
  placeRings({window ? window->window.kind : WindowKind::session()}, 30);
  const auto& steer = model_.steer();
  std::optional<double> key = steer ? std::optional(steer->angleDegrees()) : std::nullopt;
  auto ring = DayRingView::steering(window, steer);
  rings_[0]->setRing(ring.used, ring.segmented, ring.center, ringTint(steer, headline), key != ringKeys_[0]);
  ringKeys_[0] = key;
  ringArea_->setToolTip(kOneRingHelp);
}

void PopoverView::updateWindows(const std::optional<WindowAssessment>& headline) {
  banner_->setVisible(model_.steer().has_value());
  if (model_.steer()) banner_->setSteer(*model_.steer());
  card_->setAssessment(*headline, model_.now());
  updateRows(rowAssessments(model_.assessments(), headline->window.kind));
  const auto& error = model_.lastProbeError();
  error_->setVisible(error.has_value());
  if (error) error_->setText(text(Format::message(*error)));
}

void PopoverView::updateRows(const std::vector<WindowAssessment>& rows) {
  std::vector<WindowKind> kinds;
  for (const auto& a : rows) kinds.push_back(a.window.kind);
  if (kinds != rowKinds_) {
    clearLayout(rowsCard_->column());
    rows_.clear();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      if (i > 0) rowsCard_->column()->addWidget(new Divider);
      rows_.push_back(new WindowRow);
      rowsCard_->column()->addWidget(rows_.back());
    }
    rowKinds_ = kinds;
  }
  for (std::size_t i = 0; i < rows.size(); ++i) rows_[i]->setAssessment(rows[i], model_.now());
  rowsCard_->setVisible(!rows.empty());
}

}  // namespace ovel

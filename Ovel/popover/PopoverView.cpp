#include "popover/PopoverView.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include "Format.h"
#include "Integrations.h"
#include "UsageModel.h"
#include "ui/Freshness.h"
#include "ui/DayRingView.h"
#include "ui/SteerBanner.h"
#include "ui/ViewSupport.h"
#include "ui/WindowCard.h"

namespace ovel {
namespace {

constexpr int kPopoverWidth = 340;
constexpr double kLiveAge = 120;

std::string lowered(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

QToolButton* iconButton(const QString& text, const QString& help, const QKeySequence& keys,
                        std::function<void()> action) {
  auto* button = new QToolButton;
  button->setText(text);
  button->setToolTip(help);
  button->setAutoRaise(true);
  button->setShortcut(keys);
  QObject::connect(button, &QToolButton::clicked, button, [action = std::move(action)] { action(); });
  return button;
}

QColor ringTint(const UsageModel& model, const std::optional<WindowAssessment>& headline, Appearance appearance,
                const QPalette& palette) {
  if (model.steer()) return Theme::steerColor(model.steer()->factor, appearance);
  if (headline) return Theme::color(headline->status, appearance);
  return palette.color(QPalette::PlaceholderText);
}

DayRingView* ringView(const std::optional<WindowAssessment>& a, const std::optional<OvelSteer>& steer, QColor tint,
                      int side) {
  auto* view = new DayRingView;
  view->setFixedSize(side, side);
  auto ring = DayRingView::steering(a, steer);
  view->setRing(ring.used, ring.segmented, ring.center, ThemeColor::fixed(tint));
  return view;
}

}  // namespace

PopoverView::PopoverView(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
                         std::function<void()> openDashboard, QWidget* parent)
    : QWidget(parent),
      model_(model),
      integrations_(integrations),
      openSettings_(std::move(openSettings)),
      openDashboard_(std::move(openDashboard)),
      column_(new QVBoxLayout(this)) {
  setFixedWidth(kPopoverWidth);
  column_->setContentsMargins(16, 16, 16, 16);
  column_->setSpacing(12);
  auto* gate = new RedrawGate(this, [this] { rebuild(); });
  for (auto signal : {&UsageModel::phaseChanged, &UsageModel::assessmentsChanged, &UsageModel::steerChanged,
                      &UsageModel::nowChanged, &UsageModel::isProbingChanged, &UsageModel::lastProbeErrorChanged,
                      &UsageModel::lastStatusLineAtChanged, &UsageModel::stateChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  connect(&model_.preferences(), &Preferences::menuBarLayoutChanged, gate, &RedrawGate::poke);
  connect(&integrations_, &Integrations::statusLineChanged, gate, &RedrawGate::poke);
  rebuild();
}

std::string PopoverView::headlineText(const UsageModel& model) {
  auto headline = OvelEngine::headline(model.assessments());
  if (!headline) {
    return model.phase().phaseCase() == UsageModel::Phase::Case::starting ? "Reading your usage\u2026"
                                                                          : "No usage data yet";
  }
  std::string title = headline->window.kind.title();
  switch (headline->status) {
    case OvelStatus::comfortable: return "You're on a comfortable ovel";
    case OvelStatus::watch: return "Running warm \u2014 " + lowered(title) + " will end tight";
    case OvelStatus::atRisk: return "Slow down \u2014 " + lowered(title) + " limit ahead";
    case OvelStatus::limited: break;
  }
  return title + " limit reached";
}

bool PopoverView::isLive(const UsageModel& model) {
  return model.lastStatusLineAt() && secondsBetween(model.now(), *model.lastStatusLineAt()) < kLiveAge;
}

std::string PopoverView::freshnessText(const UsageModel& model) {
  std::string text = updatedText(model);
  if (model.state().lastObservedAt() && isLive(model)) text += " \u00B7 live";
  return text;
}

void PopoverView::rebuild() {
  clearLayout(column_);
  column_->addWidget(header());
  column_->addWidget(content());
  column_->addWidget(footer());
}

QWidget* PopoverView::header() {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(10);

  Appearance appearance = appearanceOf(*this);
  auto headline = OvelEngine::headline(model_.assessments());
  std::vector<WindowAssessment> rings;
  for (MenuBarItem item : model_.preferences().menuBarItems()) {
    auto a = item == MenuBarItem::sessionRing ? model_.session()
             : item == MenuBarItem::weekRing  ? model_.week()
                                              : std::nullopt;
    if (a) rings.push_back(*a);
  }
  if (rings.size() == 2) {
    for (const auto& a : rings) {
      auto steer = a.steer();
      QColor tint = steer ? Theme::steerColor(steer->factor, appearance) : palette().color(QPalette::PlaceholderText);
      row->addWidget(ringView(a, steer, tint, 26));
    }
  } else {
    auto a = model_.steerAssessment() ? model_.steerAssessment() : headline;
    auto* ring = ringView(a, model_.steer(), ringTint(model_, headline, appearance, palette()), 30);
    ring->setToolTip(QStringLiteral("Arc is used, arrow is which way to steer"));
    row->addWidget(ring);
  }

  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  texts->addWidget(makeLabel(headlineText(model_), TextRole::headline));
  std::string freshness = (isLive(model_) ? "\u25CF " : "") + freshnessText(model_);
  texts->addWidget(makeLabel(freshness, TextRole::caption, true));
  row->addLayout(texts, 1);

  auto* refresh = iconButton(model_.isProbing() ? QStringLiteral("\u2026") : QStringLiteral("\u21BB"),
                             QStringLiteral("Refresh now (Ctrl+R)"), QKeySequence(QStringLiteral("Ctrl+R")),
                             [this] { model_.probe(); });
  refresh->setEnabled(!model_.isProbing());
  row->addWidget(refresh);
  return box;
}

QWidget* PopoverView::setupHint(const std::string& message) {
  auto* card = new Card(12, 8);
  auto* column = card->column();
  column->addWidget(makeLabel(QStringLiteral("\u26A0 Ovel can't read your usage"), TextRole::subheadline));
  column->addWidget(makeLabel(message, TextRole::caption, true));
  auto* button = new QPushButton(QStringLiteral("Open Settings"));
  connect(button, &QPushButton::clicked, this, [this] { openSettings_(); });
  column->addWidget(button, 0, Qt::AlignLeft);
  return card;
}

QWidget* PopoverView::content() {
  if (model_.phase().phaseCase() == UsageModel::Phase::Case::failed) return setupHint(model_.phase().message());
  const auto& assessments = model_.assessments();
  if (assessments.empty()) {
    QLabel* waiting = makeLabel(QStringLiteral("\u2026"), TextRole::headline, true);
    waiting->setAlignment(Qt::AlignCenter);
    waiting->setContentsMargins(0, 24, 0, 24);
    return waiting;
  }
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(12);
  auto headline = *OvelEngine::headline(assessments);
  if (model_.steer()) {
    auto* banner = new SteerBanner;
    banner->setSteer(*model_.steer());
    column->addWidget(banner);
  }
  column->addWidget(makeWindowCard(headline, model_.now()));

  auto* rows = new Card(12);
  auto* rowColumn = rows->column();
  for (const auto& a : assessments) {
    if (a.window.kind == headline.window.kind) continue;
    if (rowColumn->count() > 0) {
      auto* divider = new QFrame;
      divider->setFrameShape(QFrame::HLine);
      rowColumn->addWidget(divider);
    }
    rowColumn->addWidget(makeWindowRow(a, model_.now()));
  }
  if (rowColumn->count() > 0) column->addWidget(rows);
  else delete rows;

  if (model_.lastProbeError()) column->addWidget(makeLabel("\u24D8 " + *model_.lastProbeError(), TextRole::caption, true));
  return box;
}

QWidget* PopoverView::footer() {
  auto* box = new QWidget;
  auto* lines = new QVBoxLayout(box);
  lines->setContentsMargins(0, 2, 0, 0);
  lines->setSpacing(4);
  // The link gets a line of its own: beside three buttons it would not fit
  // the popover's width.
  if (integrations_.statusLine() != StatusLineIntegration::State::installed()) {
    auto* link = new QPushButton(QStringLiteral("\u26A1 Turn on live updates"));
    link->setFlat(true);
    link->setToolTip(QStringLiteral("Connect to Claude Code's status line for real-time updates"));
    connect(link, &QPushButton::clicked, this, [this] { openSettings_(); });
    lines->addWidget(link, 0, Qt::AlignLeft);
  }
  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  lines->addLayout(row);
  row->addStretch();
  row->addWidget(iconButton(QStringLiteral("Dashboard"), QStringLiteral("Open dashboard (Ctrl+D)"),
                            QKeySequence(QStringLiteral("Ctrl+D")), [this] { openDashboard_(); }));
  row->addWidget(iconButton(QStringLiteral("Settings"), QStringLiteral("Settings (Ctrl+,)"),
                            QKeySequence(QStringLiteral("Ctrl+,")), [this] { openSettings_(); }));
  row->addWidget(iconButton(QStringLiteral("Quit"), QStringLiteral("Quit Ovel (Ctrl+Q)"),
                            QKeySequence(QStringLiteral("Ctrl+Q")), [] { QApplication::quit(); }));
  return box;
}

}  // namespace ovel

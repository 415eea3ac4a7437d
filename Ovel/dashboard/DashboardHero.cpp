#include "dashboard/DashboardHero.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "model/Format.h"
#include "model/UsageModel.h"
#include "ui/DayRingView.h"
#include "ui/Focus.h"
#include "ui/Freshness.h"
#include "ui/Symbol.h"
#include "ui/TextView.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr const char* kDot = " \u00B7 ";
constexpr int kRefreshIconSide = 14;

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += kDot;
    text += item;
  }
  return text;
}

std::vector<WindowAssessment> othersThan(std::span<const WindowAssessment> assessments, const WindowKind& kind) {
  std::vector<WindowAssessment> rest;
  for (const WindowAssessment& a : assessments)
    if (!(a.window.kind == kind)) rest.push_back(a);
  return rest;
}

// The binding window is used up: when it comes back, and what is left
// elsewhere meanwhile.
HeroText limitReachedText(const WindowAssessment& a, std::span<const WindowAssessment> rest, Date now) {
  HeroText text;
  text.title = a.window.kind.title() + " limit reached";
  if (const auto& reset = a.window.resetsAt)
    text.title += std::string(kDot) + "resets " + Format::clock(*reset, now) + " (in " +
                  Format::duration(secondsBetween(*reset, now)) + ")";
  std::vector<std::string> left;
  for (const WindowAssessment& o : rest)
    if (o.status != OvelStatus::limited)
      left.push_back(o.window.kind.title() + " has " + Format::rounded(100 - o.window.usedPercent) + "% left");
  text.detail = left.empty() ? "Pause until it resets" : joined(left);
  return text;
}

HeroText steeringText(const OvelSteer& s, const WindowAssessment& a, std::span<const WindowAssessment> rest) {
  HeroText text;
  std::vector<std::string> others;
  for (const WindowAssessment& o : rest)
    if (auto steer = o.steer())
      others.push_back(o.window.kind.title() + ": " + DashboardHero::steerPhrase(steer->factor));
  if (!others.empty()) text.others = joined(others);
  std::string reason = Format::steerReason(s);
  const WindowKind& kind = a.window.kind;
  const auto& sustainable = a.sustainableRatePerHour;
  if (!std::isfinite(s.factor) && sustainable) {
    text.title = "Nothing running" + std::string(kDot) + "you can use " + Format::rate(*sustainable, kind) +
                 " until the reset";
    text.detail = reason;
    return text;
  }
  text.title = Format::steerHeadline(s);
  text.detail = reason;
  if (a.ratePerHour && sustainable)
    text.detail += std::string(kDot) + "burning " + Format::rate(*a.ratePerHour, kind) + ", sustainable " +
                   Format::rate(*sustainable, kind);
  return text;
}

}  // namespace

DashboardHero::DashboardHero(UsageModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      ring_(new DayRingView),
      title_(new TextView({}, Theme::font(TextStyle::title2, QFont::DemiBold))),
      detail_(new TextView({}, Theme::font(TextStyle::callout), ThemeColor::of(ColorRole::secondary))),
      others_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::tertiary))),
      refresh_(new QPushButton(QStringLiteral("Refresh"))),
      freshness_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(18);
  ring_->setFixedSize(kRingSide, kRingSide);
  pressOnEnter(refresh_);
  row->addWidget(ring_, 0, Qt::AlignVCenter);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  for (TextView* view : {title_, detail_, others_}) texts->addWidget(view);
  row->addLayout(texts, 1);
  auto* side = new QVBoxLayout;
  side->setSpacing(6);
  connect(refresh_, &QPushButton::clicked, this, [this] { model_.probe(); });
  side->addWidget(refresh_, 0, Qt::AlignRight);
  freshness_->setSingleLine();
  freshness_->setAlignment(Qt::AlignRight);
  side->addWidget(freshness_, 0, Qt::AlignRight);
  row->addLayout(side);
  refresh();
}

std::string DashboardHero::steerPhrase(double g) {
  if (g <= 0) return "limit reached";
  if (g < 1) return "ease off to " + Format::rounded(g * 100) + "%";
  if (g < 1.25) return "on ovel";
  if (!std::isfinite(g)) return "idle";
  if (g >= 4) return "plenty of room";
  return "room to speed up " + Format::multiplier(g);
}

HeroText DashboardHero::heroText(const std::optional<OvelSteer>& steer,
                                 const std::optional<WindowAssessment>& steerAssessment,
                                 std::span<const WindowAssessment> assessments,
                                 const std::optional<std::string>& lastProbeError, Date now) {
  if (steer && steerAssessment) {
    auto rest = othersThan(assessments, steerAssessment->window.kind);
    if (steer->factor <= 0) return limitReachedText(*steerAssessment, rest, now);
    return steeringText(*steer, *steerAssessment, rest);
  }
  if (!assessments.empty())
    return {"Not enough data to steer yet", "Ovel needs a burn rate: a few minutes of readings or local activity.", {}};
  return {"Waiting for the first reading", Format::message(lastProbeError.value_or(kReadingYourUsage)), {}};
}

void DashboardHero::refresh() {
  HeroText text = heroText(model_.steer(), model_.steerAssessment(), model_.assessments(), model_.lastProbeError(),
                           model_.now());
  title_->setText(QString::fromStdString(text.title));
  detail_->setText(QString::fromStdString(text.detail));
  if (others_->isHidden() == text.others.has_value()) {
    others_->setVisible(text.others.has_value());
    relayoutUpwards(this);
  }
  others_->setText(QString::fromStdString(text.others.value_or("")));
  refresh_->setEnabled(!model_.isProbing());
  refresh_->setIcon(symbolIcon(Symbol::arrowClockwise, kRefreshIconSide, palette().color(QPalette::ButtonText)));
  freshness_->setText(QString::fromStdString(updatedText(model_.now(), model_.state().lastObservedAt())));
  refreshRing();
}

void DashboardHero::refreshRing() {
  const auto& steer = model_.steer();
  auto window = model_.assessments().empty() ? std::nullopt : model_.steerAssessment();
  DayRingView::Ring ring = DayRingView::steering(window, steer);
  ThemeColor tint = steer ? ThemeColor::steer(steer->factor) : ThemeColor::of(ColorRole::secondary);
  std::optional<double> angle;
  if (steer) angle = steer->angleDegrees();
  // Only a turn of the arrow moves the ring along a spring.
  ring_->setRing(ring.used, ring.segmented, ring.center, tint, angle != shownAngle_);
  shownAngle_ = angle;
}

}  // namespace ovel

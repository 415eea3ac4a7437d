#include "dashboard/LimitPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "model/Format.h"
#include "ui/Card.h"
#include "ui/DayRingView.h"
#include "ui/Divider.h"
#include "ui/FocusRing.h"
#include "ui/OvelBar.h"
#include "ui/SectionLabel.h"
#include "ui/StatusPill.h"
#include "ui/TextView.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr double kScaleFloor = 0.0001;
constexpr double kIdleRate = 0.01;
constexpr int kDefaultSpacing = 8;
constexpr int kLabelWidth = 70;
constexpr int kRateWidth = 62;
constexpr int kMultipleWidth = 40;
constexpr int kPanelRing = 16;
constexpr int kCompactRing = 14;
// The compact ring's centre stands this far above the row's baseline.
constexpr int kCompactRingRaise = 4;

QFont withWeight(TextStyle style, QFont::Weight weight, bool fixedDigits = false) {
  QFont font = Theme::font(style, weight);
  return fixedDigits ? Theme::withFixedDigits(font) : font;
}

QString text(const std::string& value) { return QString::fromStdString(value); }

// How far `text` must rise, bottom-aligned beside `reference`, to share its
// baseline.
int baselineLift(const TextView* reference, const TextView* text) {
  return reference->baselineFromBottom() - text->baselineFromBottom();
}

// `child` with `lift` points of room below it.
QWidget* lifted(QWidget* child, int lift) {
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, std::max(lift, 0));
  column->setSpacing(0);
  column->addWidget(child);
  return box;
}

QHBoxLayout* rowOf(QWidget* owner, int spacing) {
  auto* row = new QHBoxLayout(owner);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(spacing);
  return row;
}

// The title, a flexible gap and the status pill.
QWidget* titleRow(TextView* title, StatusPill* pill) {
  auto* box = new QWidget;
  QHBoxLayout* row = rowOf(box, kDefaultSpacing);
  title->setSingleLine();
  row->addWidget(title, 1, Qt::AlignVCenter);
  row->addWidget(pill, 0, Qt::AlignVCenter);
  return box;
}

void setSteerRing(DayRingView* ring, const PanelSteer& steer) {
  ring->setRing(std::nullopt, steer.segmented, steer.center, steer.tint);
}

// One bar of the rate table.
class RateBar final : public QWidget {
 public:
  RateBar() {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(static_cast<int>(RateBarGeometry::kViewHeight));
    setMinimumWidth(20);
  }
  void setRow(const RateRow& row) {
    fill_ = row.fill;
    tick_ = row.tick;
    accent_ = row.accent;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    RateBarGeometry g = RateBarGeometry::of(width(), fill_, tick_);
    const QPalette& colors = palette();
    fillCapsule(painter, g.track, Theme::role(ColorRole::quaternary, colors));
    if (g.fill) fillCapsule(painter, *g.fill, accent_.resolve(colors));
    if (g.tick) painter.fillRect(*g.tick, Theme::role(ColorRole::primary, colors));
  }

 private:
  std::optional<double> fill_;
  bool tick_ = false;
  ThemeColor accent_ = ThemeColor::brand();
};

}  // namespace

std::optional<PanelSteer> PanelSteer::of(const WindowAssessment& assessment) {
  auto steer = assessment.steer();
  if (!steer || !(steer->factor > 0)) return std::nullopt;
  PanelSteer result{*steer, DayRing::center(GlyphStyle::steer, steer, assessment.evenOvelPercent),
                    !assessment.window.kind.isSession(),
                    steer->factor < 1 ? ThemeColor::systemOrange() : ThemeColor::brand()};
  return result;
}

double rateScale(std::optional<double> sustainable, std::span<const RateReading> rates) {
  double scale = 0;
  if (sustainable) {
    scale = 2 * *sustainable;
  } else {
    for (const RateReading& reading : rates)
      if (reading.ratePerHour) scale = std::max(scale, *reading.ratePerHour);
  }
  return std::max(scale, kScaleFloor);
}

RateRow RateRow::of(const RateReading& reading, std::optional<double> sustainable, double scale,
                    const WindowKind& kind) {
  const auto& rate = reading.ratePerHour;
  std::optional<double> multiple;
  if (rate && sustainable) multiple = *rate > kIdleRate ? *sustainable / *rate : INFINITY;
  RateRow row;
  row.label = QString::fromLatin1(ovel::label(reading.horizon).data());
  row.above = multiple && *multiple < 1;
  row.accent = row.above ? ThemeColor::systemOrange() : ThemeColor::brand();
  row.tick = sustainable.has_value();
  if (rate) {
    row.fill = std::min(*rate / scale, 1.0);
    row.rateText = Format::rate(*rate, kind);
    row.rateColor = row.above ? ThemeColor::systemOrange() : ThemeColor::of(ColorRole::secondary);
  } else {
    // A session has no separate five-hour rate: it is the window's average.
    bool sameAsAverage = kind.isSession() && reading.horizon == RateReading::Horizon::fiveHours;
    row.rateText = sameAsAverage ? "= avg" : "\u2014";
    row.rateColor = ThemeColor::of(ColorRole::tertiary);
  }
  if (multiple) row.multipleText = Format::times(*multiple);
  row.multipleColor = row.above ? ThemeColor::systemOrange() : ThemeColor::of(ColorRole::secondary);
  return row;
}

RateBarGeometry RateBarGeometry::of(double width, std::optional<double> fill, bool tick) {
  RateBarGeometry g;
  double top = (kViewHeight - kTrackHeight) / 2;
  g.track = QRectF(0, top, width, kTrackHeight);
  if (fill) g.fill = QRectF(0, top, std::max(std::clamp(*fill, 0.0, 1.0) * width, kMinimumFill), kTrackHeight);
  if (tick) g.tick = QRectF(width * 0.5 - kTickWidth / 2, 0, kTickWidth, kViewHeight);
  return g;
}

// The grid of the rate table: a header row over the bars, then one row per
// reading.
class LimitPanel::RateTable final : public QWidget {
 public:
  struct Row {
    TextView* label;
    RateBar* bar;
    TextView* rate;
    TextView* multiple;
  };

  RateTable() : grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(8);
    grid_->setVerticalSpacing(5);
    grid_->setColumnStretch(1, 1);
    header_ = new TextView(QStringLiteral("sustainable"), withWeight(TextStyle::caption2, QFont::Medium),
                           ThemeColor::of(ColorRole::secondary));
    header_->setSingleLine();
    header_->setAlignment(Qt::AlignHCenter);
    grid_->addWidget(header_, 0, 1);
  }

  QWidget* header() const { return header_; }
  const std::vector<Row>& rows() const { return rows_; }

  void setRows(std::span<const RateReading> rates, std::optional<double> sustainable, const WindowKind& kind) {
    while (rows_.size() < rates.size()) addRow();
    double scale = rateScale(sustainable, rates);
    header_->setVisible(sustainable.has_value());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      bool shown = i < rates.size();
      const Row& cells = rows_[i];
      for (QWidget* cell : {static_cast<QWidget*>(cells.label), static_cast<QWidget*>(cells.bar),
                            static_cast<QWidget*>(cells.rate), static_cast<QWidget*>(cells.multiple)})
        cell->setVisible(shown);
      if (!shown) continue;
      RateRow row = RateRow::of(rates[i], sustainable, scale, kind);
      cells.label->setText(row.label);
      cells.bar->setRow(row);
      cells.rate->setText(text(row.rateText));
      cells.rate->setColor(row.rateColor);
      cells.multiple->setText(text(row.multipleText));
      cells.multiple->setColor(row.multipleColor);
    }
  }

 private:
  void addRow() {
    int at = static_cast<int>(rows_.size()) + 1;
    Row row{new TextView({}, Theme::font(TextStyle::caption)), new RateBar,
            new TextView({}, withWeight(TextStyle::caption, QFont::Normal, true)),
            new TextView({}, withWeight(TextStyle::caption, QFont::Medium, true))};
    row.label->setSingleLine();
    row.label->setFixedWidth(kLabelWidth);
    row.rate->setSingleLine();
    row.rate->setFixedWidth(kRateWidth);
    row.rate->setAlignment(Qt::AlignRight);
    row.multiple->setSingleLine();
    row.multiple->setFixedWidth(kMultipleWidth);
    row.multiple->setAlignment(Qt::AlignRight);
    grid_->addWidget(row.label, at, 0);
    grid_->addWidget(row.bar, at, 1, Qt::AlignVCenter);
    grid_->addWidget(row.rate, at, 2);
    grid_->addWidget(row.multiple, at, 3);
    rows_.push_back(row);
  }

  QGridLayout* grid_;
  TextView* header_;
  std::vector<Row> rows_;
};

LimitPanel::LimitPanel(QWidget* parent)
    : QWidget(parent),
      card_(new Card(14, 10)),
      title_(new TextView({}, Theme::font(TextStyle::headline))),
      pill_(new StatusPill(OvelStatus::comfortable)),
      figure_(new TextView({}, Theme::figureFont(34))),
      resetBlock_(new QWidget),
      resets_(new TextView({}, withWeight(TextStyle::caption, QFont::Medium))),
      in_(new TextView({}, withWeight(TextStyle::caption, QFont::Normal, true), ThemeColor::of(ColorRole::secondary))),
      planned_(new TextView({}, withWeight(TextStyle::caption, QFont::Medium), ThemeColor::brand())),
      bar_(new OvelBar(8, true, 14)),
      verdict_(new TextView({}, Theme::font(TextStyle::callout))),
      steeringLine_(new QWidget),
      ring_(new DayRingView),
      headline_(new TextView({}, withWeight(TextStyle::caption, QFont::Medium))),
      divider_(new Divider),
      rateTable_(new QWidget),
      sustainableText_(new TextView({}, Theme::font(TextStyle::caption2), ThemeColor::of(ColorRole::secondary))),
      rows_(new RateTable) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(card_);
  QVBoxLayout* column = card_->column();
  column->addWidget(titleRow(title_, pill_));

  auto* figureRow = new QWidget;
  QHBoxLayout* figures = rowOf(figureRow, kDefaultSpacing);
  figure_->setSingleLine();
  auto* used = new TextView(QStringLiteral("used"), Theme::font(TextStyle::body), ThemeColor::of(ColorRole::secondary));
  used->setSingleLine();
  figures->addWidget(figure_, 0, Qt::AlignBottom);
  figures->addWidget(lifted(used, baselineLift(figure_, used)), 0, Qt::AlignBottom);
  figures->addStretch(1);
  auto* block = new QVBoxLayout(resetBlock_);
  block->setSpacing(1);
  for (TextView* line : {resets_, in_, planned_}) {
    line->setSingleLine();
    line->setAlignment(Qt::AlignRight);
    block->addWidget(line, 0, Qt::AlignRight);
  }
  planned_->setToolTip(QString::fromLatin1(ResetLines::kPlannedHelp));
  int lift = baselineLift(figure_, resets_);
  block->setContentsMargins(0, 0, 0, std::max(lift, 0));
  figures->addWidget(resetBlock_, 0, Qt::AlignBottom);
  column->addWidget(figureRow);

  OvelBar::addTo(column, bar_);
  column->addWidget(verdict_);

  QHBoxLayout* steering = rowOf(steeringLine_, 6);
  ring_->setFixedSize(kPanelRing, kPanelRing);
  headline_->setSingleLine();
  steering->addWidget(ring_, 0, Qt::AlignVCenter);
  steering->addWidget(headline_, 1, Qt::AlignVCenter);
  column->addWidget(steeringLine_);

  column->addWidget(divider_);
  auto* table = new QVBoxLayout(rateTable_);
  table->setContentsMargins(0, 0, 0, 0);
  table->setSpacing(5);
  auto* heading = new QHBoxLayout;
  heading->setSpacing(kDefaultSpacing);
  heading->addWidget(new SectionLabel(QStringLiteral("Burn rate")), 0, Qt::AlignVCenter);
  heading->addStretch(1);
  sustainableText_->setSingleLine();
  heading->addWidget(sustainableText_, 0, Qt::AlignVCenter);
  table->addLayout(heading);
  table->addWidget(rows_);
  sustainableHeader_ = rows_->header();
  column->addWidget(rateTable_);
  // Stretched to the height of a taller panel beside it, the panel keeps its
  // content together at the top.
  column->addStretch(1);
}

void LimitPanel::setData(const WindowAssessment& a, std::span<const RateReading> rates, Date now) {
  assessment_ = a;
  title_->setText(text(a.window.kind.title()));
  pill_->setStatus(a.status);
  figure_->setText(text(Format::percent(a.window.usedPercent)));
  ResetLines lines = ResetLines::of(a, now);
  resetBlock_->setVisible(lines.resets.has_value());
  showIfSet(resets_, lines.resets);
  showIfSet(in_, lines.in);
  showIfSet(planned_, lines.planned);
  bar_->setAssessment(a, ThemeColor::status(a.status));
  verdict_->setText(text(Format::verdict(a, now)));
  auto steer = PanelSteer::of(a);
  steeringLine_->setVisible(steer.has_value());
  if (steer) {
    setSteerRing(ring_, *steer);
    headline_->setText(text(Format::steerHeadline(steer->steer)));
  }
  bool limited = a.status == OvelStatus::limited;
  divider_->setVisible(!limited);
  rateTable_->setVisible(!limited);
  setRates(rates);
  // Lines and rows shown, hidden or added change the heights above them.
  relayoutUpwards(rows_);
  relayoutUpwards(resetBlock_);
}

void LimitPanel::setRates(std::span<const RateReading> rates) {
  const auto& sustainable = assessment_.sustainableRatePerHour;
  sustainableText_->setVisible(sustainable.has_value());
  if (sustainable)
    sustainableText_->setText(text("sustainable " + Format::rate(*sustainable, assessment_.window.kind)));
  rows_->setRows(rates, sustainable, assessment_.window.kind);
}

std::vector<TextView*> LimitPanel::rateTexts() const {
  std::vector<TextView*> texts;
  for (const auto& row : rows_->rows()) {
    if (!row.rate->isVisibleTo(rows_)) continue;
    texts.push_back(row.rate);
    texts.push_back(row.multiple);
  }
  return texts;
}

CompactLimitPanel::CompactLimitPanel(QWidget* parent)
    : QWidget(parent),
      title_(new TextView({}, withWeight(TextStyle::subheadline, QFont::DemiBold))),
      pill_(new StatusPill(OvelStatus::comfortable)),
      figure_(new TextView({}, Theme::figureFont(22))),
      resets_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))),
      steerBox_(new QWidget),
      times_(new TextView({}, withWeight(TextStyle::caption, QFont::DemiBold, true))),
      ring_(new DayRingView),
      bar_(new OvelBar(6, false, 14)),
      verdict_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* card = new Card(12, 7);
  outer->addWidget(card);
  QVBoxLayout* column = card->column();
  column->addWidget(titleRow(title_, pill_));

  auto* figureRow = new QWidget;
  QHBoxLayout* figures = rowOf(figureRow, 6);
  figure_->setSingleLine();
  resets_->setSingleLine();
  times_->setSingleLine();
  figures->addWidget(figure_, 0, Qt::AlignBottom);
  figures->addWidget(lifted(resets_, baselineLift(figure_, resets_)), 0, Qt::AlignBottom);
  figures->addSpacing(4);
  figures->addStretch(1);
  QHBoxLayout* steer = rowOf(steerBox_, 4);
  ring_->setFixedSize(kCompactRing, kCompactRing);
  int ringLift = figure_->baselineFromBottom() + kCompactRingRaise - kCompactRing / 2;
  steer->addWidget(lifted(times_, baselineLift(figure_, times_)), 0, Qt::AlignBottom);
  steer->addWidget(lifted(ring_, ringLift), 0, Qt::AlignBottom);
  figures->addWidget(steerBox_, 0, Qt::AlignBottom);
  column->addWidget(figureRow);

  OvelBar::addTo(column, bar_);
  column->addWidget(verdict_);
  new FocusFrame(this, Card::kRadius - 1);
}

void CompactLimitPanel::setData(const WindowAssessment& a, Date now) {
  assessment_ = a;
  title_->setText(text(a.window.kind.title()));
  pill_->setStatus(a.status);
  figure_->setText(text(Format::percent(a.window.usedPercent)));
  showIfSet(resets_, ResetLines::of(a, now).resets);
  auto steer = PanelSteer::of(a);
  steerBox_->setVisible(steer.has_value());
  if (steer) {
    setSteerRing(ring_, *steer);
    times_->setText(text(Format::times(steer->steer.factor)));
    times_->setColor(steer->steer.factor < 1 ? ThemeColor::systemOrange() : ThemeColor::of(ColorRole::secondary));
  }
  bar_->setAssessment(a, ThemeColor::status(a.status));
  verdict_->setText(text(Format::verdict(a, now)));
  setAccessibleName(title_->text() + QStringLiteral(", ") + figure_->text() + QStringLiteral(" used, ") +
                    verdict_->text());
  relayoutUpwards(steerBox_);
  relayoutUpwards(resets_);
}

void CompactLimitPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit tapped();
  QWidget::mouseReleaseEvent(event);
}

void CompactLimitPanel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: emit tapped(); return;
    default: QWidget::keyPressEvent(event);
  }
}

}  // namespace ovel

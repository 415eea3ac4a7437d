#include "ui/WindowCard.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>

#include "Format.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr const char* kDash = "\u2014";

QWidget* stat(const QString& label, const std::string& value, const std::string& help) {
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(1);
  column->addWidget(makeLabel(value, TextRole::subheadline));
  column->addWidget(makeLabel(label, TextRole::caption, true));
  box->setToolTip(QString::fromStdString(help));
  return box;
}

std::string rateText(const std::optional<double>& rate, const WindowKind& kind) {
  return rate ? Format::rate(*rate, kind) : kDash;
}

QLabel* usedPercentLabel(double used, int points) {
  QLabel* label = makeLabel(Format::percent(used), TextRole::headline);
  QFont font = label->font();
  font.setPointSize(points);
  font.setWeight(QFont::DemiBold);
  label->setFont(font);
  label->setWordWrap(false);
  return label;
}

QColor tintOf(const WindowAssessment& a, const QWidget& widget) { return Theme::color(a.status, appearanceOf(widget)); }

}  // namespace

std::string rateHelp(RateBasis basis) {
  switch (basis) {
    case RateBasis::localActivity: return "Current burn rate, from your recent Claude Code activity.";
    case RateBasis::recent: return "Current burn rate, from recent readings.";
    case RateBasis::windowAverage: return "Current burn rate, average since this window started.";
    case RateBasis::none: break;
  }
  return "Current burn rate, .";
}

OvelBar::OvelBar(const WindowAssessment& a, QColor tint, int height, QWidget* parent)
    : QWidget(parent),
      used_(a.window.usedPercent),
      projected_(a.projectedAtReset),
      even_(a.evenOvelPercent),
      tint_(std::move(tint)) {
  setFixedHeight(height);
  setMinimumWidth(60);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void OvelBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF track(rect());
  double radius = track.height() / 2;
  auto fraction = [](double percent) { return std::clamp(percent, 0.0, 100.0) / 100; };
  auto bar = [&](double percent, QColor color) {
    QPainterPath path;
    path.addRoundedRect(QRectF(track.left(), track.top(), track.width() * fraction(percent), track.height()), radius,
                        radius);
    painter.fillPath(path, color);
  };
  QColor back = palette().color(QPalette::WindowText);
  back.setAlphaF(0.1f);
  bar(100, back);
  if (projected_ && *projected_ > used_) {
    QColor ahead = tint_;
    ahead.setAlphaF(0.3f);
    bar(*projected_, ahead);
  }
  bar(used_, tint_);
  if (even_) {
    double x = track.left() + track.width() * fraction(*even_);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    painter.drawLine(QPointF(x, track.top()), QPointF(x, track.bottom()));
  }
}

StatusPill::StatusPill(OvelStatus status, QWidget* parent) : QWidget(parent), status_(status) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize StatusPill::sizeHint() const {
  QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(QString::fromLatin1(label(status_).data())) + 16, metrics.height() + 4};
}

void StatusPill::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor tint = Theme::color(status_, appearanceOf(*this));
  QColor fill = tint;
  fill.setAlphaF(0.15f);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
  painter.fillPath(shape, fill);
  painter.setPen(tint);
  painter.drawText(rect(), Qt::AlignCenter, QString::fromLatin1(label(status_).data()));
}

QWidget* makeWindowCard(const WindowAssessment& a, Date now, QLayout* extra) {
  auto* card = new Card(14);
  auto* column = card->column();

  auto* header = new QHBoxLayout;
  header->addWidget(makeLabel(a.window.kind.title(), TextRole::subheadline));
  header->addStretch();
  header->addWidget(new StatusPill(a.status));
  column->addLayout(header);

  auto* usage = new QHBoxLayout;
  usage->addWidget(usedPercentLabel(a.window.usedPercent, 30));
  usage->addWidget(makeLabel(QStringLiteral("used"), TextRole::body, true), 0, Qt::AlignBottom);
  usage->addStretch();
  if (a.window.resetsAt) {
    auto* resets = new QVBoxLayout;
    resets->setSpacing(1);
    resets->addWidget(makeLabel("resets " + Format::clock(*a.window.resetsAt, now), TextRole::caption), 0,
                      Qt::AlignRight);
    resets->addWidget(makeLabel("in " + Format::duration(secondsBetween(*a.window.resetsAt, now)), TextRole::caption,
                                true),
                      0, Qt::AlignRight);
    if (a.plannedResetAt) {
      QLabel* planned = makeLabel("planned " + Format::clock(*a.plannedResetAt, now), TextRole::caption);
      planned->setToolTip(
          QStringLiteral("Ovel is planning this limit to a reset you added, ahead of the scheduled one."));
      resets->addWidget(planned, 0, Qt::AlignRight);
    }
    usage->addLayout(resets);
  }
  column->addLayout(usage);

  column->addWidget(new OvelBar(a, tintOf(a, *card), 10));
  column->addWidget(makeLabel(Format::verdict(a, now), TextRole::body));

  auto* figures = new QHBoxLayout;
  figures->setSpacing(0);
  figures->addWidget(stat(QStringLiteral("Burn rate"), rateText(a.ratePerHour, a.window.kind), rateHelp(a.rateBasis)));
  figures->addWidget(stat(QStringLiteral("Sustainable"), rateText(a.sustainableRatePerHour, a.window.kind),
                          "What you can spend from now and land on 100% at reset."));
  figures->addWidget(stat(QStringLiteral("Even ovel"), a.evenOvelPercent ? Format::percent(*a.evenOvelPercent) : kDash,
                          "Where you'd be if you spread usage evenly across the window."));
  column->addLayout(figures);
  if (extra) column->addLayout(extra);
  return card;
}

QWidget* makeWindowRow(const WindowAssessment& a, Date now) {
  auto* row = new QWidget;
  auto* column = new QVBoxLayout(row);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(5);

  auto* first = new QHBoxLayout;
  first->setSpacing(10);
  QLabel* title = makeLabel(a.window.kind.title(), TextRole::subheadline);
  title->setWordWrap(false);
  title->setFixedWidth(92);
  first->addWidget(title);
  first->addWidget(new OvelBar(a, tintOf(a, *row), 6), 1);
  QLabel* percent = makeLabel(Format::percent(a.window.usedPercent), TextRole::subheadline);
  percent->setAlignment(Qt::AlignRight);
  percent->setFixedWidth(40);
  first->addWidget(percent);
  column->addLayout(first);

  auto* second = new QHBoxLayout;
  second->setSpacing(4);
  second->addWidget(makeLabel(Format::verdict(a, now), TextRole::caption, a.status == OvelStatus::comfortable));
  second->addStretch();
  if (a.window.resetsAt) {
    QLabel* resets = makeLabel("resets " + Format::clock(*a.window.resetsAt, now), TextRole::caption, true);
    resets->setWordWrap(false);
    resets->setToolTip(QString::fromStdString("in " + Format::duration(secondsBetween(*a.window.resetsAt, now))));
    second->addWidget(resets);
  }
  column->addLayout(second);
  return row;
}

}  // namespace ovel

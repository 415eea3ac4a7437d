#include "ui/WindowCard.h"

#include <QFontMetrics>
#include <QHBoxLayout>
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

OvelBar* barOf(const WindowAssessment& a, double height, bool labelsTick) {
  auto* bar = new OvelBar(height, labelsTick, 14);
  bar->setAssessment(a, ThemeColor::status(a.status));
  return bar;
}

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

  column->addWidget(barOf(a, 10, true));
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
  first->addWidget(barOf(a, 6, false), 1);
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

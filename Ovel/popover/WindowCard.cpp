#include "popover/WindowCard.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "model/Format.h"
#include "ui/CountingFigure.h"
#include "ui/Divider.h"
#include "ui/IconLabel.h"
#include "ui/OvelBar.h"
#include "ui/ResetLines.h"
#include "ui/StatusPill.h"
#include "ui/Symbol.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

const QString kMissing = QStringLiteral("\u2014");
constexpr double kLabelHeight = 14;

QString text(const std::string& value) { return QString::fromStdString(value); }

std::optional<QString> text(const std::optional<std::string>& value) {
  return value ? std::optional(text(*value)) : std::nullopt;
}

QString rateText(const std::optional<double>& rate, const WindowKind& kind) {
  return rate ? text(Format::rate(*rate, kind)) : kMissing;
}

QFont digits(TextStyle style, QFont::Weight weight) { return Theme::withFixedDigits(Theme::font(style, weight)); }

QWidget* stat(const QString& label, const QString& help, TextView*& value) {
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  value = new TextView({}, digits(TextStyle::callout, QFont::DemiBold));
  value->setSingleLine();
  column->addWidget(value);
  auto* caption = new TextView(label, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary));
  caption->setSingleLine();
  column->addWidget(caption);
  box->setToolTip(help);
  box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  return box;
}

}  // namespace

std::string rateHelp(RateBasis basis) {
  std::string wording;
  switch (basis) {
    case RateBasis::localActivity: wording = "from your recent Claude Code activity"; break;
    case RateBasis::recent: wording = "from recent readings"; break;
    case RateBasis::windowAverage: wording = "average since this window started"; break;
    case RateBasis::none: break;
  }
  return "Current burn rate, " + wording + ".";
}

WindowTexts WindowTexts::of(const WindowAssessment& a, Date now) {
  WindowTexts t;
  const WindowKind& kind = a.window.kind;
  t.title = text(kind.title());
  t.used = text(Format::percent(a.window.usedPercent));
  ResetLines lines = ResetLines::of(a, now);
  t.resets = text(lines.resets);
  t.resetsIn = text(lines.in);
  t.planned = text(lines.planned);
  t.verdict = text(Format::verdict(a, now));
  t.burnRate = rateText(a.ratePerHour, kind);
  t.sustainable = rateText(a.sustainableRatePerHour, kind);
  t.evenOvel = a.evenOvelPercent ? text(Format::percent(*a.evenOvelPercent)) : kMissing;
  t.accessibleLabel = t.title + QStringLiteral(": ") + t.used + QStringLiteral(" used. ") + t.verdict +
                      QLatin1Char('.');
  return t;
}

WindowCard::WindowCard(QWidget* parent)
    : Card(14, 10, parent),
      title_(new TextView({}, Theme::font(TextStyle::subheadline, QFont::DemiBold))),
      pill_(new StatusPill(OvelStatus::comfortable)),
      used_(new TextView({}, Theme::figureFont(kUsedPixels))),
      usedCount_(new CountingFigure(used_)),
      resetBlock_(new QWidget),
      resets_(new TextView({}, Theme::font(TextStyle::caption, QFont::Medium))),
      resetsIn_(new TextView({}, digits(TextStyle::caption, QFont::Normal), ThemeColor::of(ColorRole::secondary))),
      planned_(new TextView({}, Theme::font(TextStyle::caption, QFont::Medium), ThemeColor::brand())),
      bar_(new OvelBar(10, true, kLabelHeight)),
      verdict_(new IconLabel(Symbol::checkmarkCircleFill, {}, Theme::font(TextStyle::callout, QFont::Medium),
                             ThemeColor::of(ColorRole::primary), ThemeColor::brand())) {
  title_->setSingleLine();
  used_->setSingleLine();
  auto* header = new QHBoxLayout;
  header->addWidget(title_, 1);
  header->addWidget(pill_);
  column()->addLayout(header);

  // The big figure, "used" and the reset block share the figure's baseline.
  auto* usage = new QHBoxLayout;
  usage->setSpacing(8);
  auto* figure = new QHBoxLayout;
  figure->setSpacing(4);
  figure->addWidget(used_, 0, Qt::AlignBottom);
  auto* usedWord = new TextView(QStringLiteral("used"), Theme::font(TextStyle::callout),
                                ThemeColor::of(ColorRole::secondary));
  usedWord->setSingleLine();
  usedWord->setContentsMargins(0, 0, 0, used_->baselineFromBottom() - usedWord->baselineFromBottom());
  figure->addWidget(usedWord, 0, Qt::AlignBottom);
  usage->addLayout(figure);
  usage->addStretch();
  auto* resetColumn = new QVBoxLayout(resetBlock_);
  resetColumn->setContentsMargins(0, 0, 0, used_->baselineFromBottom() - resets_->baselineFromBottom());
  resetColumn->setSpacing(1);
  for (TextView* line : {resets_, resetsIn_, planned_}) {
    line->setSingleLine();
    line->setAlignment(Qt::AlignRight);
    resetColumn->addWidget(line, 0, Qt::AlignRight);
  }
  planned_->setToolTip(QString::fromLatin1(ResetLines::kPlannedHelp));
  usage->addWidget(resetBlock_, 0, Qt::AlignBottom);
  column()->addLayout(usage);

  OvelBar::addTo(column(), bar_);
  column()->addWidget(verdict_);

  auto* divider = new QVBoxLayout;
  divider->setContentsMargins(0, 2, 0, 2);
  divider->addWidget(new Divider);
  column()->addLayout(divider);

  auto* figures = new QHBoxLayout;
  figures->setSpacing(0);
  burnRateStat_ = stat(QStringLiteral("Burn rate"), {}, burnRate_);
  figures->addWidget(burnRateStat_, 1);
  figures->addWidget(stat(QStringLiteral("Sustainable"),
                          QStringLiteral("What you can spend from now and land on 100% at reset."), sustainable_),
                     1);
  figures->addWidget(stat(QStringLiteral("Even ovel"),
                          QStringLiteral("Where you'd be if you spread usage evenly across the window."), evenOvel_),
                     1);
  column()->addLayout(figures);
  // Given more height than it needs (beside a taller panel), the card keeps
  // its content together at the top.
  column()->addStretch();
}

void WindowCard::setAssessment(const WindowAssessment& a, Date now) {
  WindowTexts t = WindowTexts::of(a, now);
  ThemeColor tint = ThemeColor::status(a.status);
  title_->setText(t.title);
  pill_->setStatus(a.status);
  usedCount_->setPercent(a.window.usedPercent);
  resetBlock_->setVisible(t.resets.has_value());
  showIfSet(resets_, t.resets);
  showIfSet(resetsIn_, t.resetsIn);
  showIfSet(planned_, t.planned);
  bar_->setAssessment(a, tint);
  verdict_->setSymbol(statusSymbol(a.status));
  verdict_->setColors(ThemeColor::of(ColorRole::primary), tint);
  verdict_->setText(t.verdict);
  burnRate_->setText(t.burnRate);
  burnRateStat_->setToolTip(QString::fromStdString(rateHelp(a.rateBasis)));
  sustainable_->setText(t.sustainable);
  evenOvel_->setText(t.evenOvel);
  setAccessibleName(t.accessibleLabel);
}

WindowRow::WindowRow(QWidget* parent)
    : QWidget(parent),
      title_(new TextView({}, Theme::font(TextStyle::subheadline, QFont::Medium))),
      bar_(new OvelBar(6, false, kLabelHeight)),
      used_(new TextView({}, digits(TextStyle::subheadline, QFont::DemiBold))),
      usedCount_(new CountingFigure(used_)),
      symbol_(new SymbolView(Symbol::checkmarkCircleFill, Theme::pixelSize(TextStyle::caption), ThemeColor::brand())),
      verdict_(new TextView({}, Theme::font(TextStyle::caption))),
      resets_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::tertiary))) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(5);

  auto* first = new QHBoxLayout;
  first->setSpacing(10);
  title_->setSingleLine();
  title_->setFixedWidth(kTitleWidth);
  first->addWidget(title_);
  OvelBar::addTo(first, bar_, 1);
  used_->setSingleLine();
  used_->setAlignment(Qt::AlignRight);
  used_->setFixedWidth(kPercentWidth);
  first->addWidget(used_);
  column->addLayout(first);

  // One line: the verdict gives way before the reset time does.
  auto* second = new QHBoxLayout;
  second->setSpacing(4);
  second->addWidget(symbol_);
  verdict_->setSingleLine();
  second->addWidget(verdict_);
  second->addSpacing(6);
  second->addStretch();
  resets_->setSingleLine();
  resets_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  second->addWidget(resets_);
  column->addLayout(second);
}

void WindowRow::setAssessment(const WindowAssessment& a, Date now) {
  WindowTexts t = WindowTexts::of(a, now);
  ThemeColor tint = ThemeColor::status(a.status);
  title_->setText(t.title);
  bar_->setAssessment(a, tint);
  usedCount_->setPercent(a.window.usedPercent);
  symbol_->setVisible(showsSymbol(a.status));
  symbol_->setSymbol(statusSymbol(a.status));
  symbol_->setColor(tint);
  verdict_->setText(t.verdict);
  verdict_->setColor(ThemeColor::of(showsSymbol(a.status) ? ColorRole::primary : ColorRole::secondary));
  showIfSet(resets_, t.resets);
  resets_->setToolTip(t.resetsIn.value_or(QString()));
  setAccessibleName(t.accessibleLabel);
}

}  // namespace ovel

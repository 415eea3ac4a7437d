#include "dashboard/SessionWeekCard.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

#include "model/Format.h"
#include "model/UsageModel.h"
#include "ui/Card.h"
#include "ui/SectionLabel.h"
#include "ui/TextView.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

constexpr int kPadding = 14;
constexpr int kSpacing = 18;
constexpr int kTextSpacing = 6;
constexpr int kFigurePixels = 22;

const char* const kLearning =
    "Ovel compares how your session and week climb together. It needs about 20 points of session use with week "
    "readings alongside; keep Ovel running.";

// Where a one-line text draws its baseline, from its top.
int baselineOf(const TextView* text) { return TextView::lineHeight(text->textFont()) - text->baselineFromBottom(); }

std::string shareOfWeek(double weekPointsPerSessionPoint) {
  double percent = weekPointsPerSessionPoint * 100;
  return std::isfinite(percent) ? Format::percent(percent) : "\u2014";
}

// A figure over its label, both at the trailing edge.
QWidget* stat(TextView*& value, const QString& label) {
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(1);
  value = new TextView({}, Theme::figureFont(kFigurePixels));
  auto* caption = new TextView(label, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary));
  for (TextView* text : {value, caption}) {
    text->setSingleLine();
    text->setAlignment(Qt::AlignRight);
    text->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    column->addWidget(text, 0, Qt::AlignRight);
  }
  box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return box;
}

}  // namespace

SessionWeekCard::SessionWeekCard(const UsageModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      textColumn_(new QWidget),
      headline_(new TextView({}, Theme::font(TextStyle::headline))),
      caption_(new TextView({}, Theme::font(TextStyle::caption), ThemeColor::of(ColorRole::secondary))) {
  auto* card = new Card(kPadding, 0);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(card);

  auto* texts = new QVBoxLayout(textColumn_);
  texts->setContentsMargins(0, 0, 0, 0);
  texts->setSpacing(kTextSpacing);
  auto* heading = new SectionLabel(QStringLiteral("Week vs 5-hour"));
  heading_ = heading->textView();
  texts->addWidget(heading);
  texts->addWidget(headline_);
  texts->addWidget(caption_);

  auto* row = new QHBoxLayout;
  row->setSpacing(kSpacing);
  row->addWidget(textColumn_, 1, Qt::AlignTop);
  perWeek_ = stat(perWeekValue_, QStringLiteral("sessions per week"));
  left_ = stat(leftValue_, QStringLiteral("sessions left this week"));
  row->addWidget(perWeek_, 0, Qt::AlignTop);
  row->addWidget(left_, 0, Qt::AlignTop);
  card->column()->addLayout(row);

  connect(&model_, &UsageModel::sessionWeekRatioChanged, this, &SessionWeekCard::refresh);
  connect(&model_, &UsageModel::assessmentsChanged, this, &SessionWeekCard::refresh);
  refresh();
}

void SessionWeekCard::refresh() {
  auto week = model_.week();
  setRatio(model_.sessionWeekRatio(), week ? std::optional(week->window.usedPercent) : std::nullopt);
}

void SessionWeekCard::setRatio(const std::optional<SessionWeekRatio>& ratio, std::optional<double> weekUsed) {
  Texts texts = SessionWeekCard::texts(ratio, weekUsed);
  if (texts == shown_) return;
  shown_ = texts;
  headline_->setText(QString::fromStdString(texts.headline));
  caption_->setText(QString::fromStdString(texts.caption));
  perWeek_->setVisible(texts.perWeek.has_value());
  perWeekValue_->setText(QString::fromStdString(texts.perWeek.value_or("")));
  left_->setVisible(texts.left.has_value());
  leftValue_->setText(QString::fromStdString(texts.left.value_or("")));
  // The figures sit on the heading's baseline, as the texts read across.
  int lift = texts.perWeek ? baselineOf(perWeekValue_) - baselineOf(heading_) : 0;
  textColumn_->layout()->setContentsMargins(0, std::max(lift, 0), 0, 0);
  QStringList spoken{QStringLiteral("Week vs 5-hour"), headline_->text(), caption_->text()};
  if (texts.perWeek) spoken << perWeekValue_->text() + QStringLiteral(" sessions per week");
  if (texts.left) spoken << leftValue_->text() + QStringLiteral(" sessions left this week");
  setAccessibleName(spoken.join(QStringLiteral(", ")));
}

SessionWeekCard::Texts SessionWeekCard::texts(const std::optional<SessionWeekRatio>& ratio,
                                              std::optional<double> weekUsed) {
  if (!ratio) return {"Still learning", kLearning, std::nullopt, std::nullopt};
  std::string caption = "Learned from " + std::to_string(ratio->sessions) + " session" +
                        (ratio->sessions == 1 ? "" : "s") + " (" + Format::rounded(ratio->sessionPoints) +
                        " session points) over the last 8 days.";
  // A ratio that is not a number makes no figure, where the engine's
  // sessions per week would read it as free.
  double p = ratio->weekPointsPerSessionPoint;
  double perWeek = std::isnan(p) ? std::numeric_limits<double>::quiet_NaN() : ratio->sessionsPerWeek();
  Texts texts{"A full 5-hour session \u2248 " + shareOfWeek(p) + " of your week", std::move(caption),
              sessionsFigure(perWeek), std::nullopt};
  if (weekUsed) texts.left = sessionsFigure(ratio->sessionsLeft(*weekUsed));
  return texts;
}

std::string SessionWeekCard::sessionsFigure(double sessions) {
  if (std::isnan(sessions)) return "\u2014";
  if (std::isinf(sessions)) return "\u221E";
  return Format::fixed(sessions, sessions >= 10 ? 0 : 1);
}

}  // namespace ovel

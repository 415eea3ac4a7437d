#include "ui/TextView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>

#include <cmath>

#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr QChar kWordJoiner(0x2060);

// A command such as "/compact" is one word: the line may break before its
// slash, where the rules of line breaking would also break after it.
QString withCommandsJoined(const QString& text) {
  static const QRegularExpression command(QStringLiteral("(^|\\s)/(?=\\w)"));
  QString joined = text;
  joined.replace(command, QStringLiteral("\\1/") + kWordJoiner);
  return joined;
}

int naturalWidth(const QString& text, const QFont& font) {
  QFontMetricsF metrics(font);
  qreal widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
  return static_cast<int>(std::ceil(widest));
}

}  // namespace

QStringList wrapText(const QString& text, const QFont& font, qreal width, int maxLines) {
  QString prepared = withCommandsJoined(text);
  prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
  QTextLayout layout(prepared, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  QStringList lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(std::max<qreal>(width, 1));
    QString piece = prepared.mid(line.textStart(), line.textLength());
    piece.remove(QChar::LineSeparator);
    piece.remove(kWordJoiner);
    lines << piece.trimmed();
  }
  layout.endLayout();
  if (maxLines > 0 && lines.size() > maxLines) {
    QString rest = lines.mid(maxLines - 1).join(QLatin1Char(' '));
    lines = lines.mid(0, maxLines - 1);
    // Forcing the ellipsis: the rest never fits, but may once trimmed.
    QString cut = QFontMetricsF(font).elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
    lines << cut;
  }
  return lines;
}

int TextView::lineHeight(const QFont& font) { return static_cast<int>(std::ceil(QFontMetricsF(font).lineSpacing())); }

int TextView::baselineFromBottom(const QFont& font) {
  // As paintEvent draws: the ascent and descent centred in the line.
  QFontMetricsF metrics(font);
  int line = lineHeight(font);
  double fromTop = (line + metrics.ascent() - metrics.descent()) / 2;
  return line - static_cast<int>(std::lround(fromTop));
}

void showIfSet(TextView* view, const std::optional<QString>& text) {
  view->setVisible(text.has_value());
  if (text) view->setText(*text);
}

void showIfSet(TextView* view, const std::optional<std::string>& text) {
  showIfSet(view, text ? std::optional(QString::fromStdString(*text)) : std::nullopt);
}

TextView::TextView(const QString& text, const QFont& font, ThemeColor color, QWidget* parent)
    : QWidget(parent), text_(text), font_(font), color_(std::move(color)) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  setAccessibleName(text_);
}

void TextView::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setAccessibleName(text_);
  changed();
}

void TextView::setTextFont(const QFont& font) {
  if (font == font_) return;
  font_ = font;
  changed();
}

void TextView::setColor(ThemeColor color) {
  if (color == color_) return;
  color_ = std::move(color);
  update();
}

void TextView::setSingleLine(Qt::TextElideMode mode) {
  if (singleLine_ && elide_ == mode) return;
  singleLine_ = true;
  elide_ = mode;
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  changed();
}

void TextView::setMaxLines(int lines) {
  if (!singleLine_ && maxLines_ == lines) return;
  singleLine_ = false;
  maxLines_ = lines;
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  changed();
}

void TextView::setAlignment(Qt::Alignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  update();
}

void TextView::changed() {
  wrappedWidth_ = -1;
  // The widgets and layouts above cache the heights their widths give.
  relayoutUpwards(this);
  update();
}

QStringList TextView::linesAt(int width) const {
  // Layouts ask for the height and paint asks for the lines at one width,
  // again and again: wrap once per width.
  if (width == wrappedWidth_) return wrapped_;
  if (text_.isEmpty()) {
    wrapped_.clear();
  } else if (singleLine_) {
    QString flat = text_;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    wrapped_ = {QFontMetricsF(font_).elidedText(flat, elide_, width)};
  } else {
    wrapped_ = wrapText(text_, font_, width, maxLines_);
  }
  wrappedWidth_ = width;
  return wrapped_;
}

QStringList TextView::shownLines() const { return linesAt(contentsRect().width()); }

bool TextView::isCut() const {
  if (text_.isEmpty()) return false;
  int width = contentsRect().width();
  if (singleLine_) return shownLines().value(0) != QString(text_).replace(QLatin1Char('\n'), QLatin1Char(' '));
  return maxLines_ > 0 && wrapText(text_, font_, width).size() > maxLines_;
}

QSize TextView::sizeHint() const {
  int lines = singleLine_ ? 1 : std::max<int>(1, static_cast<int>(text_.count(QLatin1Char('\n'))) + 1);
  if (maxLines_ > 0) lines = std::min(lines, maxLines_);
  QString shown = singleLine_ ? QString(text_).replace(QLatin1Char('\n'), QLatin1Char(' ')) : text_;
  return QSize(naturalWidth(shown, font_), lines * lineHeight(font_)).grownBy(contentsMargins());
}

QSize TextView::minimumSizeHint() const {
  // Both forms can be squeezed: a single line is cut, a wrapping text grows
  // downwards instead.
  int squeezed = static_cast<int>(std::ceil(QFontMetricsF(font_).averageCharWidth() * 3));
  QSize natural = sizeHint().shrunkBy(contentsMargins());
  return QSize(std::min(natural.width(), squeezed), lineHeight(font_)).grownBy(contentsMargins());
}

bool TextView::hasHeightForWidth() const { return !singleLine_; }

int TextView::heightForWidth(int width) const {
  QMargins margins = contentsMargins();
  if (singleLine_) return lineHeight(font_) + margins.top() + margins.bottom();
  auto lines = std::max<qsizetype>(1, linesAt(width - margins.left() - margins.right()).size());
  return static_cast<int>(lines) * lineHeight(font_) + margins.top() + margins.bottom();
}

void TextView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font_);
  painter.setPen(color_.resolve(palette()));
  int step = lineHeight(font_);
  QRect area = contentsRect();
  int y = area.top();
  for (const QString& line : shownLines()) {
    painter.drawText(QRect(area.left(), y, area.width(), step), static_cast<int>(alignment_ | Qt::AlignVCenter), line);
    y += step;
  }
}

}  // namespace ovel

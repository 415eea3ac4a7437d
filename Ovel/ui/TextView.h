// A text in one of the theme's styles and colours, with the line limits
// that QLabel lacks: one line cut with an ellipsis, or wrapping up to a
// number of lines (the last one cut), or wrapping without limit. Its height
// follows its width, so a fixed-width window grows downwards, never wider.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <string>

#include "ui/ThemeColor.h"

namespace ovel {

class TextView final : public QWidget {
 public:
  // A wrapping text without a line limit.
  explicit TextView(const QString& text = {}, const QFont& font = Theme::font(TextStyle::body),
                    ThemeColor color = ThemeColor::of(ColorRole::primary), QWidget* parent = nullptr);

  void setText(const QString& text);
  const QString& text() const { return text_; }
  void setTextFont(const QFont& font);
  const QFont& textFont() const { return font_; }
  void setColor(ThemeColor color);
  const ThemeColor& color() const { return color_; }
  // One line, cut at `mode` when it does not fit; it then asks for its whole
  // width but can be squeezed.
  void setSingleLine(Qt::TextElideMode mode = Qt::ElideRight);
  // Wraps onto at most `lines` lines (0: no limit).
  void setMaxLines(int lines);
  void setAlignment(Qt::Alignment alignment);

  // The lines shown at the current width.
  QStringList shownLines() const;
  // Whether some of the text is cut off at the current width.
  bool isCut() const;

  // The height of one line in `font`: its line spacing, rounded up.
  static int lineHeight(const QFont& font);
  // How far above a line's bottom edge its baseline is drawn in `font`: the
  // text is centred in the line and its baseline lands on the nearest pixel.
  // Texts side by side share a baseline when their bottoms differ by the
  // difference of these.
  static int baselineFromBottom(const QFont& font);
  int baselineFromBottom() const { return baselineFromBottom(font_); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QStringList linesAt(int width) const;
  void changed();

  QString text_;
  QFont font_;
  ThemeColor color_;
  bool singleLine_ = false;
  Qt::TextElideMode elide_ = Qt::ElideRight;
  int maxLines_ = 0;
  Qt::Alignment alignment_ = Qt::AlignLeft;
  // The lines at the width last asked for; -1: none yet.
  mutable int wrappedWidth_ = -1;
  mutable QStringList wrapped_;
};

// Shows `text` in `view`, or hides the view without one.
void showIfSet(TextView* view, const std::optional<QString>& text);
void showIfSet(TextView* view, const std::optional<std::string>& text);

// The lines `text` takes at `width` in `font`, breaking between words where
// it can and anywhere else where it must; with `maxLines` above 0, at most
// that many, the last one cut with an ellipsis when text is left over.
QStringList wrapText(const QString& text, const QFont& font, qreal width, int maxLines = 0);

}  // namespace ovel

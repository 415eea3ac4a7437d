// The small upper-case heading that a dashboard section or card puts above
// its content.
#pragma once

#include <QString>
#include <QWidget>

namespace ovel {

class TextView;

class SectionLabel final : public QWidget {
 public:
  explicit SectionLabel(const QString& text, QWidget* parent = nullptr);

  // What the heading shows: the text in upper case.
  static QString shownText(const QString& text);
  TextView* textView() const { return text_; }

 private:
  TextView* text_;
};

}  // namespace ovel

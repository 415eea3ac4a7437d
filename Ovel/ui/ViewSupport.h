// Small pieces every window of the application builds with: texts in the
// system's roles, the rounded card, and a redraw that coalesces bursts of
// model signals into one rebuild.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "ui/Theme.h"

class QLayout;
class QVBoxLayout;

namespace ovel {

enum class TextRole { headline, subheadline, body, caption, title };

QLabel* makeLabel(const QString& text, TextRole role = TextRole::body, bool secondary = false);
QLabel* makeLabel(const std::string& text, TextRole role = TextRole::body, bool secondary = false);

// The appearance a widget draws in, read from its palette.
Appearance appearanceOf(const QWidget& widget);

// Deletes every item and widget of the layout.
void clearLayout(QLayout* layout);

// The rounded, lightly filled panel that sections sit on, with a column
// inset by the padding.
class Card final : public QFrame {
 public:
  explicit Card(int padding, int spacing = 10, QWidget* parent = nullptr);
  QVBoxLayout* column() const { return column_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QVBoxLayout* column_;
};

// Runs `rebuild` once from the event loop after any number of pokes.
class RedrawGate final : public QObject {
 public:
  RedrawGate(QObject* parent, std::function<void()> rebuild);
  void poke();

 private:
  std::function<void()> rebuild_;
  bool pending_ = false;
};

}  // namespace ovel

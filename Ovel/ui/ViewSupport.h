// Small pieces every window of the application builds with: texts in the
// system's roles and a redraw that coalesces bursts of model signals into
// one rebuild.
#pragma once

#include <QLabel>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "ui/Card.h"
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

// Lays out every layout of a view that is not shown whose content changed,
// deepest first. A shown view does so from its event loop; a hidden one
// never does, and measures with the size hints it had before the change.
void settleLayouts(QWidget& root);

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

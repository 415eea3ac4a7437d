// The settings and dashboard windows: made once, hidden (never destroyed) on
// close so they come back as they were, and kept where the user left them.
#pragma once

#include <QSize>
#include <QString>

class QSettings;
class QWidget;

namespace ovel {

struct WindowSetup {
  QString title;
  QSize size;
  QSize minimumSize;
  // The settings key the frame is kept under ("OvelSettings").
  QString autosaveName;
  // Whether the title bar offers to minimise it.
  bool minimizable = true;
};

struct WindowFrames {
  WindowFrames() = delete;

  // Makes `window` a top-level window by `setup`: closing hides it and never
  // quits the application; its frame comes back from `settings` (or it is
  // centred on the screen when none was saved) and every move, resize and
  // hide saves it there. `settings` must outlive the window.
  static void keep(QWidget* window, const WindowSetup& setup, QSettings& settings);

  // Shows the window in front, with the keyboard.
  static void present(QWidget* window);

  static QString settingsKey(const QString& autosaveName);
};

}  // namespace ovel

#include "platform/WindowFrames.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace ovel {
namespace {

class FrameSaver final : public QObject {
 public:
  FrameSaver(QWidget* window, QString key, QSettings& settings)
      : QObject(window), window_(window), key_(std::move(key)), settings_(settings) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    bool changed = event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Hide;
    // Geometry set while it is hidden is our own, not the user's.
    if (watched == window_ && changed && (window_->isVisible() || event->type() == QEvent::Hide))
      settings_.setValue(key_, window_->saveGeometry());
    return false;
  }

 private:
  QWidget* window_;
  QString key_;
  QSettings& settings_;
};

void centre(QWidget* window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame(QPoint(), window->size());
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

}  // namespace

QString WindowFrames::settingsKey(const QString& autosaveName) {
  return QStringLiteral("windowFrames/") + autosaveName;
}

void WindowFrames::keep(QWidget* window, const WindowSetup& setup, QSettings& settings) {
  if (setup.minimizable) {
    window->setWindowFlag(Qt::Window);
  } else {
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  }
  window->setWindowTitle(setup.title);
  window->setMinimumSize(setup.minimumSize);
  window->resize(setup.size);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  // A tray application lives on with no window open.
  window->setAttribute(Qt::WA_QuitOnClose, false);
  QString key = settingsKey(setup.autosaveName);
  if (!window->restoreGeometry(settings.value(key).toByteArray())) centre(window);
  window->installEventFilter(new FrameSaver(window, key, settings));
}

void WindowFrames::present(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  else window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace ovel

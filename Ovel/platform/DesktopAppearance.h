// Whether the desktop wants its windows light or dark, from the strongest
// clue there is: the settings portal's colour scheme (org.freedesktop.
// appearance color-scheme, which GNOME's and KDE's portals take from their
// own preference); else the GTK theme's name (XFCE's, in its xsettings
// channel: "Adwaita-dark"); else the palette a platform theme gives the
// application (KDE's, qt6ct's). Each is followed as it changes, and each
// only while its program runs: none is started to be asked.
//
// The windows draw in the application's palette; where no platform theme
// gives one, offerPalette() gives them ours.
#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPalette>
#include <QString>

#include <memory>
#include <optional>

#include "platform/Appearance.h"

namespace ovel {

class XfconfChannel;

class DesktopAppearance final : public QObject {
  Q_OBJECT

 public:
  // The portal's color-scheme values.
  enum class ColorScheme : uint { noPreference = 0, preferDark = 1, preferLight = 2 };

  // What tells the appearance, strongest first.
  struct Clues {
    // The portal's value, when it answered.
    std::optional<uint> scheme;
    // The GTK theme's name; empty when none is known.
    QString themeName;
    // The window colour of a platform theme's palette.
    std::optional<QColor> platformPalette;
  };
  // Absent where nothing tells.
  static std::optional<Appearance> appearanceOf(const Clues& clues);
  // A theme whose name says it is dark is dark; any other is light.
  static Appearance appearanceOfTheme(const QString& name);

  // The application's one: made on first use, shared while anything holds it.
  static std::shared_ptr<DesktopAppearance> shared();

  explicit DesktopAppearance(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
  ~DesktopAppearance() override;

  // Absent where nothing tells.
  std::optional<Appearance> appearance() const { return appearance_; }
  // True once the running portal and XFCE's settings have answered.
  bool isSettled() const;

  // The palette a platform theme gives the application; absent where it
  // draws in the style's own palette or in one offerPalette() gave.
  static std::optional<QPalette> platformPalette();
  // Gives the application `palette`, unless a platform theme gives one of
  // its own, which is kept. True when given.
  static bool offerPalette(const QPalette& palette);

 signals:
  void changed();
  void settled();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void settingChanged(const QDBusMessage& message);

 private:
  void portalChanged(bool running);
  // At start a portal that is not running yet is started, as any portal
  // client starts it; later reads only ask one that runs.
  void readPortal(bool startIt = false);
  void update();
  void settleWhenAnswered();

  QDBusConnection bus_;
  std::optional<uint> scheme_;
  bool portalAnswered_ = false;
  // Only on XFCE.
  std::unique_ptr<XfconfChannel> xsettings_;
  // Owns the pending portal reply.
  std::unique_ptr<QObject> pending_;
  std::optional<Appearance> appearance_;
  bool settled_ = false;
};

// XDG_CURRENT_DESKTOP: the desktop's names, joined by ":".
QString currentDesktops();
// Whether `desktops` names `name`.
bool isDesktop(const QString& desktops, const char* name);

}  // namespace ovel

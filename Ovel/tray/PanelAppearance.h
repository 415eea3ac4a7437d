// The tone of the panel that holds the tray. Linux trays do not recolour an
// icon to their panel, so the icons are painted for it, from the strongest
// clue there is: the panel's own colour where it could be seen (an XEmbed
// tray shows it around the icon); GNOME's top bar, dark whatever the
// preference; the desktop's light or dark preference (the portal's
// org.freedesktop.appearance color-scheme); the panel's own settings (XFCE's
// xfconf channel, KDE Plasma's theme and colour scheme); the palette a
// desktop theme gave. Where none of them tells, the tone is unknown.
#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <optional>

#include "tray/PanelSettings.h"

class QTimer;

namespace ovel {

class PanelAppearance final : public QObject {
  Q_OBJECT

 public:
  // The portal's color-scheme values.
  enum class ColorScheme : uint { noPreference = 0, preferDark = 1, preferLight = 2 };

  // What tells the tone, strongest first.
  struct Clues {
    std::optional<QColor> seen;
    // XDG_CURRENT_DESKTOP (names joined by ":").
    QString desktops;
    // The portal's value, when it answered.
    std::optional<uint> scheme;
    PanelTone xfcePanel = PanelTone::unknown;
    PanelTone kdePanel = PanelTone::unknown;
    // The palette's window colour, when a desktop theme set the palette.
    std::optional<QColor> themePalette;
  };
  static PanelTone toneOf(const Clues& clues);

  explicit PanelAppearance(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
  ~PanelAppearance() override;

  PanelTone tone() const { return tone_; }
  // True once the desktop has answered what was asked of it, or once it
  // has kept us waiting for a moment; icons shown before may be in the
  // wrong tone.
  bool isSettled() const { return settled_; }

  // The colour seen around the tray's icons; absent when none was seen.
  void setSeenPanel(std::optional<QColor> panel);
  bool hasSeenPanel() const { return seen_.has_value(); }

 signals:
  void changed();
  void settled();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void settingChanged(const QDBusMessage& message);

 private:
  void readPortal();
  void update();
  void settleWhenAnswered();
  void settle();

  QDBusConnection bus_;
  std::optional<uint> scheme_;
  bool portalAnswered_ = false;
  std::optional<QColor> seen_;
  // Each only on its own desktop.
  std::unique_ptr<XfcePanelSettings> xfce_;
  std::unique_ptr<KdePanelSettings> kde_;
  QTimer* patience_;
  PanelTone tone_ = PanelTone::unknown;
  bool settled_ = false;
};

}  // namespace ovel

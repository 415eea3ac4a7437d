// The tone of the panel that holds the tray. Linux trays do not recolour an
// icon to their panel, so the icons are painted for it, from the strongest
// clue there is. First the panel's own: its colour where it could be seen
// (an XEmbed tray shows it around the icon), its settings (XFCE's xfconf
// channel, KDE Plasma's theme and colour scheme), GNOME's top bar, dark
// whatever the windows are. Then, as a fallback, the appearance the desktop
// wants for its windows (DesktopAppearance). Where none of them tells, the
// tone is unknown.
#pragma once

#include <QColor>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

#include "platform/DesktopAppearance.h"
#include "tray/PanelSettings.h"

class QTimer;

namespace ovel {

class PanelAppearance final : public QObject {
  Q_OBJECT

 public:
  // What tells the tone, strongest first.
  struct Clues {
    std::optional<QColor> seen;
    PanelTone xfcePanel = PanelTone::unknown;
    PanelTone kdePanel = PanelTone::unknown;
    // XDG_CURRENT_DESKTOP (names joined by ":").
    QString desktops;
    // What the desktop wants for its windows.
    std::optional<Appearance> desktop;
  };
  static PanelTone toneOf(const Clues& clues);

  explicit PanelAppearance(std::shared_ptr<DesktopAppearance> desktop = DesktopAppearance::shared(),
                           QObject* parent = nullptr);
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

 private:
  void update();
  void settleWhenAnswered();
  void settle();

  std::shared_ptr<DesktopAppearance> desktop_;
  std::optional<QColor> seen_;
  // Each only on its own desktop.
  std::unique_ptr<XfcePanelSettings> xfce_;
  std::unique_ptr<KdePanelSettings> kde_;
  QTimer* patience_;
  PanelTone tone_ = PanelTone::unknown;
  bool settled_ = false;
};

}  // namespace ovel

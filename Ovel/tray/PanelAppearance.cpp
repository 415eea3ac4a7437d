#include "tray/PanelAppearance.h"

#include <QDBusConnection>
#include <QStandardPaths>
#include <QTimer>

namespace ovel {
namespace {

// How long the first icons wait for the desktop's answers.
constexpr std::chrono::milliseconds kPatience(1000);

PanelTone toneOfWindows(Appearance appearance) {
  return appearance == Appearance::dark ? PanelTone::dark : PanelTone::light;
}

}  // namespace

PanelTone PanelAppearance::toneOf(const Clues& clues) {
  if (clues.seen) return toneOfColor(*clues.seen) == PanelTone::dark ? PanelTone::dark : PanelTone::light;
  if (clues.xfcePanel != PanelTone::unknown) return clues.xfcePanel;
  if (clues.kdePanel != PanelTone::unknown) return clues.kdePanel;
  if (isDesktop(clues.desktops, "GNOME")) return PanelTone::dark;
  // The windows' appearance says nothing sure of the panel: only where the
  // panel tells nothing of its own.
  if (clues.desktop) return toneOfWindows(*clues.desktop);
  return PanelTone::unknown;
}

PanelAppearance::PanelAppearance(std::shared_ptr<DesktopAppearance> desktop, QObject* parent)
    : QObject(parent), desktop_(std::move(desktop)), patience_(new QTimer(this)) {
  connect(desktop_.get(), &DesktopAppearance::changed, this, &PanelAppearance::update);
  connect(desktop_.get(), &DesktopAppearance::settled, this, &PanelAppearance::settleWhenAnswered);
  // Each desktop's panel settings only on that desktop: another may keep
  // them from an earlier session (xfconfd starts with XFCE's programs, a
  // kdeglobals colours KDE's windows), and they tell nothing of its panel.
  if (isDesktop(currentDesktops(), "XFCE")) {
    xfce_ = std::make_unique<XfcePanelSettings>(QDBusConnection::sessionBus());
    connect(xfce_.get(), &XfcePanelSettings::changed, this, [this] {
      update();
      settleWhenAnswered();
    });
  }
  if (isDesktop(currentDesktops(), "KDE")) {
    kde_ = std::make_unique<KdePanelSettings>(QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation));
    connect(kde_.get(), &KdePanelSettings::changed, this, &PanelAppearance::update);
  }
  patience_->setSingleShot(true);
  patience_->setInterval(kPatience);
  connect(patience_, &QTimer::timeout, this, &PanelAppearance::settle);
  // Counted once the event loop runs: no answer is heard sooner, and a busy
  // start must not use up the wait.
  QTimer::singleShot(0, patience_, qOverload<>(&QTimer::start));
  update();
  settleWhenAnswered();
}

PanelAppearance::~PanelAppearance() = default;

void PanelAppearance::setSeenPanel(std::optional<QColor> panel) {
  seen_ = panel;
  update();
}

void PanelAppearance::update() {
  Clues clues{seen_, xfce_ ? xfce_->tone() : PanelTone::unknown, kde_ ? kde_->tone() : PanelTone::unknown,
              currentDesktops(), desktop_->appearance()};
  PanelTone tone = toneOf(clues);
  if (tone == tone_) return;
  tone_ = tone;
  emit changed();
}

void PanelAppearance::settleWhenAnswered() {
  if (desktop_->isSettled() && (!xfce_ || xfce_->hasAnswered())) settle();
}

void PanelAppearance::settle() {
  patience_->stop();
  if (std::exchange(settled_, true)) return;
  emit settled();
}

}  // namespace ovel

#include "tray/PanelAppearance.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>
#include <QPalette>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>

#include "model/Log.h"

namespace ovel {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// How long the first icons wait for the desktop's answers.
constexpr std::chrono::milliseconds kPatience(1000);

// Read answers a variant inside a variant; a change signal carries one.
std::optional<uint> schemeOf(const QVariant& value) {
  bool ok = false;
  uint scheme = withoutDBusVariants(value).toUInt(&ok);
  return ok ? std::optional<uint>(scheme) : std::nullopt;
}

QString currentDesktops() { return qEnvironmentVariable("XDG_CURRENT_DESKTOP"); }

bool isDesktop(const QString& desktops, const char* name) {
  for (const QString& desktop : desktops.split(QLatin1Char(':')))
    if (desktop.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
  return false;
}

// Without a desktop theme the palette is the style's own, which tells
// nothing of the desktop.
std::optional<QColor> themePalette() {
  QPalette palette = QGuiApplication::palette();
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) && QApplication::style() &&
      palette == QApplication::style()->standardPalette())
    return std::nullopt;
  return palette.color(QPalette::Window);
}

}  // namespace

PanelTone PanelAppearance::toneOf(const Clues& clues) {
  if (clues.seen) return toneOfColor(*clues.seen) == PanelTone::dark ? PanelTone::dark : PanelTone::light;
  if (isDesktop(clues.desktops, "GNOME")) return PanelTone::dark;
  if (clues.scheme == static_cast<uint>(ColorScheme::preferDark)) return PanelTone::dark;
  if (clues.scheme == static_cast<uint>(ColorScheme::preferLight)) return PanelTone::light;
  if (clues.xfcePanel != PanelTone::unknown) return clues.xfcePanel;
  if (clues.kdePanel != PanelTone::unknown) return clues.kdePanel;
  if (clues.themePalette) return toneOfColor(*clues.themePalette);
  return PanelTone::unknown;
}

PanelAppearance::PanelAppearance(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus), patience_(new QTimer(this)) {
  if (qApp) qApp->installEventFilter(this);
  // Each desktop's panel settings only on that desktop: another may keep
  // them from an earlier session (xfconfd starts with XFCE's programs, a
  // kdeglobals colours KDE's windows), and they tell nothing of its panel.
  if (isDesktop(currentDesktops(), "XFCE")) {
    xfce_ = std::make_unique<XfcePanelSettings>(bus_);
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
  connect(patience_, &QTimer::timeout, this, &PanelAppearance::settle);
  patience_->start(kPatience);
  if (bus_.isConnected()) readPortal();
  else portalAnswered_ = true;
  update();
  settleWhenAnswered();
}

PanelAppearance::~PanelAppearance() = default;

void PanelAppearance::readPortal() {
  // QtDBus hands a signal's variant argument to no typed slot: the message it is.
  bus_.connect(kPortal, kPortalPath, kSettings, QStringLiteral("SettingChanged"), this,
               SLOT(settingChanged(QDBusMessage)));
  auto call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kSettings, QStringLiteral("Read"));
  call << kGroup << kKey;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    QDBusPendingReply<QDBusVariant> reply = *finished;
    finished->deleteLater();
    portalAnswered_ = true;
    if (reply.isError()) qCDebug(logTray).noquote() << "portal colour scheme:" << reply.error().message();
    else scheme_ = schemeOf(QVariant::fromValue(reply.value()));
    update();
    settleWhenAnswered();
  });
}

void PanelAppearance::setSeenPanel(std::optional<QColor> panel) {
  seen_ = panel;
  update();
}

bool PanelAppearance::eventFilter(QObject* watched, QEvent* event) {
  if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) update();
  return QObject::eventFilter(watched, event);
}

void PanelAppearance::settingChanged(const QDBusMessage& message) {
  QVariantList arguments = message.arguments();
  if (arguments.size() != 3 || arguments[0].toString() != kGroup || arguments[1].toString() != kKey) return;
  scheme_ = schemeOf(arguments[2]);
  update();
}

void PanelAppearance::update() {
  Clues clues{seen_,
              currentDesktops(),
              scheme_,
              xfce_ ? xfce_->tone() : PanelTone::unknown,
              kde_ ? kde_->tone() : PanelTone::unknown,
              themePalette()};
  PanelTone tone = toneOf(clues);
  if (tone == tone_) return;
  tone_ = tone;
  emit changed();
}

void PanelAppearance::settleWhenAnswered() {
  if (portalAnswered_ && (!xfce_ || xfce_->hasAnswered())) settle();
}

void PanelAppearance::settle() {
  patience_->stop();
  if (std::exchange(settled_, true)) return;
  emit settled();
}

}  // namespace ovel

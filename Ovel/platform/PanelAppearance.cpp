#include "platform/PanelAppearance.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

namespace ovel {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

// Read answers a variant inside a variant; a change signal carries one.
std::optional<uint> schemeOf(QVariant value) {
  while (value.metaType() == QMetaType::fromType<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
  bool ok = false;
  uint scheme = value.toUInt(&ok);
  return ok ? std::optional<uint>(scheme) : std::nullopt;
}

QString currentDesktops() { return qEnvironmentVariable("XDG_CURRENT_DESKTOP"); }

}  // namespace

PanelAppearance::PanelAppearance(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
  if (qApp) qApp->installEventFilter(this);
  update();
  if (!bus_.isConnected()) return;
  // QtDBus hands a signal's variant argument to no typed slot: the message it is.
  bus_.connect(kPortal, kPortalPath, kSettings, QStringLiteral("SettingChanged"), this,
               SLOT(settingChanged(QDBusMessage)));
  auto call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kSettings, QStringLiteral("Read"));
  call << kGroup << kKey;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    QDBusPendingReply<QDBusVariant> reply = *finished;
    finished->deleteLater();
    if (reply.isError()) return;
    scheme_ = schemeOf(QVariant::fromValue(reply.value()));
    update();
  });
}

void PanelAppearance::setSeenPanel(std::optional<QColor> panel) {
  seen_ = panel;
  update();
}

bool PanelAppearance::isDark(std::optional<QColor> seen, const QString& desktops, std::optional<uint> scheme,
                             const QColor& window) {
  if (seen) return seen->lightness() < 128;
  for (const QString& desktop : desktops.split(QLatin1Char(':')))
    if (desktop.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0) return true;
  if (scheme == static_cast<uint>(ColorScheme::preferDark)) return true;
  if (scheme == static_cast<uint>(ColorScheme::preferLight)) return false;
  return window.lightness() < 128;
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
  bool dark = isDark(seen_, currentDesktops(), scheme_, QGuiApplication::palette().color(QPalette::Window));
  if (dark == dark_) return;
  dark_ = dark;
  emit changed();
}

}  // namespace ovel

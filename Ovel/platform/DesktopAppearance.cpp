#include "platform/DesktopAppearance.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QStyle>

#include "model/Log.h"
#include "platform/XfconfChannel.h"

namespace ovel {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
const QString kThemeName = QStringLiteral("/Net/ThemeName");

// Read answers a variant inside a variant; a change signal carries one.
std::optional<uint> schemeOf(const QVariant& value) {
  bool ok = false;
  uint scheme = withoutDBusVariants(value).toUInt(&ok);
  return ok ? std::optional<uint>(scheme) : std::nullopt;
}

// The application's palette as offerPalette() left it, and whether it is
// being given right now (the change it makes is ours, not a theme's).
std::optional<QPalette>& givenPalette() {
  static std::optional<QPalette> palette;
  return palette;
}
bool giving = false;

}  // namespace

QString currentDesktops() { return qEnvironmentVariable("XDG_CURRENT_DESKTOP"); }

bool isDesktop(const QString& desktops, const char* name) {
  for (const QString& desktop : desktops.split(QLatin1Char(':')))
    if (desktop.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
  return false;
}

std::optional<Appearance> DesktopAppearance::appearanceOf(const Clues& clues) {
  if (clues.scheme == static_cast<uint>(ColorScheme::preferDark)) return Appearance::dark;
  if (clues.scheme == static_cast<uint>(ColorScheme::preferLight)) return Appearance::light;
  if (!clues.themeName.trimmed().isEmpty()) return appearanceOfTheme(clues.themeName);
  if (clues.platformPalette && clues.platformPalette->isValid())
    return clues.platformPalette->lightnessF() < 0.5 ? Appearance::dark : Appearance::light;
  return std::nullopt;
}

Appearance DesktopAppearance::appearanceOfTheme(const QString& name) {
  // "Adwaita-dark", "Arc-Dark", "Mint-Y-Dark-Aqua", "Breeze-Dark"; GTK's
  // own high-contrast dark theme alone says it otherwise.
  return name.contains(QLatin1String("dark"), Qt::CaseInsensitive) ||
                 name.contains(QLatin1String("inverse"), Qt::CaseInsensitive)
             ? Appearance::dark
             : Appearance::light;
}

std::shared_ptr<DesktopAppearance> DesktopAppearance::shared() {
  static std::weak_ptr<DesktopAppearance> current;
  std::shared_ptr<DesktopAppearance> appearance = current.lock();
  if (!appearance) current = appearance = std::make_shared<DesktopAppearance>();
  return appearance;
}

DesktopAppearance::DesktopAppearance(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
  if (qApp) qApp->installEventFilter(this);
  // XFCE's settings only on XFCE: xfconfd starts with any of XFCE's
  // programs and may keep the theme of an earlier XFCE session.
  if (isDesktop(currentDesktops(), "XFCE")) {
    xsettings_ = std::make_unique<XfconfChannel>(QStringLiteral("xsettings"), bus_);
    connect(xsettings_.get(), &XfconfChannel::changed, this, [this] {
      update();
      settleWhenAnswered();
    });
  }
  if (bus_.isConnected() && bus_.interface()) {
    auto* watch = new QDBusServiceWatcher(kPortal, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watch, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) { portalChanged(!owner.isEmpty()); });
    // QtDBus hands a signal's variant argument to no typed slot: the message it is.
    bus_.connect(kPortal, kPortalPath, kSettings, QStringLiteral("SettingChanged"), this,
                 SLOT(settingChanged(QDBusMessage)));
    readPortal(true);
  } else {
    portalAnswered_ = true;
  }
  update();
  settleWhenAnswered();
}

DesktopAppearance::~DesktopAppearance() = default;

bool DesktopAppearance::isSettled() const { return settled_; }

void DesktopAppearance::portalChanged(bool running) {
  if (running) return readPortal();
  // A portal that has gone tells nothing; one that comes later is read then.
  pending_.reset();
  portalAnswered_ = true;
  scheme_.reset();
  update();
  settleWhenAnswered();
}

void DesktopAppearance::readPortal(bool startIt) {
  auto call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kSettings, QStringLiteral("Read"));
  call << kGroup << kKey;
  call.setAutoStartService(startIt);
  pending_ = std::make_unique<QObject>();
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), pending_.get());
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    QDBusPendingReply<QDBusVariant> reply = *finished;
    portalAnswered_ = true;
    if (reply.isError()) qCDebug(logDesktop).noquote() << "portal colour scheme:" << reply.error().message();
    else scheme_ = schemeOf(QVariant::fromValue(reply.value()));
    update();
    settleWhenAnswered();
  });
}

void DesktopAppearance::settingChanged(const QDBusMessage& message) {
  QVariantList arguments = message.arguments();
  if (arguments.size() != 3 || arguments[0].toString() != kGroup || arguments[1].toString() != kKey) return;
  scheme_ = schemeOf(arguments[2]);
  update();
}

bool DesktopAppearance::eventFilter(QObject* watched, QEvent* event) {
  if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) update();
  return QObject::eventFilter(watched, event);
}

void DesktopAppearance::update() {
  QString theme = xsettings_ ? XfconfChannel::valueOf(xsettings_->properties(), kThemeName).toString() : QString();
  std::optional<QColor> palette;
  if (auto platform = platformPalette()) palette = platform->color(QPalette::Window);
  std::optional<Appearance> appearance = appearanceOf({scheme_, theme, palette});
  if (appearance == appearance_) return;
  appearance_ = appearance;
  emit changed();
}

void DesktopAppearance::settleWhenAnswered() {
  if (settled_ || !portalAnswered_ || (xsettings_ && !xsettings_->hasAnswered())) return;
  settled_ = true;
  emit settled();
}

std::optional<QPalette> DesktopAppearance::platformPalette() {
  // Without widgets there is no style to tell a theme's palette from.
  if (giving || !qobject_cast<QApplication*>(QCoreApplication::instance()) || !QApplication::style())
    return std::nullopt;
  QPalette palette = QGuiApplication::palette();
  if (palette == QApplication::style()->standardPalette()) return std::nullopt;
  if (givenPalette() && palette == *givenPalette()) return std::nullopt;
  return palette;
}

bool DesktopAppearance::offerPalette(const QPalette& palette) {
  if (platformPalette()) return false;
  giving = true;
  QApplication::setPalette(palette);
  giving = false;
  // As the application resolved it: what platformPalette() compares with.
  givenPalette() = QGuiApplication::palette();
  return true;
}

}  // namespace ovel

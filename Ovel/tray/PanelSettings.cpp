#include "tray/PanelSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include "core/support/FileIO.h"
#include "model/Log.h"
#include "platform/XfconfChannel.h"

namespace ovel {
namespace {

constexpr double kOpaqueEnough = 0.5;
// Far above any real kdeglobals or plasmarc.
constexpr std::uint64_t kSettingsFileLimit = 1 << 20;
// Settings change in bursts (a dialog writes several keys): read once after.
constexpr std::chrono::milliseconds kRereadDelay(100);

const QString kPanelChannel = QStringLiteral("xfce4-panel");

std::optional<QColor> colorOfComponents(const QStringList& components) {
  if (components.size() < 3) return std::nullopt;
  int rgba[4] = {0, 0, 0, 255};
  for (qsizetype i = 0; i < std::min<qsizetype>(components.size(), 4); ++i) {
    bool ok = false;
    rgba[i] = components[i].trimmed().toInt(&ok);
    if (!ok || rgba[i] < 0 || rgba[i] > 255) return std::nullopt;
  }
  return QColor(rgba[0], rgba[1], rgba[2], rgba[3]);
}

QString firstValue(const QStringList& texts, const QString& group, const QString& key) {
  for (const QString& text : texts)
    if (QString value = KdePanelSettings::iniValue(text, group, key); !value.isEmpty()) return value;
  return {};
}

}  // namespace

PanelTone toneOfColor(const QColor& color) {
  if (!color.isValid() || color.alphaF() < kOpaqueEnough) return PanelTone::unknown;
  return color.lightness() < 128 ? PanelTone::dark : PanelTone::light;
}

// --- XFCE

XfcePanelSettings::XfcePanelSettings(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), channel_(new XfconfChannel(kPanelChannel, bus, this)) {
  connect(channel_, &XfconfChannel::changed, this, &XfcePanelSettings::read);
  if (channel_->hasAnswered()) read();
}

bool XfcePanelSettings::hasAnswered() const { return answered_; }

void XfcePanelSettings::read() {
  bool first = !std::exchange(answered_, true);
  PanelTone tone = toneOf(channel_->properties());
  if (tone == tone_ && !first) return;
  tone_ = tone;
  emit changed();
}

PanelTone XfcePanelSettings::toneOf(const QVariantMap& properties) {
  auto value = [&](const QString& path) { return XfconfChannel::valueOf(properties, path); };
  auto listOf = [](const QVariant& list) { return XfconfChannel::listOf(list); };
  // The panel that holds the tray: XFCE's systray plugin shows both kinds
  // of item; older panels had a plugin of their own for the newer kind.
  QString trayPanel;
  for (const QVariant& panel : listOf(properties.value(QStringLiteral("/panels")))) {
    QString prefix = QStringLiteral("/panels/panel-%1/").arg(panel.toInt());
    for (const QVariant& plugin : listOf(properties.value(prefix + QStringLiteral("plugin-ids")))) {
      QString name = value(QStringLiteral("/plugins/plugin-%1").arg(plugin.toInt())).toString();
      if (name == QLatin1String("systray") || name == QLatin1String("statusnotifier")) trayPanel = prefix;
    }
    if (!trayPanel.isEmpty()) break;
  }
  if (trayPanel.isEmpty()) return PanelTone::unknown;
  // Background styles: 0 the theme's, 1 a solid colour, 2 a picture.
  uint style = value(trayPanel + QStringLiteral("background-style")).toUInt();
  if (style == 1) {
    QVariantList rgba = listOf(properties.value(trayPanel + QStringLiteral("background-rgba")));
    if (rgba.size() != 4) return PanelTone::unknown;
    return toneOfColor(QColor::fromRgbF(rgba[0].toFloat(), rgba[1].toFloat(), rgba[2].toFloat(), rgba[3].toFloat()));
  }
  // Dark mode asks the theme for its dark variant, for every panel.
  if (style == 0 && value(QStringLiteral("/panels/dark-mode")).toBool()) return PanelTone::dark;
  return PanelTone::unknown;
}

// --- KDE

KdePanelSettings::KdePanelSettings(QStringList folders, QObject* parent)
    : QObject(parent), folders_(std::move(folders)), watcher_(new QFileSystemWatcher(this)), reread_(new QTimer(this)) {
  reread_->setSingleShot(true);
  reread_->setInterval(kRereadDelay);
  connect(reread_, &QTimer::timeout, this, &KdePanelSettings::read);
  // Settings are saved by renaming a new file over the old one: the folder
  // sees that, the file's own watch does not survive it.
  auto soon = [this] { reread_->start(); };
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, soon);
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, soon);
  read();
}

void KdePanelSettings::read() {
  auto texts = [&](const QString& name) {
    QStringList result;
    for (const QString& folder : folders_) {
      QString path = QDir(folder).filePath(name);
      // Regular files of a sane size only: nothing here may wait on a pipe.
      std::string bytes;
      if (std::error_code error = readWholeFile(path.toStdString(), bytes, kSettingsFileLimit)) {
        if (error != std::errc::no_such_file_or_directory)
          qCDebug(logTray).noquote() << "couldn't read" << path << ":" << QString::fromStdString(error.message());
        continue;
      }
      result << QString::fromStdString(bytes);
      if (!watcher_->files().contains(path)) watcher_->addPath(path);
    }
    return result;
  };
  for (const QString& folder : folders_)
    if (QFileInfo(folder).isDir() && !watcher_->directories().contains(folder)) watcher_->addPath(folder);
  PanelTone tone = toneOf(texts(QStringLiteral("plasmarc")), texts(QStringLiteral("kdeglobals")));
  if (tone == tone_) return;
  tone_ = tone;
  emit changed();
}

PanelTone KdePanelSettings::toneOf(const QStringList& plasmarc, const QStringList& kdeglobals) {
  QString theme = firstValue(plasmarc, QStringLiteral("Theme"), QStringLiteral("name"));
  if (theme.contains(QLatin1String("dark"), Qt::CaseInsensitive)) return PanelTone::dark;
  if (theme.contains(QLatin1String("light"), Qt::CaseInsensitive)) return PanelTone::light;
  QString window = firstValue(kdeglobals, QStringLiteral("Colors:Window"), QStringLiteral("BackgroundNormal"));
  auto color = colorOfComponents(window.split(QLatin1Char(',')));
  return color ? toneOfColor(*color) : PanelTone::unknown;
}

QString KdePanelSettings::iniValue(const QString& text, const QString& group, const QString& key) {
  bool inGroup = false;
  for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
    line = line.trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      inGroup = line == QString(QLatin1Char('[') + group + QLatin1Char(']'));
      continue;
    }
    qsizetype equals = line.indexOf(QLatin1Char('='));
    if (!inGroup || equals < 0) continue;
    // A key may carry flags in brackets ("name[$e]"); one for a locale
    // ("Name[de]") is another key.
    QStringView name = line.left(equals).trimmed();
    if (qsizetype bracket = name.indexOf(QLatin1Char('[')); bracket >= 0) {
      if (!name.mid(bracket + 1).startsWith(QLatin1Char('$'))) continue;
      name = name.left(bracket);
    }
    if (name == key) return line.mid(equals + 1).trimmed().toString();
  }
  return {};
}

}  // namespace ovel

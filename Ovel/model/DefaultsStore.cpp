#include "model/DefaultsStore.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <charconv>
#include <filesystem>
#include <string>
#include <system_error>

#include "model/Log.h"

namespace ovel {
namespace {

bool isNumber(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return true;
    default: return false;
  }
}

std::optional<double> parseDouble(const QString& text) {
  std::string bytes = text.trimmed().toStdString();
  double value = 0;
  auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
  if (error != std::errc() || end != bytes.data() + bytes.size() || bytes.empty()) return std::nullopt;
  return value;
}

}  // namespace

void DefaultsStore::registerDefaults(const QVariantMap& defaults) {
  for (auto it = defaults.begin(); it != defaults.end(); ++it) registered_.insert(it.key(), it.value());
}

QVariant DefaultsStore::object(const QString& key) const {
  QVariant stored = storedValue(key);
  return stored.isValid() ? stored : registered_.value(key);
}

bool DefaultsStore::boolValue(const QString& key) const {
  QVariant value = object(key);
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (isNumber(value)) return value.toDouble() != 0;
  if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
    QString text = value.toString().trimmed().toLower();
    if (text == "true" || text == "yes") return true;
    if (auto number = parseDouble(text)) return *number != 0;
  }
  return false;
}

double DefaultsStore::doubleValue(const QString& key) const {
  QVariant value = object(key);
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? 1 : 0;
  if (isNumber(value)) return value.toDouble();
  if (value.typeId() == QMetaType::QString) return parseDouble(value.toString()).value_or(0);
  return 0;
}

std::optional<QString> DefaultsStore::stringValue(const QString& key) const {
  QVariant value = object(key);
  if (!value.isValid() || value.typeId() == QMetaType::QByteArray) return std::nullopt;
  if (value.typeId() == QMetaType::QString) return value.toString();
  if (value.canConvert<QString>()) return value.toString();
  return std::nullopt;
}

std::optional<QByteArray> DefaultsStore::dataValue(const QString& key) const {
  QVariant value = object(key);
  if (value.typeId() != QMetaType::QByteArray) return std::nullopt;
  return value.toByteArray();
}

namespace {

// Far above what a few dozen keys and window places take.
constexpr std::uintmax_t kSettingsFileLimit = 4 * 1024 * 1024;

// Why the settings file cannot be read safely, if it cannot; a missing one is fine.
std::optional<QString> unusableBecause(const std::filesystem::path& file) {
  std::error_code error;
  auto status = std::filesystem::status(file, error);
  if (error || !std::filesystem::exists(status)) return std::nullopt;
  if (!std::filesystem::is_regular_file(status)) return QStringLiteral("it is not a regular file");
  auto size = std::filesystem::file_size(file, error);
  if (!error && size > kSettingsFileLimit) return QStringLiteral("it is larger than %1 bytes").arg(kSettingsFileLimit);
  return std::nullopt;
}

// Where the settings of a run that leaves the user's file alone are saved.
// Qt locks, writes and renames beside the file it is given (an empty name is
// the working folder, where it would take an old ".lock" of someone else's
// for a stale one of its own and delete it), so the file lies in a private
// folder of ours, one for the whole run: the defaults and the window places
// share it as they share the user's file. Without a temporary folder, a
// path below a file: Qt can make no folder there and writes nothing at all.
QString scratchSettingsFile() {
  static const QString file = [] {
    static QTemporaryDir folder;
    if (folder.isValid()) return folder.filePath(QStringLiteral("Ovel.conf"));
    qCWarning(logApp).noquote() << "no temporary folder for the settings of this run:" << folder.errorString();
    return QStringLiteral("/dev/null/Ovel.conf");
  }();
  return file;
}

}  // namespace

std::unique_ptr<QSettings> openUserSettings() {
  QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 QStringLiteral("/Ovel/Ovel.conf");
  if (auto reason = unusableBecause(file.toStdString())) {
    qCWarning(logApp).noquote() << "settings are kept in memory for this run:" << file << "is left alone because"
                                << *reason;
    return std::make_unique<QSettings>(scratchSettingsFile(), QSettings::IniFormat);
  }
  return std::make_unique<QSettings>(QStringLiteral("Ovel"), QStringLiteral("Ovel"));
}

SettingsDefaultsStore::SettingsDefaultsStore() : SettingsDefaultsStore(openUserSettings()) {}

SettingsDefaultsStore::SettingsDefaultsStore(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}

void SettingsDefaultsStore::setValue(const QString& key, const QVariant& value) {
  settings_->setValue(key, value);
  settings_->sync();
}

QVariant SettingsDefaultsStore::storedValue(const QString& key) const { return settings_->value(key); }

void MemoryDefaultsStore::setValue(const QString& key, const QVariant& value) {
  values_.insert(key, value);
  ++writes_;
}

}  // namespace ovel

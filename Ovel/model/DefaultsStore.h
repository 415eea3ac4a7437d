// The user-defaults store behind Preferences: registered defaults that are
// never written, stored values that win over them, and typed reads with
// fixed conversions (a hand-edited value must not read as something odd).
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace ovel {

class DefaultsStore {
 public:
  virtual ~DefaultsStore() = default;

  void registerDefaults(const QVariantMap& defaults);

  // The stored value, else the registered default; invalid when neither.
  QVariant object(const QString& key) const;
  virtual void setValue(const QString& key, const QVariant& value) = 0;

  // Booleans, non-zero numbers and "true"/"yes"/"1" (any case) are true.
  bool boolValue(const QString& key) const;
  // Numbers, and texts that are a whole number in C notation; else 0.
  double doubleValue(const QString& key) const;
  std::optional<QString> stringValue(const QString& key) const;
  // Only a value stored as bytes; a text is not data.
  std::optional<QByteArray> dataValue(const QString& key) const;

 protected:
  virtual QVariant storedValue(const QString& key) const = 0;

 private:
  QVariantMap registered_;
};

// The user's settings file of the organisation and application "Ovel"
// ($XDG_CONFIG_HOME/Ovel/Ovel.conf). Qt reads it whole and would wait for
// ever on a FIFO: when it is anything but a regular file of a sane size, it
// is left alone and the settings live for this run only (said in the log),
// in a file of a private temporary folder that every call of the run shares.
std::unique_ptr<QSettings> openUserSettings();

// The application's store: the user's settings file, synced after every write.
class SettingsDefaultsStore final : public DefaultsStore {
 public:
  SettingsDefaultsStore();
  explicit SettingsDefaultsStore(std::unique_ptr<QSettings> settings);
  void setValue(const QString& key, const QVariant& value) override;

 protected:
  QVariant storedValue(const QString& key) const override;

 private:
  std::unique_ptr<QSettings> settings_;
};

// An in-memory store for demos and tests; counts its writes.
class MemoryDefaultsStore final : public DefaultsStore {
 public:
  void setValue(const QString& key, const QVariant& value) override;
  int writeCount() const { return writes_; }

 protected:
  QVariant storedValue(const QString& key) const override { return values_.value(key); }

 private:
  QVariantMap values_;
  int writes_ = 0;
};

}  // namespace ovel

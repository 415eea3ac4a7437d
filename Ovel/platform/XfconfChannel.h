// One channel of XFCE's settings daemon, xfconfd, over the session bus: its
// properties, read while xfconfd runs there (it is never started for the
// reading) and read again after every change.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

class QTimer;

namespace ovel {

// A value as it came over the bus, out of every variant it was wrapped in
// (a property's Get answers a variant inside a variant).
QVariant withoutDBusVariants(QVariant value);

class XfconfChannel final : public QObject {
  Q_OBJECT

 public:
  XfconfChannel(QString channel, const QDBusConnection& bus, QObject* parent = nullptr);
  ~XfconfChannel() override;

  // Property path to value, as xfconfd gives them; empty while it does not
  // run, or when the channel has no properties.
  const QVariantMap& properties() const { return properties_; }
  // False until the first answer, or until it is clear none will come.
  bool hasAnswered() const { return answered_; }

  // One property's value, out of its variants.
  static QVariant valueOf(const QVariantMap& properties, const QString& property);
  // An array property as a list of plain values (xfconf's arrays arrive as
  // lists of variants, or still marshalled).
  static QVariantList listOf(const QVariant& value);

 signals:
  // After every answer, the first included, and when xfconfd goes.
  void changed();

 private slots:
  void propertyChanged(const QDBusMessage& message);

 private:
  void serviceChanged(bool running);
  void read();
  void take(QVariantMap properties);

  QString channel_;
  QDBusConnection bus_;
  QTimer* reread_;
  QVariantMap properties_;
  bool answered_ = false;
  // Owns the pending reply.
  std::unique_ptr<QObject> pending_;
};

}  // namespace ovel

#include "platform/NotificationCenter.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <set>

#include "model/Log.h"

namespace ovel {

// The "image-data" hint, (iiibiiay): width, height, row stride, alpha,
// bits per sample, channels, then the RGBA bytes.
struct NoticeImage {
  QImage rgba;
};
QDBusArgument& operator<<(QDBusArgument& argument, const NoticeImage& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, NoticeImage& image);

}  // namespace ovel

Q_DECLARE_METATYPE(ovel::NoticeImage)

namespace ovel {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The action a click on the notice invokes; its label is seldom shown.
const QString kDefaultAction = QStringLiteral("default");

QString escapeMarkup(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (QChar c : text) {
    if (c == u'&') escaped += QStringLiteral("&amp;");
    else if (c == u'<') escaped += QStringLiteral("&lt;");
    else if (c == u'>') escaped += QStringLiteral("&gt;");
    else escaped += c;
  }
  return escaped;
}

QVariant imageData(const QImage& icon) {
  if (icon.isNull()) return {};
  static const bool registered = [] {
    qDBusRegisterMetaType<NoticeImage>();
    return true;
  }();
  (void)registered;
  return QVariant::fromValue(NoticeImage{icon.convertToFormat(QImage::Format_RGBA8888)});
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const NoticeImage& image) {
  const QImage& rgba = image.rgba;
  argument.beginStructure();
  argument << rgba.width() << rgba.height() << static_cast<int>(rgba.bytesPerLine()) << true << 8 << 4
           << QByteArray(reinterpret_cast<const char*>(rgba.constBits()), rgba.sizeInBytes());
  argument.endStructure();
  return argument;
}

// Only ever sent; read back as nothing.
const QDBusArgument& operator>>(const QDBusArgument& argument, NoticeImage&) { return argument; }

// The server's word of a click on a notice, or of its closing, for every
// notice it shows: only ours count, while the server that showed them runs.
class FreedesktopNotificationCenter::Clicks final : public QObject {
  Q_OBJECT

 public:
  // Heard until it goes: the bus forgets a receiver that is destroyed.
  explicit Clicks(QDBusConnection bus) : bus_(std::move(bus)) {
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(closed(uint, uint)));
  }

  void shown(uint notice) { shown_.insert(notice); }
  void forget() { shown_.clear(); }
  std::function<void()> open;

 private slots:
  void actionInvoked(uint notice, const QString& action) {
    if (action != kDefaultAction || !shown_.count(notice)) return;
    // Servers close a notice once it is clicked; one that keeps it opens once.
    shown_.erase(notice);
    if (open) open();
  }
  void closed(uint notice, uint) { shown_.erase(notice); }

 private:
  QDBusConnection bus_;
  std::set<uint> shown_;
};

std::unique_ptr<NotificationCenter> FreedesktopNotificationCenter::create(const QDBusConnection& bus,
                                                                          const QString& desktopEntry,
                                                                          const QImage& icon) {
  if (!bus.isConnected()) return nullptr;
  return std::make_unique<FreedesktopNotificationCenter>(bus, desktopEntry, icon);
}

FreedesktopNotificationCenter::FreedesktopNotificationCenter(const QDBusConnection& bus, const QString& desktopEntry,
                                                             const QImage& icon)
    : bus_(bus), desktopEntry_(desktopEntry), image_(imageData(icon)), clicks_(std::make_unique<Clicks>(bus)) {}

FreedesktopNotificationCenter::~FreedesktopNotificationCenter() = default;

void FreedesktopNotificationCenter::setOpenAction(std::function<void()> open) { clicks_->open = std::move(open); }

void FreedesktopNotificationCenter::requestAuthorization(std::function<void(bool granted)> answer) {
  answer_ = std::move(answer);
  if (!watcher_) {
    watcher_ = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, &context_);
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, &context_,
                     [this](const QString&, const QString&, const QString& newOwner) { serverChanged(newOwner); });
  }
  ask();
}

void FreedesktopNotificationCenter::ask() {
  auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), &context_);
  // The watcher lives in the GUI thread, so its signal (and the answer) runs there.
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                   [this, question = ++question_](QDBusPendingCallWatcher* finished) {
                     QDBusPendingReply<QStringList> reply = *finished;
                     finished->deleteLater();
                     if (question != question_) return;
                     bool granted = !reply.isError();
                     if (!granted)
                       qCWarning(logNotify).noquote() << "no notification server:" << reply.error().message();
                     if (granted) bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
                     if (answer_) answer_(granted);
                   });
}

void FreedesktopNotificationCenter::serverChanged(const QString& newOwner) {
  bodyMarkup_.reset();
  // A new server numbers its notices anew.
  clicks_->forget();
  if (!newOwner.isEmpty()) {
    ask();
    return;
  }
  ++question_;  // a reply still on its way speaks of the server that left
  if (answer_) answer_(false);
}

void FreedesktopNotificationCenter::add(const QString& id, const QString& title, const QString& body) {
  Q_UNUSED(id);  // the server numbers notices itself; replaces_id 0 always asks for a new one
  QVariantMap hints{
      {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
      {QStringLiteral("desktop-entry"), desktopEntry_},
  };
  if (image_.isValid()) hints.insert(QStringLiteral("image-data"), image_);
  auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  // The installed icon bears the desktop entry's name.
  call << QStringLiteral("Ovel") << 0u << desktopEntry_ << title
       << (bodyMarkup_.value_or(true) ? escapeMarkup(body) : body)
       << QStringList{kDefaultAction, QStringLiteral("Open Ovel")} << hints << -1;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), &context_);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                   [this, question = question_](QDBusPendingCallWatcher* finished) {
                     QDBusPendingReply<uint> reply = *finished;
                     finished->deleteLater();
                     if (reply.isError())
                       qCWarning(logNotify).noquote() << "a notification was not shown:" << reply.error().message();
                     // Numbered by the server that answered the last question.
                     else if (question == question_) clicks_->shown(reply.value());
                   });
}

}  // namespace ovel

#include "NotificationCenter.moc"

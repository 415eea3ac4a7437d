// Tells when an XEmbed tray (the system tray of X11 panels such as tint2)
// starts, or starts again: a new tray manager announces itself to every
// client with a MANAGER message on the root window; when it has embedded one
// of our icons; and whether one runs. Silent off X11.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <vector>

namespace ovel {

class XEmbedTrayWatch final : public QObject, public QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  explicit XEmbedTrayWatch(QObject* parent = nullptr);
  ~XEmbedTrayWatch() override;

  // Whether a tray manager holds the tray selection of a screen. Asked of
  // the X server itself: Qt's own answer may come from a StatusNotifierWatcher
  // instead, and waits on a blocking call to it.
  bool trayRuns() const;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 signals:
  void trayStarted();
  // A tray took one of our icons into its panel: Qt shows the icon only
  // from now on.
  void iconEmbedded();

 private:
  std::uint32_t manager_ = 0;
  std::uint32_t xembed_ = 0;
  // The tray selection of each screen.
  std::vector<std::uint32_t> selections_;
};

}  // namespace ovel

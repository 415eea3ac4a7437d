// Whether the panel that holds the tray is dark. Linux trays do not recolour
// an icon to their panel, so the icons are painted for it: the panel's own
// colour where it could be seen (an XEmbed tray shows it around the icon),
// else the desktop's light or dark preference where it can be read (the
// portal's org.freedesktop.appearance color-scheme), else the palette of the
// platform theme. GNOME's top bar is dark whatever the preference.
#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <optional>

namespace ovel {

class PanelAppearance final : public QObject {
  Q_OBJECT

 public:
  // The portal's color-scheme values.
  enum class ColorScheme : uint { noPreference = 0, preferDark = 1, preferLight = 2 };

  explicit PanelAppearance(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

  bool isDark() const { return dark_; }
  // The colour seen around the tray's icons; absent when none was seen.
  void setSeenPanel(std::optional<QColor> panel);

  // The rule: `seen` the panel's colour where it was seen, `desktops`
  // XDG_CURRENT_DESKTOP (names joined by ":"), `scheme` the portal's value
  // when it answered, `window` the palette's window colour.
  static bool isDark(std::optional<QColor> seen, const QString& desktops, std::optional<uint> scheme,
                     const QColor& window);

 signals:
  void changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void settingChanged(const QDBusMessage& message);

 private:
  void update();

  QDBusConnection bus_;
  std::optional<uint> scheme_;
  std::optional<QColor> seen_;
  bool dark_ = false;
};

}  // namespace ovel

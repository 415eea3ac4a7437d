// The panel's own colours where a desktop keeps them in settings of its
// own: XFCE's panel in its xfconf channel, KDE Plasma's in its theme and
// colour scheme. Each reader follows its settings as they change.
#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "tray/PanelTone.h"

class QFileSystemWatcher;
class QTimer;

namespace ovel {

class XfconfChannel;

// The tone a panel of `color` has; unknown when it is mostly see-through.
PanelTone toneOfColor(const QColor& color);

// XFCE's panel, from its xfconf channel while xfconfd runs.
class XfcePanelSettings final : public QObject {
  Q_OBJECT

 public:
  explicit XfcePanelSettings(const QDBusConnection& bus, QObject* parent = nullptr);

  PanelTone tone() const { return tone_; }
  // False until the first answer, or until it is clear none will come.
  bool hasAnswered() const;

  // The rule, from the properties of the channel "xfce4-panel" as xfconfd
  // gives them (property path to value): the panel that holds the tray, by
  // its solid background colour, else the panels' dark mode.
  static PanelTone toneOf(const QVariantMap& properties);

 signals:
  // When the tone changes, and at the first answer.
  void changed();

 private:
  void read();

  XfconfChannel* channel_;
  PanelTone tone_ = PanelTone::unknown;
  bool answered_ = false;
};

// KDE Plasma's panel, read from plasmarc (the Plasma theme) and kdeglobals
// (the colour scheme, which the Breeze theme draws its panels in), the
// user's files over the system's.
class KdePanelSettings final : public QObject {
  Q_OBJECT

 public:
  // `folders` are the configuration folders, the user's first.
  explicit KdePanelSettings(QStringList folders, QObject* parent = nullptr);

  PanelTone tone() const { return tone_; }

  // The rule, from the texts of plasmarc and kdeglobals, each file's texts
  // with the user's first: a dark or light Plasma theme by its name, else
  // the colour scheme's window background.
  static PanelTone toneOf(const QStringList& plasmarc, const QStringList& kdeglobals);
  // The value of `key` in `[group]` of an INI text; empty when absent.
  static QString iniValue(const QString& text, const QString& group, const QString& key);

 signals:
  void changed();

 private:
  void read();

  QStringList folders_;
  QFileSystemWatcher* watcher_;
  QTimer* reread_;
  PanelTone tone_ = PanelTone::unknown;
};

}  // namespace ovel

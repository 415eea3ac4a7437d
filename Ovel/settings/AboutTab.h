// The settings window's third tab: the icon, name and version, the privacy
// statement and the disclaimer.
#pragma once

#include <QString>
#include <QWidget>

namespace ovel {

class AboutTab final : public QWidget {
 public:
  explicit AboutTab(QWidget* parent = nullptr);

  // "Version 0.1.0", or "Version Dev" without a version.
  static QString versionText(const QString& version);

  static constexpr int kIconSide = 72;
};

}  // namespace ovel

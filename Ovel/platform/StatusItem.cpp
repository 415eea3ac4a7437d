#include "platform/StatusItem.h"

#include <QMenu>
#include <QPixmap>

namespace ovel {

TrayStatusItem::TrayStatusItem(QObject* parent) : StatusItem(parent), menu_(std::make_unique<QMenu>()) {
  icon_.setContextMenu(menu_.get());
  // A double click also sends a Trigger first; taking both would toggle twice.
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) emit activated();
  });
}

TrayStatusItem::~TrayStatusItem() = default;

bool TrayStatusItem::hasButton() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayStatusItem::setImage(const QImage& image) {
  icon_.setIcon(QIcon(QPixmap::fromImage(image)));
  // Shown only once it has an image: an empty icon would dock as a blank.
  icon_.show();
}

void TrayStatusItem::setToolTip(const QString& text) { icon_.setToolTip(text); }

void TrayStatusItem::setMenuActions(std::vector<MenuAction> actions) {
  menu_->clear();
  for (auto& action : actions) {
    if (action.text.isEmpty()) menu_->addSeparator();
    else connect(menu_->addAction(action.text), &QAction::triggered, menu_.get(), std::move(action.run));
  }
}

QRect TrayStatusItem::anchor() const { return icon_.geometry(); }

}  // namespace ovel

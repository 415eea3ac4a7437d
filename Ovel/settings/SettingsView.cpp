#include "settings/SettingsView.h"

#include <QEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/Integrations.h"
#include "settings/AboutTab.h"
#include "settings/ClaudeCodeTab.h"
#include "settings/GeneralTab.h"
#include "ui/Focus.h"
#include "ui/Symbol.h"
#include "ui/Theme.h"

namespace ovel {
namespace {

constexpr int kTabSymbol = 16;
constexpr Symbol kTabSymbols[] = {Symbol::gearshape, Symbol::terminal, Symbol::infoCircle};

QScrollArea* scrolling(QWidget* page) {
  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  // Tab goes from control to control; the page follows the focus.
  scroll->setFocusPolicy(Qt::NoFocus);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidget(page);
  keepFocusInView(scroll);
  return scroll;
}

}  // namespace

SettingsView::SettingsView(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent)
    : QWidget(parent),
      integrations_(integrations),
      tabs_(new QTabWidget),
      general_(new GeneralTab(preferences, integrations, model)),
      claudeCode_(new ClaudeCodeTab(preferences, integrations, model)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 8, 0, 8);
  tabs_->setDocumentMode(true);
  tabs_->addTab(scrolling(general_), QStringLiteral("General"));
  tabs_->addTab(scrolling(claudeCode_), QStringLiteral("Claude Code"));
  tabs_->addTab(scrolling(new AboutTab), QStringLiteral("About"));
  paintTabIcons();
  layout->addWidget(tabs_);
  setMinimumSize(480, 460);
}

void SettingsView::rebuild() {
  paintTabIcons();
  general_->refresh();
  claudeCode_->refresh();
  claudeCode_->showSearch();
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Once per appearance, so that the login item and the connection are
  // current whenever the window is shown.
  if (!event->spontaneous()) integrations_.refresh();
  if (!event->spontaneous()) focusNoControl(this);
}

void SettingsView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) paintTabIcons();
}

bool SettingsView::focusNextPrevChild(bool next) {
  return moveFocusInReadingOrder(this, next) || QWidget::focusNextPrevChild(next);
}

void SettingsView::keyPressEvent(QKeyEvent* event) {
  if (!scrollByPageKey(qobject_cast<QScrollArea*>(tabs_->currentWidget()), event)) QWidget::keyPressEvent(event);
}

void SettingsView::paintTabIcons() {
  QColor color = Theme::role(ColorRole::primary, palette());
  for (int tab = 0; tab < tabs_->count(); ++tab)
    tabs_->setTabIcon(tab, symbolIcon(kTabSymbols[tab], kTabSymbol, color));
}

}  // namespace ovel

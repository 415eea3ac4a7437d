// The three windows worked by keyboard and wheel: every control that Tab
// reaches shows that it has the focus, Tab walks the dashboard in reading
// order, a control that disables itself hands the focus on to a control
// rather than a field, and the wheel over a field or stepper without the
// focus scrolls the page.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

#include "DashboardFixture.h"
#include "dashboard/DashboardHero.h"
#include "dashboard/DashboardView.h"
#include "dashboard/LimitPanel.h"
#include "dashboard/LimitsSection.h"
#include "dashboard/ResetsCard.h"
#include "dashboard/UsageChartSection.h"
#include "model/Preferences.h"
#include "platform/PopoverHost.h"
#include "popover/PopoverView.h"
#include "settings/MenuBarItemList.h"
#include "settings/SettingsView.h"
#include "support/Children.h"
#include "ui/DateField.h"
#include "ui/Focus.h"
#include "ui/SegmentedControl.h"
#include "ui/Stepper.h"
#include "ui/SymbolView.h"

// Qt's way in for the window system's own events, the one QTest's mouse and
// key events take: Qt 6.4's QTest has no wheel. Only through it is a wheel
// event spontaneous, passed on to the parents of a widget that ignores it.
class QWindowSystemInterface {
 public:
  static bool handleWheelEvent(QWindow* window, const QPointF& local, const QPointF& global, QPoint pixelDelta,
                               QPoint angleDelta, Qt::KeyboardModifiers mods, Qt::ScrollPhase phase,
                               Qt::MouseEventSource source);
};

namespace ovel {
namespace {

using namespace test;

std::string nameOf(const QWidget* widget) {
  QString name = widget->accessibleName();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget); button && name.isEmpty()) name = button->text();
  if (name.isEmpty()) name = widget->toolTip();
  return std::string(widget->metaObject()->className()) + " \"" + name.toStdString() + "\"";
}

class KeyboardTest : public DashboardTest {
 protected:
  // Shows `window` on the offscreen screen and gives it the keyboard, as a
  // Tab press would, so that Qt's own controls draw their focus too.
  static void activate(QWidget& window, QSize size) {
    window.resize(size);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.setAttribute(Qt::WA_KeyboardFocusChange);
  }

  // Each stop drawn without and with the focus: the two must differ.
  static void expectEveryStopShowsItsFocus(QWidget& window, std::size_t atLeast) {
    std::vector<QWidget*> stops = tabStops(&window);
    EXPECT_GE(stops.size(), atLeast);
    for (QWidget* stop : stops) {
      if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
      QCoreApplication::processEvents();
      QImage without = stop->grab().toImage();
      stop->setFocus(Qt::TabFocusReason);
      QCoreApplication::processEvents();
      ASSERT_TRUE(stop->hasFocus()) << nameOf(stop);
      QImage with = stop->grab().toImage();
      EXPECT_NE(with, without) << nameOf(stop) << " looks the same with the focus";
    }
  }

  // Presses Tab (or Shift+Tab) `count` times and names the control that has
  // the focus after each press, once per control: a date field's parts
  // are one stop.
  static std::vector<QWidget*> tabThrough(QWidget& window, int count, bool forward = true) {
    std::vector<QWidget*> visited;
    for (int press = 0; press < count; ++press) {
      QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
      QTest::keyClick(target, Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
      QWidget* focused = QApplication::focusWidget();
      if (!focused) {
        visited.push_back(nullptr);
        continue;
      }
      if (visited.empty() || visited.back() != focused) visited.push_back(focused);
    }
    return visited;
  }

  // A wheel turned over the middle of `widget`, one notch down, as the
  // window system hands it in.
  static void turnWheelOver(QWidget* widget) {
    QWidget* window = widget->window();
    QPoint local = widget->mapTo(window, widget->rect().center());
    QWindowSystemInterface::handleWheelEvent(window->windowHandle(), local, window->mapToGlobal(local), QPoint(),
                                             QPoint(0, -120), Qt::NoModifier, Qt::NoScrollPhase,
                                             Qt::MouseEventNotSynthesized);
    QCoreApplication::processEvents();
  }

  // The dashboard window of `scenario` with `banked` resets kept, shown
  // and active at `size`.
  std::unique_ptr<DashboardView> openDashboard(Demo::Scenario scenario, QSize size, int banked = 0) {
    showDemo(scenario);
    if (banked) model->setBankedResets(banked);
    auto dashboard = std::make_unique<DashboardView>(
        *model, integrations, [] {}, true);
    activate(*dashboard, size);
    return dashboard;
  }

  ResetsCard& resetsCard(QWidget& dashboard) {
    ResetsCard* card = onlyChildOf<ResetsCard>(dashboard);
    EXPECT_NE(card, nullptr);
    return *card;
  }
};

TEST_F(KeyboardTest, EveryStopOfThePopoverShowsItsFocus) {
  {
    showDemo(Demo::Scenario::atRisk);
    PopoverView popover(*model, integrations, [] {});
    activate(popover, popover.sizeHint());
    // The refresh button, the breakdown's header and range, the
    // live-updates link and the three footer buttons.
    expectEveryStopShowsItsFocus(popover, 7);
  }
  build();
  probe->work.answer = ProbeOutcome::failure("claude: command not found");
  model->probe();
  PopoverView failed(*model, integrations, [] {});
  activate(failed, failed.sizeHint());
  ASSERT_FALSE(failed.setupHint()->isHidden());
  expectEveryStopShowsItsFocus(failed, 5);
}

TEST_F(KeyboardTest, EveryStopOfTheDashboardShowsItsFocus) {
  auto window = openDashboard(Demo::Scenario::plannedReset, {860, 640}, 2);
  DashboardView& dashboard = *window;
  ASSERT_EQ(dashboard.limits()->layoutShown(), LimitsLayout::mainAndCompact);
  // Refresh, two compact panels, the stepper, "Redeemed one", a trash
  // button, the date, scope, note and Add, the chart's picker, Settings.
  expectEveryStopShowsItsFocus(dashboard, 12);
}

TEST_F(KeyboardTest, EveryStopOfTheSettingsWindowShowsItsFocus) {
  Preferences& preferences = model->preferences();
  SettingsView settings(preferences, integrations, *model);
  activate(settings, SettingsView::kSize);
  for (int tab = 0; tab < settings.tabs()->count(); ++tab) {
    SCOPED_TRACE(settings.tabs()->tabText(tab).toStdString());
    settings.tabs()->setCurrentIndex(tab);
    QCoreApplication::processEvents();
    // At least the tab bar.
    expectEveryStopShowsItsFocus(settings, 1);
  }
}

TEST_F(KeyboardTest, TabWalksTheDashboardInReadingOrder) {
  auto window = openDashboard(Demo::Scenario::plannedReset, {860, 640}, 2);
  DashboardView& dashboard = *window;
  ResetsCard& card = resetsCard(dashboard);
  ASSERT_EQ(card.shownRows().size(), 1u);
  const auto& compacts = dashboard.limits()->compactPanels();
  std::vector<QWidget*> expected{dashboard.hero()->refreshButton()};
  for (CompactLimitPanel* compact : compacts)
    if (!compact->isHidden()) expected.push_back(compact);
  ASSERT_EQ(expected.size(), 3u) << "the steering window in full, two compact panels";
  QPushButton* settingsButton = nullptr;
  for (QPushButton* button : dashboard.findChildren<QPushButton*>())
    if (button->text() == QStringLiteral("Settings\u2026")) settingsButton = button;
  QWidget* rest[] = {card.stepper(),     card.redeemButton(), card.removeButton(0), card.dateEdit(),
                     card.scopePicker(), card.noteField(),    card.addButton(),     dashboard.usageChart()->picker(),
                     settingsButton};
  expected.insert(expected.end(), std::begin(rest), std::end(rest));

  auto* scroll = dashboard.findChild<QScrollArea*>();
  std::vector<QWidget*> forward = tabThrough(dashboard, 40);
  ASSERT_GE(forward.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(forward[i], expected[i]) << "stop " << i << ": " << nameOf(forward[i]) << ", not " << nameOf(expected[i]);
  EXPECT_EQ(forward[expected.size()], expected.front()) << "round again from the top";

  // Backwards from the top: the footer's button first, brought into view.
  expected.front()->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> backward = tabThrough(dashboard, 1, false);
  ASSERT_EQ(backward.size(), 1u);
  EXPECT_EQ(backward.front(), settingsButton);
  QRect shown(settingsButton->mapTo(scroll->viewport(), QPoint()), settingsButton->size());
  EXPECT_TRUE(scroll->viewport()->rect().contains(shown)) << "the page scrolls to the focused control";
  backward = tabThrough(dashboard, 30, false);
  std::vector<QWidget*> reversed(expected.rbegin() + 1, expected.rend());
  ASSERT_GE(backward.size(), reversed.size());
  for (std::size_t i = 0; i < reversed.size(); ++i) EXPECT_EQ(backward[i], reversed[i]) << "back " << i;
}

TEST_F(KeyboardTest, AWindowOpensWithNoControlFocusedAndItsPageKeysScroll) {
  auto window = openDashboard(Demo::Scenario::atRisk, {860, 520});
  DashboardView& dashboard = *window;
  EXPECT_EQ(QApplication::focusWidget(), &dashboard) << "Space presses nothing until Tab picks a control";
  QScrollBar* bar = dashboard.findChild<QScrollArea*>()->verticalScrollBar();
  QTest::keyClick(&dashboard, Qt::Key_PageDown);
  EXPECT_GT(bar->value(), 0);
  QTest::keyClick(&dashboard, Qt::Key_End);
  EXPECT_EQ(bar->value(), bar->maximum());
  QTest::keyClick(&dashboard, Qt::Key_Home);
  EXPECT_EQ(bar->value(), 0);
  QTest::keyClick(&dashboard, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dashboard.hero()->refreshButton()) << "the first control, at the top";
}

TEST_F(KeyboardTest, ThePopoverOpensWithNoControlFocusedEachTime) {
  showDemo(Demo::Scenario::atRisk);
  PopoverHost host;
  auto* popover = new PopoverView(*model, integrations, [] {});
  host.setContent(popover);
  auto focusedInside = [&] {
    QWidget* focused = QApplication::focusWidget();
    return focused && popover->isAncestorOf(focused) ? focused : nullptr;
  };
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    host.show(QRect(300, 0, 22, 22));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.window()));
    QCoreApplication::processEvents();
    EXPECT_EQ(focusedInside(), nullptr) << nameOf(focusedInside());
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : host.window(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), popover->refreshButton()) << "the first Tab: the header's button";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), popover->refreshButton());
    host.close();
    QCoreApplication::processEvents();
  }
}

TEST_F(KeyboardTest, AControlThatDisablesItselfHandsTheFocusToTheNextControlNotAField) {
  auto window = openDashboard(Demo::Scenario::atRisk, {860, 640}, 1);
  DashboardView& dashboard = *window;
  ResetsCard& card = resetsCard(dashboard);
  ASSERT_TRUE(card.shownRows().empty());
  card.redeemButton()->setFocus(Qt::TabFocusReason);
  for (QAction* action : card.redeemButton()->menu()->actions())
    if (action->text() == QStringLiteral("Both")) action->trigger();
  ASSERT_FALSE(card.redeemButton()->isEnabled()) << "the last banked reset redeemed";
  EXPECT_EQ(QApplication::focusWidget(), card.scopePicker())
      << "past the date field, which the next key would type into; now " << nameOf(QApplication::focusWidget());

  // A control that hides itself does the same: the trash of the only row.
  model->addPlannedReset(PlannedReset{Uuid::random(), addSeconds(model->now(), 3600), PlannedReset::Scope::all, {}});
  QCoreApplication::processEvents();
  card.removeButton(0)->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(card.removeButton(0)->hasFocus());
  QTest::keyClick(card.removeButton(0), Qt::Key_Space);
  EXPECT_TRUE(model->resetPlan().planned.empty());
  EXPECT_EQ(QApplication::focusWidget(), card.scopePicker()) << nameOf(QApplication::focusWidget());

  // Tab itself still stops at the field.
  card.stepper()->setFocus(Qt::TabFocusReason);
  tabThrough(dashboard, 1);
  EXPECT_EQ(QApplication::focusWidget(), card.dateEdit());
}

TEST_F(KeyboardTest, AFocusedCompactPanelShownInFullHandsTheFocusToTheWindowItReplaced) {
  auto window = openDashboard(Demo::Scenario::atRisk, {860, 640});
  DashboardView& dashboard = *window;
  LimitsSection* limits = dashboard.limits();
  ASSERT_EQ(limits->layoutShown(), LimitsLayout::mainAndCompact);
  const auto& compacts = limits->compactPanels();
  auto shownIndex = [&](std::size_t skip) {
    for (std::size_t i = 0; i < compacts.size(); ++i)
      if (!compacts[i]->isHidden() && i != skip) return i;
    return compacts.size();
  };
  std::size_t steering = 0;
  while (steering < compacts.size() && !compacts[steering]->isHidden()) ++steering;
  ASSERT_LT(steering, compacts.size()) << "the steering window is in full";
  std::size_t tapped = shownIndex(compacts.size());
  compacts[tapped]->setFocus(Qt::TabFocusReason);
  QTest::keyClick(compacts[tapped], Qt::Key_Space);
  QCoreApplication::processEvents();
  ASSERT_EQ(limits->promotion().promoted(), compacts[tapped]->assessment().window.kind);
  EXPECT_TRUE(compacts[tapped]->isHidden());
  EXPECT_EQ(QApplication::focusWidget(), compacts[steering])
      << "in the tapped panel's place: " << nameOf(QApplication::focusWidget());
}

TEST_F(KeyboardTest, TheTrayListsFocusFollowsTheItemItMoved) {
  Preferences& preferences = model->preferences();
  SettingsView settings(preferences, integrations, *model);
  activate(settings, SettingsView::kSize);
  MenuBarItemList* list = onlyChildOf<MenuBarItemList>(settings);
  ASSERT_NE(list, nullptr);
  MenuBarItem first = list->rows().front().item;
  list->rows().front().right->setFocus(Qt::TabFocusReason);
  QTest::keyClick(list->rows().front().right, Qt::Key_Space);
  QCoreApplication::processEvents();
  ASSERT_EQ(preferences.menuBarLayout()[1].item, first);
  EXPECT_EQ(QApplication::focusWidget(), list->rows()[1].right) << "on the same item's arrow, one row down";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(preferences.menuBarLayout()[2].item, first) << "Enter presses it as Space does";
}

TEST_F(KeyboardTest, AFocusedControlTheLayoutMovesStaysInView) {
  // Pressed by keyboard, each moves itself down a page that shows it near
  // its foot: Add puts a row above itself (the page grows), "Move right"
  // takes its item a row down the tray list (rebuilt under the focus).
  auto dashboard = openDashboard(Demo::Scenario::plannedReset, {720, 520}, 2);
  ResetsCard& card = resetsCard(*dashboard);
  SettingsView settings(model->preferences(), integrations, *model);
  activate(settings, {480, 460});
  MenuBarItemList* list = onlyChildOf<MenuBarItemList>(settings);
  ASSERT_NE(list, nullptr);
  MenuBarItem moved = list->rows().front().item;
  auto arrowOfMoved = [&]() -> QWidget* {
    for (const auto& row : list->rows())
      if (row.item == moved) return row.right;
    return nullptr;
  };
  struct Case {
    const char* name;
    QWidget* window;
    std::function<QWidget*()> control;
    QWidget* before;  // the stop before it, to Tab from
    int presses;
  } cases[] = {
      {"Add", dashboard.get(), [&] { return card.addButton(); }, card.noteField(), 3},
      {"Move right", &settings, arrowOfMoved, list->rows().front().box, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(c.window));
    QScrollArea* scroll = nullptr;
    for (QWidget* level = c.control(); level && !scroll; level = level->parentWidget())
      scroll = qobject_cast<QScrollArea*>(level);
    ASSERT_NE(scroll, nullptr);
    QScrollBar* bar = scroll->verticalScrollBar();
    auto onPage = [&] { return c.control()->mapTo(scroll->widget(), QPoint()); };
    auto inView = [&] {
      QWidget* control = c.control();
      QRect shown(control->mapTo(scroll->viewport(), QPoint()), control->size());
      return control->isVisible() && scroll->viewport()->rect().contains(shown);
    };
    bar->setValue(0);
    c.before->setFocus(Qt::TabFocusReason);
    tabThrough(*c.window, 1);
    ASSERT_EQ(QApplication::focusWidget(), c.control());
    ASSERT_TRUE(inView());
    for (int press = 1; press <= c.presses; ++press) {
      SCOPED_TRACE(press);
      QPoint at = onPage();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
      EXPECT_TRUE(QTest::qWaitFor([&] { return c.control()->isVisible() && onPage() != at && inView(); }))
          << "the page follows the focused control";
      ASSERT_EQ(QApplication::focusWidget(), c.control());
    }
    // Scrolled away on purpose, the page stays where the user left it.
    bar->setValue(0);
    ASSERT_FALSE(inView());
    QPoint at = onPage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.control()->isVisible() && onPage() != at; }));
    c.window->repaint();
    EXPECT_EQ(bar->value(), 0);
  }
}

TEST_F(KeyboardTest, TheWheelScrollsTheDashboardOverAFieldOrStepperWithoutTheFocus) {
  auto window = openDashboard(Demo::Scenario::atRisk, {860, 520}, 3);
  DashboardView& dashboard = *window;
  ResetsCard& card = resetsCard(dashboard);
  auto* scroll = dashboard.findChild<QScrollArea*>();
  QScrollBar* bar = scroll->verticalScrollBar();

  struct Case {
    const char* name;
    QWidget* over;  // where the pointer is
  } cases[] = {
      {"date field", card.dateEdit()},
      {"stepper's plus", card.stepper()->upButton()},
      {"scope picker", card.scopePicker()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    scroll->ensureWidgetVisible(c.over, 0, 100);
    QCoreApplication::processEvents();
    int before = bar->value();
    ASSERT_LT(before, bar->maximum());
    QDateTime date = card.dateEdit()->dateTime();
    int scope = card.scopePicker()->currentIndex();
    turnWheelOver(c.over);
    EXPECT_GT(bar->value(), before) << "the page scrolls";
    EXPECT_EQ(card.dateEdit()->dateTime(), date);
    EXPECT_EQ(model->resetPlan().banked, 3);
    EXPECT_EQ(card.scopePicker()->currentIndex(), scope);
    EXPECT_FALSE(c.over->hasFocus()) << "the wheel gives no focus";
  }

  // With the focus they take it, and the page stays.
  card.stepper()->setFocus(Qt::TabFocusReason);
  scroll->ensureWidgetVisible(card.stepper(), 0, 100);
  int before = bar->value();
  turnWheelOver(card.stepper()->upButton());
  EXPECT_EQ(model->resetPlan().banked, 2) << "a notch towards the user steps down";
  EXPECT_EQ(bar->value(), before);
  card.dateEdit()->setFocus(Qt::TabFocusReason);
  QDateTime date = card.dateEdit()->dateTime();
  turnWheelOver(card.dateEdit());
  EXPECT_NE(card.dateEdit()->dateTime(), date);
}

}  // namespace
}  // namespace ovel

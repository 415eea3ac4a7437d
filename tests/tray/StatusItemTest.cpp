// The tray item in a real systray (tint2 on Xvfb), clicked with xdotool.
#include "tray/StatusItem.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QStyleHints>

#include <algorithm>
#include <functional>

#include "platform/PopoverHost.h"
#include "support/TrayDesktop.h"

namespace ovel {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;
using test::xdotool;

// An icon of one colour, recording the sizes it was painted at.
StatusItemContent solid(QColor color, std::vector<int>* asked = nullptr) {
  return {[color, asked](int pixels) {
            if (asked) asked->push_back(pixels);
            QImage image(pixels, pixels, QImage::Format_ARGB32);
            image.fill(color);
            return image;
          },
          {},
          {},
          QStringLiteral("Ovel"),
          {}};
}

// `times` clicks, a twentieth of a second apart.
bool clickAt(QPoint point, const char* button = "1", int times = 1) {
  return xdotool({"mousemove", std::to_string(point.x()), std::to_string(point.y()), "click", "--repeat",
                  std::to_string(times), "--delay", "50", button});
}

// Gives `popover` content and has each click on the item toggle it.
void toggleOnClick(PopoverHost& popover, StatusItem& item) {
  auto* content = new QLabel(QStringLiteral("popover"));
  content->setFixedSize(240, 160);
  popover.setContent(content);
  QObject::connect(&item, &StatusItem::activated, &popover, [&popover](QRect anchor) {
    if (popover.isShown()) popover.close();
    else popover.show(anchor);
  });
}

// Any two presses at one place make a double click while it lives,
// however slow the machine.
class EveryTwoPressesADoubleClick {
 public:
  EveryTwoPressesADoubleClick() { QGuiApplication::styleHints()->setMouseDoubleClickInterval(60'000); }
  ~EveryTwoPressesADoubleClick() { QGuiApplication::styleHints()->setMouseDoubleClickInterval(interval_); }

 private:
  int interval_ = QGuiApplication::styleHints()->mouseDoubleClickInterval();
};

TEST(StatusItem, WithoutATrayThereIsNoButton) {
  TrayStatusItem item;
  item.setItems({solid(Qt::darkCyan)});
  EXPECT_FALSE(item.hasButton());
  EXPECT_TRUE(item.anchor().isEmpty());
}

TEST(StatusItem, AHostsClickIsScaledOnTheScreenThatHoldsIt) {
  // Qt keeps each screen's top-left corner where it lies in device pixels
  // and scales its size: two 3840-wide screens at ratio 2 lie at 0 and 3840.
  const std::vector<ScreenScale> twoAtTwice = {{{0, 0, 1920, 1080}, 2}, {{3840, 0, 1920, 1080}, 2}};
  const std::vector<ScreenScale> mixed = {{{0, 0, 1920, 1080}, 1}, {{1920, 0, 1280, 720}, 1.5}};
  struct Case {
    const char* name;
    std::vector<ScreenScale> screens;
    QPoint device;
    QPoint logical;
  } cases[] = {
      {"no scaling", {{{0, 0, 1920, 1080}, 1}}, {1900, 10}, {1900, 10}},
      {"the right of one screen at twice", {{{0, 0, 1920, 1080}, 2}}, {3000, 20}, {1500, 10}},
      {"an odd pixel at twice", {{{0, 0, 1920, 1080}, 2}}, {3001, 21}, {1500, 10}},
      {"the second screen at twice", twoAtTwice, {4000, 100}, {3920, 50}},
      {"the first screen's last pixel", twoAtTwice, {3839, 2159}, {1919, 1079}},
      {"a screen at one and a half beside one at one", mixed, {2220, 300}, {2120, 200}},
      {"the screen at one of them", mixed, {1000, 1000}, {1000, 1000}},
      {"on no screen", twoAtTwice, {9000, 100}, {9000, 100}},
  };
  for (const Case& c : cases) EXPECT_EQ(logicalFromDevice(c.device, c.screens), c.logical) << c.name;
}

class StatusItemX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    OVEL_SKIP_WITHOUT(test::trayDesktopMissing());
    tray.emplace();
    ASSERT_TRUE(tray->ready()) << "tint2 offered no systray:\n" << tray->log();
    item.emplace();
    ASSERT_FALSE(item->usesStatusNotifier()) << "tint2 is an XEmbed tray";
    item->setItems({solid(Qt::darkCyan, &asked)});
    ASSERT_TRUE(test::waitUntilDocked(*item));
  }
  void TearDown() override {
    item.reset();
    tray.reset();
  }

  std::optional<test::TrayHost> tray;
  std::optional<TrayStatusItem> item;
  std::vector<int> asked;
};

TEST_F(StatusItemX11Test, OneIconPerItemInOrderEachPaintedForItsSlot) {
  // Painted once the panel around the slot has been seen.
  EXPECT_TRUE(waitUntil([&] { return std::find(asked.begin(), asked.end(), item->anchor().width()) != asked.end(); }))
      << "painted at the slot's own size, not scaled";

  item->setItems({solid(Qt::red), solid(Qt::blue)});
  auto docked = [&] {
    auto places = item->itemGeometries();
    return places.size() == 2 && !places[1].isEmpty() && places[0].right() < places[1].left();
  };
  ASSERT_TRUE(waitUntil(docked)) << "two icons, the first on the left";
  QRect area = item->itemGeometries()[0].united(item->itemGeometries()[1]);
  ASSERT_TRUE(waitUntil([&] {
    QImage shot = test::screenshot(area, "two-items");
    QPoint second = item->itemGeometries()[1].center() - area.topLeft();
    QPoint first = item->itemGeometries()[0].center() - area.topLeft();
    return shot.pixelColor(first) == QColor(Qt::red) && shot.pixelColor(second) == QColor(Qt::blue);
  }));

  // An item goes once the tray has settled from the last one's coming.
  item->setItems({solid(Qt::blue)});
  EXPECT_TRUE(waitUntil([&] { return item->itemGeometries().size() == 1; }));
  EXPECT_TRUE(waitUntil([&] {
    return test::screenshot(item->anchor(), "one-item")
               .pixelColor(item->anchor().width() / 2, item->anchor().height() / 2) == QColor(Qt::blue);
  })) << "the first item stays and shows its new icon";
}

TEST_F(StatusItemX11Test, TheFirstIconIsPaintedOnceThePanelIsSeen) {
  // Icons take the tone of the moment they are painted in: none may be
  // painted before the tray's panel shows around the slot, however long a
  // busy desktop takes to dock it.
  struct Case {
    const char* name;
    std::chrono::milliseconds busy;
  } cases[] = {{"a tray that docks the icon at once", 0ms}, {"a tray too busy to dock it for a while", 2s}};
  for (const Case& c : cases) {
    item.reset();
    tray.reset();
    tray.emplace(QColor(0x10, 0x10, 0x10));
    ASSERT_TRUE(tray->ready()) << tray->log();
    item.emplace();
    std::vector<PanelTone> paintedIn;
    StatusItemContent content = solid(Qt::darkCyan);
    content.paintIcon = [&, paint = content.paintIcon](int pixels) {
      paintedIn.push_back(item->panelTone());
      return paint(pixels);
    };
    // The tray answers nothing for a while after the icon comes.
    tray->pause();
    item->setItems({content});
    test::spinFor(c.busy);
    tray->resume();
    ASSERT_TRUE(test::waitUntilDocked(*item)) << c.name;
    ASSERT_TRUE(waitUntil([&] { return !paintedIn.empty(); })) << c.name;
    for (PanelTone tone : paintedIn) EXPECT_EQ(tone, PanelTone::dark) << c.name;
  }
}

TEST_F(StatusItemX11Test, AnIconShownAlreadyIsNotPaintedAgain) {
  auto keyed = [&](const char* key) {
    StatusItemContent content = solid(Qt::darkCyan, &asked);
    content.iconKey = QLatin1String(key);
    return content;
  };
  // A new icon repaints its slot at the next paint event; delivering the
  // posted events paints whatever waits to be painted.
  auto paintsAfter = [&](const std::function<void()>& change) {
    std::size_t before = asked.size();
    change();
    return waitUntil([&] {
      QCoreApplication::sendPostedEvents();
      return asked.size() > before;
    });
  };
  ASSERT_TRUE(paintsAfter([&] { item->setItems({keyed("cyan")}); })) << "a key it did not show";

  std::size_t painted = asked.size();
  for (int recompute = 0; recompute < 3; ++recompute) item->setItems({keyed("cyan")});
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(asked.size(), painted) << "the icon it shows is not set again";
  EXPECT_TRUE(paintsAfter([&] { item->setItems({keyed("teal")}); })) << "another one is";
}

TEST_F(StatusItemX11Test, ClickOnTheIconTogglesThePopoverBelowIt) {
  PopoverHost popover;
  toggleOnClick(popover, *item);

  QRect anchor = item->anchor();
  ASSERT_TRUE(clickAt(anchor.center()));
  ASSERT_TRUE(waitUntil([&] { return popover.isShown(); }));
  QRect frame = popover.window()->geometry();
  EXPECT_GE(frame.top(), anchor.bottom()) << "the panel is at the top";
  EXPECT_LE(frame.left(), anchor.center().x());
  EXPECT_GE(frame.right(), anchor.center().x());

  // A click on the icon while it is open closes it, and does not open it
  // again at once.
  ASSERT_TRUE(clickAt(anchor.center()));
  ASSERT_TRUE(waitUntil([&] { return !popover.isShown(); }));
  ASSERT_TRUE(test::waitForEarlierXEvents());
  EXPECT_FALSE(popover.isShown());

  ASSERT_TRUE(clickAt(anchor.center()));
  EXPECT_TRUE(waitUntil([&] { return popover.isShown(); })) << "and the next click opens it again";
}

TEST_F(StatusItemX11Test, EachOfTwoClicksInARowTogglesThePopover) {
  // Qt takes two presses at one place for a double click whatever windows
  // took them: the one that closes the popover and the next, on the icon;
  // or the one on the icon that opens it and the next, which the popover
  // takes before it has the focus. Each still toggles it.
  EveryTwoPressesADoubleClick doubleClicks;
  struct Case {
    const char* name;
    bool open;
    // Both clicks in one go, or the second once the first has been handled.
    bool together;
  } cases[] = {{"open: closed, then opened again", true, false}, {"closed: opened, then closed at once", false, true}};
  for (const Case& c : cases) {
    PopoverHost popover;
    toggleOnClick(popover, *item);
    QPoint icon = item->anchor().center();
    if (c.open) popover.show(item->anchor());
    if (c.together) {
      ASSERT_TRUE(clickAt(icon, "1", 2)) << c.name;
    } else {
      ASSERT_TRUE(clickAt(icon)) << c.name;
      ASSERT_TRUE(waitUntil([&] { return popover.isShown() != c.open; })) << c.name;
      ASSERT_TRUE(test::waitForEarlierXEvents());
      ASSERT_TRUE(clickAt(icon)) << c.name;
    }
    ASSERT_TRUE(test::waitForEarlierXEvents());
    EXPECT_EQ(popover.isShown(), c.open) << c.name;
  }
}

TEST_F(StatusItemX11Test, MenuOffersTheApplicationsActions) {
  std::vector<QString> ran;
  item->setMenuActions({
      {QStringLiteral("Open Ovel"), [&] { ran.push_back(QStringLiteral("open")); }},
      {QStringLiteral("Dashboard"), [&] { ran.push_back(QStringLiteral("dashboard")); }},
      {QStringLiteral("Settings…"), [&] { ran.push_back(QStringLiteral("settings")); }},
      {},
      {QStringLiteral("Quit Ovel"), [&] { ran.push_back(QStringLiteral("quit")); }},
  });
  int clicks = 0;
  QObject::connect(&*item, &StatusItem::activated, [&] { ++clicks; });

  ASSERT_TRUE(clickAt(item->anchor().center(), "3"));
  QMenu* menu = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
  QStringList texts;
  for (QAction* action : menu->actions()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  EXPECT_EQ(texts, QStringList({"Open Ovel", "Dashboard", "Settings…", "-", "Quit Ovel"}));

  QAction* dashboard = menu->actions().at(1);
  ASSERT_TRUE(waitUntil([&] { return !menu->actionGeometry(dashboard).isEmpty(); }));
  ASSERT_TRUE(clickAt(menu->mapToGlobal(menu->actionGeometry(dashboard).center())));
  ASSERT_TRUE(waitUntil([&] { return !ran.empty(); }));
  EXPECT_EQ(ran, std::vector<QString>{QStringLiteral("dashboard")});
  EXPECT_EQ(clicks, 0) << "a right click is no activation";
}

}  // namespace
}  // namespace ovel

// The application's tray items over StatusNotifierItem, against a watcher,
// host and portal of the test's own on the private session bus.
#include <QWidget>

#include <gtest/gtest.h>

#include "AppDelegate.h"
#include "DemoLaunch.h"
#include "model/Demo.h"
#include "model/Format.h"
#include "model/UsageModel.h"
#include "platform/PopoverHost.h"
#include "support/FakeDesktopBus.h"
#include "support/TestDesktop.h"
#include "tray/PanelAppearance.h"
#include "tray/StatusNotifierItem.h"

namespace ovel {
namespace {

using test::ScopedEnv;
using test::TempDir;
using test::waitUntil;

const QString kItemInterface = QString::fromLatin1(test::FakeStatusNotifierHost::kItemInterface);
const QString kItemPath = QString::fromLatin1(test::FakeStatusNotifierHost::kItemPath);

class TrayStatusNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OVEL_SKIP_WITHOUT(test::busMissing());
    host.emplace();
    ASSERT_TRUE(host->ready());
  }

  void launch(const char* scenario) {
    DesktopServices services = DesktopServices::standard();
    services.makeStatusItem = [] { return std::make_unique<TrayStatusItem>(); };
    delegate = test::launchDemo(dir, scenario, std::move(services));
  }

  // Launches a layout of one item; the service of that item.
  QString launchOneItem(const char* scenario) {
    launch(scenario);
    EXPECT_TRUE(waitUntil([&] { return host->liveItems().size() == 1; }));
    return host->liveItems().value(0);
  }

  QString property(const QString& service, const char* name) {
    auto properties = host->properties(service);
    return properties ? properties->value(QString::fromLatin1(name)).toString() : QStringLiteral("(no answer)");
  }

  QString percent(const std::optional<WindowAssessment>& assessment) {
    return QString::fromStdString(Format::percent(assessment->window.usedPercent));
  }

  // Whether the first item's icon is painted in light marks.
  bool lightMarks(const QString& service) {
    auto properties = host->properties(service);
    if (!properties) return false;
    StatusNotifierPixmaps pixmaps;
    properties->value(QStringLiteral("IconPixmap")).value<QDBusArgument>() >> pixmaps;
    int lightest = 0;
    QImage icon = pixmaps.back().toImage();
    for (int y = 0; y < icon.height(); ++y)
      for (int x = 0; x < icon.width(); ++x)
        if (icon.pixelColor(x, y).alpha() == 255) lightest = std::max(lightest, icon.pixelColor(x, y).lightness());
    return lightest == 255;
  }

  TempDir dir;
  ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  ScopedEnv claude{"CLAUDE_CONFIG_DIR", (dir / "claude").string()};
  ScopedEnv desktop{"XDG_CURRENT_DESKTOP", std::nullopt};
  std::optional<test::FakeStatusNotifierHost> host;
  std::unique_ptr<AppDelegate> delegate;
};

TEST_F(TrayStatusNotifierTest, ActivateTogglesThePopoverAndTheLabelFollowsTheModel) {
  launch("at-risk");
  using enum MenuBarItem;
  delegate->preferences().setMenuBarLayout(
      {{sessionRing, true}, {sessionPercent, true}, {weekRing, true}, {weekPercent, true}, {tightestRing, false}});
  ASSERT_TRUE(waitUntil([&] { return host->liveItems().size() == 2; }));
  QString first = host->shownItems()[0], second = host->shownItems()[1];
  UsageModel& model = delegate->model();
  EXPECT_EQ(property(first, "XAyatanaLabel"), percent(model.session()));
  EXPECT_EQ(property(second, "XAyatanaLabel"), percent(model.week()));
  EXPECT_EQ(property(second, "Title"), QStringLiteral("Ovel 2"));

  ASSERT_TRUE(host->call(second, kItemPath, kItemInterface, QStringLiteral("Activate"), {600, 12}));
  EXPECT_TRUE(delegate->popover()->isShown());
  ASSERT_TRUE(host->call(second, kItemPath, kItemInterface, QStringLiteral("Activate"), {600, 12}));
  EXPECT_FALSE(delegate->popover()->isShown());

  QString before = percent(model.session());
  std::size_t from = host->itemSignals().size();
  model.startDemo(Demo::make(Demo::Scenario::limited, systemNow()));
  ASSERT_NE(percent(model.session()), before) << "the scenarios differ";
  ASSERT_TRUE(host->waitForSignal(first, QStringLiteral("XAyatanaNewLabel"), from));
  EXPECT_EQ(property(first, "XAyatanaLabel"), percent(model.session()));
}

TEST_F(TrayStatusNotifierTest, TheFirstIconIsAlreadyInThePanelsTone) {
  test::FakePortal portal(static_cast<uint>(DesktopAppearance::ColorScheme::preferDark));
  ASSERT_TRUE(portal.ready());
  QString item = launchOneItem("comfortable");
  EXPECT_TRUE(lightMarks(item)) << "drawn for the dark panel";
  // Once the dark preference is in, a repaint for it is sent at once.
  ASSERT_TRUE(waitUntil([&] { return delegate->statusItem()->panelTone() == PanelTone::dark; }));
  ASSERT_TRUE(host->roundTrip(item));
  auto icons = std::count_if(host->itemSignals().begin(), host->itemSignals().end(),
                             [&](const test::ItemSignal& sent) { return sent.member == QStringLiteral("NewIcon"); });
  EXPECT_EQ(icons, 1) << "its one icon, and no other of the wrong tone before it";
}

TEST_F(TrayStatusNotifierTest, IconsAreRepaintedWhenThePanelTurnsDark) {
  test::FakePortal portal(static_cast<uint>(DesktopAppearance::ColorScheme::preferLight));
  ASSERT_TRUE(portal.ready());
  QString item = launchOneItem("comfortable");
  EXPECT_FALSE(lightMarks(item));

  std::size_t from = host->itemSignals().size();
  portal.setColorScheme(static_cast<uint>(DesktopAppearance::ColorScheme::preferDark));
  ASSERT_TRUE(host->waitForSignal(item, QStringLiteral("NewIcon"), from));
  EXPECT_TRUE(lightMarks(item));
}

}  // namespace
}  // namespace ovel

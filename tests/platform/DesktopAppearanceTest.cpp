// The appearance the desktop wants for its windows: the portal's colour
// scheme, then XFCE's GTK theme, then a platform theme's palette, each
// followed as it changes on the private bus; and the palette given to the
// application where no platform theme gives one.
#include "platform/DesktopAppearance.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QStyle>

#include "support/FakeDesktopBus.h"
#include "support/TestDesktop.h"

namespace ovel {
namespace {

using test::waitUntil;
using enum Appearance;

const QColor kLightWindow(0xef, 0xf0, 0xf1);
const QColor kDarkWindow(0x31, 0x36, 0x3b);

QPalette paletteOf(const QColor& window) {
  QPalette palette = QApplication::style()->standardPalette();
  palette.setColor(QPalette::Window, window);
  return palette;
}

TEST(DesktopAppearance, TheStrongestClueDecides) {
  using Clues = DesktopAppearance::Clues;
  struct Row {
    const char* name;
    Clues clues;
    std::optional<Appearance> appearance;
  } rows[] = {
      {"the portal's preference for dark", {1u, "Greybird", kLightWindow}, dark},
      {"the portal's preference for light", {2u, "Adwaita-dark", kDarkWindow}, light},
      {"no preference: the theme's name", {0u, "Adwaita-dark", kLightWindow}, dark},
      {"a value the portal may add later counts as none", {7u, "Adwaita-dark", std::nullopt}, dark},
      {"no portal: a light theme over a dark palette", {std::nullopt, "Greybird", kDarkWindow}, light},
      {"no theme: a platform theme's dark palette", {0u, "", kDarkWindow}, dark},
      {"a blank theme name tells nothing", {std::nullopt, "  ", kLightWindow}, light},
      {"nothing tells", {0u, "", std::nullopt}, std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(DesktopAppearance::appearanceOf(row.clues), row.appearance) << row.name;

  for (const char* name : {"Adwaita-dark", "Arc-Dark", "Mint-Y-Dark-Aqua", "Greybird-dark", "HighContrastInverse"})
    EXPECT_EQ(DesktopAppearance::appearanceOfTheme(name), dark) << name;
  for (const char* name : {"Adwaita", "Greybird", "HighContrast", "Arc"})
    EXPECT_EQ(DesktopAppearance::appearanceOfTheme(name), light) << name;
}

class DesktopAppearanceTest : public ::testing::Test {
 protected:
  void SetUp() override { OVEL_SKIP_WITHOUT(test::busMissing()); }
  void TearDown() override { QApplication::setPalette(QApplication::style()->standardPalette()); }

  test::ScopedEnv desktop{"XDG_CURRENT_DESKTOP", "XFCE"};
};

TEST_F(DesktopAppearanceTest, FollowsThePortalAndReadsItWhenItComesLater) {
  DesktopAppearance appearance;
  EXPECT_TRUE(waitUntil([&] { return appearance.isSettled(); })) << "no portal can be started: settled once told so";
  EXPECT_EQ(appearance.appearance(), std::nullopt);
  QSignalSpy changes(&appearance, &DesktopAppearance::changed);
  {
    test::FakePortal portal(1);
    ASSERT_TRUE(portal.ready());
    ASSERT_TRUE(waitUntil([&] { return appearance.appearance() == dark; })) << "read once it runs";
    portal.setColorScheme(2);
    ASSERT_TRUE(waitUntil([&] { return appearance.appearance() == light; })) << "followed when it changes";
    portal.setColorScheme(1);
    ASSERT_TRUE(waitUntil([&] { return appearance.appearance() == dark; }));
  }
  EXPECT_TRUE(waitUntil([&] { return appearance.appearance() == std::nullopt; })) << "a portal gone tells nothing";
  EXPECT_EQ(changes.size(), 4);
}

// At login Ovel may ask before anything else has started the portal: it
// starts it as every portal client does, so the first windows are right.
TEST_F(DesktopAppearanceTest, APortalThatIsNotRunningYetIsStarted) {
  auto daemon = test::findProgram("dbus-daemon");
  ASSERT_TRUE(daemon) << "the session bus of SetUp runs on it";
  test::TempDir files;
  const auto services = files.path() / "services";
  std::filesystem::create_directories(services);
  const auto started = files.path() / "started";
  test::writeText(services / "portal.service",
                  "[D-BUS Service]\nName=org.freedesktop.portal.Desktop\nExec=/bin/sh -c \"touch '" + started.string() +
                      "'; exit 1\"\n");
  test::writeText(files.path() / "bus.conf",
                  "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                  "<servicedir>" +
                      services.string() +
                      "</servicedir><policy context=\"default\"><allow send_destination=\"*\"/>"
                      "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>");
  test::BackgroundProcess bus({daemon->string(), "--config-file=" + (files.path() / "bus.conf").string(), "--nofork",
                               "--nopidfile", "--print-address=3"},
                              true);
  auto address = bus.readLine();
  ASSERT_TRUE(address);
  {
    QDBusConnection connection = QDBusConnection::connectToBus(QString::fromStdString(*address), "activation");
    ASSERT_TRUE(connection.isConnected());
    DesktopAppearance appearance(connection);
    // The stand-in only leaves a mark and fails: that answer settles it.
    EXPECT_TRUE(waitUntil([&] { return appearance.isSettled(); }));
    EXPECT_TRUE(std::filesystem::exists(started)) << "the portal was asked to start";
  }
  QDBusConnection::disconnectFromBus("activation");
}

TEST_F(DesktopAppearanceTest, XfcesThemeTellsWhereThePortalStatesNoPreference) {
  test::FakePortal portal(0);
  test::FakeXfconf xfconf({}, {{"/Net/ThemeName", "Adwaita-dark"}, {"/Net/IconThemeName", "elementary"}});
  ASSERT_TRUE(portal.ready() && xfconf.ready());
  DesktopAppearance appearance;
  EXPECT_FALSE(appearance.isSettled()) << "the answers are on their way";
  QSignalSpy settled(&appearance, &DesktopAppearance::settled);
  ASSERT_TRUE(waitUntil([&] { return appearance.isSettled(); }));
  EXPECT_EQ(appearance.appearance(), dark);
  EXPECT_EQ(settled.size(), 1);
  xfconf.setChannelProperty("xsettings", "/Net/ThemeName", "Greybird");
  EXPECT_TRUE(waitUntil([&] { return appearance.appearance() == light; })) << "followed when the theme changes";
  portal.setColorScheme(1);
  EXPECT_TRUE(waitUntil([&] { return appearance.appearance() == dark; })) << "a stated preference comes first";
}

TEST_F(DesktopAppearanceTest, XfcesThemeCountsOnlyOnXfce) {
  // xfconfd, started by one of XFCE's programs, keeps the theme of an
  // earlier XFCE session.
  test::FakeXfconf xfconf({}, {{"/Net/ThemeName", "Adwaita-dark"}});
  ASSERT_TRUE(xfconf.ready());
  test::ScopedEnv other{"XDG_CURRENT_DESKTOP", "LXQt"};
  DesktopAppearance appearance;
  EXPECT_TRUE(waitUntil([&] { return appearance.isSettled(); }));
  test::spinFor(std::chrono::milliseconds(200));
  EXPECT_EQ(appearance.appearance(), std::nullopt);
}

TEST_F(DesktopAppearanceTest, APlatformThemesPaletteTellsLastAndIsKept) {
  DesktopAppearance appearance;
  EXPECT_EQ(appearance.appearance(), std::nullopt) << "the style's own palette says nothing of the desktop";
  EXPECT_EQ(DesktopAppearance::platformPalette(), std::nullopt);

  // As a platform theme (KDE's) gives the application its palette.
  QApplication::setPalette(paletteOf(kDarkWindow));
  EXPECT_TRUE(waitUntil([&] { return appearance.appearance() == dark; }));
  ASSERT_TRUE(DesktopAppearance::platformPalette().has_value());
  EXPECT_FALSE(DesktopAppearance::offerPalette(paletteOf(Qt::white))) << "the theme's palette is kept";
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), kDarkWindow);

  test::FakePortal portal(2);
  ASSERT_TRUE(portal.ready());
  EXPECT_TRUE(waitUntil([&] { return appearance.appearance() == light; })) << "the portal speaks first";
}

TEST_F(DesktopAppearanceTest, APaletteWeGaveIsNotTakenForATheme) {
  DesktopAppearance appearance;
  QSignalSpy changes(&appearance, &DesktopAppearance::changed);
  for (const QColor& window : {kDarkWindow, kLightWindow}) {
    EXPECT_TRUE(DesktopAppearance::offerPalette(paletteOf(window)));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), window) << "given";
    EXPECT_EQ(DesktopAppearance::platformPalette(), std::nullopt);
  }
  test::spinFor(std::chrono::milliseconds(100));
  EXPECT_EQ(appearance.appearance(), std::nullopt) << "our own palette says nothing of the desktop";
  EXPECT_EQ(changes.size(), 0);
}

TEST_F(DesktopAppearanceTest, TheApplicationSharesOneWhileItIsHeld) {
  auto first = DesktopAppearance::shared();
  auto second = DesktopAppearance::shared();
  EXPECT_EQ(first, second);
  const DesktopAppearance* held = first.get();
  first.reset();
  EXPECT_EQ(DesktopAppearance::shared().get(), held) << "still held by the second";
}

}  // namespace
}  // namespace ovel

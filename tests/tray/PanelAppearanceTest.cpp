#include "tray/PanelAppearance.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <chrono>
#include <thread>

#include "support/FakeDesktopBus.h"
#include "support/TrayDesktop.h"

namespace ovel {
namespace {

using test::waitUntil;
using enum PanelTone;

const QColor kLight(0xf0, 0xf0, 0xf0);
const QColor kDark(0x30, 0x30, 0x30);

TEST(PanelAppearance, ThePanelsOwnToneBeforeTheWindowsAppearance) {
  using Clues = PanelAppearance::Clues;
  const auto lightWindows = Appearance::light, darkWindows = Appearance::dark;
  struct Row {
    const char* name;
    Clues clues;
    PanelTone tone;
  } rows[] = {
      {"a dark panel seen", {QColor(0x10, 0x10, 0x10), light, light, "XFCE", lightWindows}, dark},
      {"a light panel seen", {kLight, dark, dark, "GNOME", darkWindows}, light},
      {"XFCE's dark panel, the windows light", {std::nullopt, dark, unknown, "XFCE", lightWindows}, dark},
      {"XFCE's light panel, the windows dark", {std::nullopt, light, unknown, "XFCE", darkWindows}, light},
      {"KDE's dark panel, the windows light", {std::nullopt, unknown, dark, "KDE", lightWindows}, dark},
      {"KDE's light panel, the windows dark", {std::nullopt, unknown, light, "KDE", darkWindows}, light},
      {"GNOME's top bar is dark whatever the windows", {std::nullopt, unknown, unknown, "GNOME", lightWindows}, dark},
      {"GNOME among other names", {std::nullopt, unknown, unknown, "ubuntu:GNOME", std::nullopt}, dark},
      {"the panel tells nothing: the windows are dark", {std::nullopt, unknown, unknown, "XFCE", darkWindows}, dark},
      {"the panel tells nothing: the windows are light", {std::nullopt, unknown, unknown, "", lightWindows}, light},
      {"nothing tells", {std::nullopt, unknown, unknown, "XFCE", std::nullopt}, unknown},
  };
  for (const auto& row : rows) EXPECT_EQ(PanelAppearance::toneOf(row.clues), row.tone) << row.name;
}

// The properties of XFCE's panel channel, as xfconfd sends them: one
// panel with a separator and the tray, unless told otherwise.
QVariantMap xfcePanel(std::initializer_list<std::pair<const char*, QVariant>> overrides = {}) {
  QVariantMap properties{
      {"/panels", QVariantList{1}},
      {"/panels/panel-1/plugin-ids", QVariantList{1, 2}},
      {"/plugins/plugin-1", "separator"},
      {"/plugins/plugin-2", "systray"},
  };
  for (const auto& [path, value] : overrides) {
    if (value.isValid()) properties[QString::fromLatin1(path)] = value;
    else properties.remove(QString::fromLatin1(path));
  }
  return properties;
}

QVariantList rgba(double red, double green, double blue, double alpha = 1) { return {red, green, blue, alpha}; }

TEST(PanelAppearance, XfcesPanelByItsBackgroundThenItsDarkMode) {
  const QVariant solid = 1u, themed = 0u, picture = 2u;
  struct Row {
    const char* name;
    QVariantMap properties;
    PanelTone tone;
  } rows[] = {
      {"a solid dark colour",
       xfcePanel(
           {{"/panels/panel-1/background-style", solid}, {"/panels/panel-1/background-rgba", rgba(0.06, 0.06, 0.06)}}),
       dark},
      {"a solid light colour, dark mode or not",
       xfcePanel({{"/panels/panel-1/background-style", solid},
                  {"/panels/panel-1/background-rgba", rgba(0.94, 0.94, 0.94)},
                  {"/panels/dark-mode", true}}),
       light},
      {"a see-through colour shows what lies behind",
       xfcePanel(
           {{"/panels/panel-1/background-style", solid}, {"/panels/panel-1/background-rgba", rgba(0, 0, 0, 0.2)}}),
       unknown},
      {"the theme's background in dark mode", xfcePanel({{"/panels/dark-mode", true}}), dark},
      {"the theme's background in its light mode", xfcePanel({{"/panels/dark-mode", false}}), unknown},
      {"the theme's background, said outright",
       xfcePanel({{"/panels/panel-1/background-style", themed}, {"/panels/dark-mode", true}}), dark},
      {"a picture", xfcePanel({{"/panels/panel-1/background-style", picture}, {"/panels/dark-mode", true}}), unknown},
      {"the panel that holds the tray counts",
       xfcePanel({{"/panels", QVariantList{1, 2}},
                  {"/panels/panel-1/plugin-ids", QVariantList{1}},
                  {"/panels/panel-1/background-style", solid},
                  {"/panels/panel-1/background-rgba", rgba(0.94, 0.94, 0.94)},
                  {"/panels/panel-2/plugin-ids", QVariantList{2}},
                  {"/panels/panel-2/background-style", solid},
                  {"/panels/panel-2/background-rgba", rgba(0.1, 0.1, 0.1)}}),
       dark},
      {"the older tray plugin of its own",
       xfcePanel({{"/plugins/plugin-2", "statusnotifier"}, {"/panels/dark-mode", true}}), dark},
      {"no tray on any panel", xfcePanel({{"/plugins/plugin-2", "clock"}, {"/panels/dark-mode", true}}), unknown},
      {"no panels", QVariantMap(), unknown},
  };
  for (const auto& row : rows) EXPECT_EQ(XfcePanelSettings::toneOf(row.properties), row.tone) << row.name;
}

TEST(PanelAppearance, KdesPanelByItsPlasmaThemeThenItsColourScheme) {
  auto theme = [](const char* name) { return QStringLiteral("[Theme]\nname=%1\n").arg(QLatin1String(name)); };
  auto scheme = [](const char* window) {
    return QStringLiteral(
               "[General]\nColorScheme=Some\n\n[Colors:Window]\nBackgroundAlternate=1,2,3\n"
               "BackgroundNormal=%1\n\n[Colors:View]\nBackgroundNormal=255,255,255\n")
        .arg(QLatin1String(window));
  };
  struct Row {
    const char* name;
    QStringList plasmarc, kdeglobals;
    PanelTone tone;
  } rows[] = {
      {"a dark Plasma theme over a light scheme", {theme("breeze-dark")}, {scheme("239,240,241")}, dark},
      {"a light Plasma theme over a dark scheme", {theme("breeze-light")}, {scheme("49,54,59")}, light},
      {"the default theme follows the dark scheme", {theme("default")}, {scheme("49,54,59")}, dark},
      {"no theme set: the light scheme", {}, {scheme("239,240,241")}, light},
      {"the user's file before the system's", {}, {scheme("49,54,59"), scheme("239,240,241")}, dark},
      {"a colour with its alpha", {}, {scheme("20,20,20,255")}, dark},
      {"a colour that does not parse", {}, {scheme("dark")}, unknown},
      {"nothing", {}, {}, unknown},
  };
  for (const auto& row : rows) EXPECT_EQ(KdePanelSettings::toneOf(row.plasmarc, row.kdeglobals), row.tone) << row.name;

  QString text = QStringLiteral("[Theme]\nname[de]=dunkel\nname[$e]=breeze-dark\n[Other]\nname=x\n");
  EXPECT_EQ(KdePanelSettings::iniValue(text, "Theme", "name"), QStringLiteral("breeze-dark"))
      << "flags read, another locale's key not";
  EXPECT_EQ(KdePanelSettings::iniValue(text, "Missing", "name"), QString());
}

TEST(PanelAppearance, KdesSettingsAreFollowedWhenTheyChange) {
  test::TempDir user, system;
  test::writeText(system / "kdeglobals", "[Colors:Window]\nBackgroundNormal=239,240,241\n");
  KdePanelSettings kde({QString::fromStdString(user.path().string()), QString::fromStdString(system.path().string())});
  EXPECT_EQ(kde.tone(), light);
  // Saved as KDE saves: a new file renamed over the old place.
  test::writeText(user / "plasmarc.new", "[Theme]\nname=breeze-dark\n");
  std::filesystem::rename(user / "plasmarc.new", user / "plasmarc");
  EXPECT_TRUE(waitUntil([&] { return kde.tone() == dark; }));
  test::writeText(user / "plasmarc", "[Theme]\nname=default\n");
  EXPECT_TRUE(waitUntil([&] { return kde.tone() == light; })) << "and written in place";
}

class PanelAppearanceTest : public ::testing::Test {
 protected:
  void SetUp() override { OVEL_SKIP_WITHOUT(test::busMissing()); }

  test::ScopedEnv desktop{"XDG_CURRENT_DESKTOP", "XFCE"};
};

const QVariantMap kDarkXfcePanel = xfcePanel(
    {{"/panels/panel-1/background-style", 1u}, {"/panels/panel-1/background-rgba", rgba(0.06, 0.06, 0.06)}});

TEST_F(PanelAppearanceTest, WithoutPanelSettingsTheWindowsAppearanceTells) {
  test::FakePortal portal(1);
  ASSERT_TRUE(portal.ready());
  PanelAppearance panel;
  QSignalSpy changes(&panel, &PanelAppearance::changed);
  ASSERT_TRUE(waitUntil([&] { return panel.tone() == dark; })) << "the preference for dark, read at start";
  portal.setColorScheme(2);
  ASSERT_TRUE(waitUntil([&] { return panel.tone() == light; })) << "and followed when it changes";
  EXPECT_EQ(changes.size(), 2);
}

TEST_F(PanelAppearanceTest, XfcesPanelWinsOverTheWindowsAppearance) {
  // Light windows on a dark panel: the portal speaks of the windows.
  test::FakePortal portal(2);
  test::FakeXfconf xfconf(kDarkXfcePanel);
  ASSERT_TRUE(portal.ready() && xfconf.ready());
  PanelAppearance panel;
  EXPECT_FALSE(panel.isSettled()) << "the answers are on their way";
  QSignalSpy settled(&panel, &PanelAppearance::settled);
  ASSERT_TRUE(waitUntil([&] { return panel.isSettled(); }));
  EXPECT_EQ(panel.tone(), dark) << "settled in the panel's tone, not the windows'";
  EXPECT_EQ(settled.size(), 1);
  xfconf.setPanelProperty("/panels/panel-1/background-rgba", rgba(0.9, 0.9, 0.9));
  EXPECT_TRUE(waitUntil([&] { return panel.tone() == light; })) << "followed when it changes";
  portal.setColorScheme(1);
  test::spinFor(std::chrono::milliseconds(300));
  EXPECT_EQ(panel.tone(), light) << "dark windows leave the light panel light";
}

TEST_F(PanelAppearanceTest, ABusyStartUsesUpNoneOfTheWaitForTheDesktop) {
  // The program may be busy for longer than the wait before its event loop
  // first runs; the desktop's answer, on its way all along, still counts.
  test::FakePortal portal(1);
  ASSERT_TRUE(portal.ready());
  PanelAppearance panel;
  PanelTone settledIn = unknown;
  QObject::connect(&panel, &PanelAppearance::settled, [&] { settledIn = panel.tone(); });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_TRUE(waitUntil([&] { return panel.isSettled(); }));
  EXPECT_EQ(settledIn, dark) << "settled on the desktop's answer";
}

TEST_F(PanelAppearanceTest, XfcesPanelSettingsCountOnlyOnXfce) {
  // Thunar or another of XFCE's programs started xfconfd, which still holds
  // the dark panel of an earlier XFCE session.
  test::FakePortal portal(2);
  test::FakeXfconf xfconf(xfcePanel({{"/panels/dark-mode", true}}));
  ASSERT_TRUE(portal.ready() && xfconf.ready());
  for (const char* desktop : {"KDE", "LXQt", "ubuntu:GNOME-Flashback"}) {
    SCOPED_TRACE(desktop);
    test::ScopedEnv other{"XDG_CURRENT_DESKTOP", desktop};
    PanelAppearance panel;
    ASSERT_TRUE(waitUntil([&] { return panel.isSettled(); }));
    EXPECT_EQ(panel.tone(), light) << "the windows' light appearance tells, not XFCE's old panel";
  }
  test::ScopedEnv xfce{"XDG_CURRENT_DESKTOP", "X-Cinnamon:XFCE"};
  PanelAppearance panel;
  EXPECT_TRUE(waitUntil([&] { return panel.isSettled() && panel.tone() == dark; })) << "on XFCE it does";
}

TEST_F(PanelAppearanceTest, OnKdeThePlasmaPanelsColourSchemeTells) {
  test::TempDir config;
  test::writeText(config / "kdeglobals", "[Colors:Window]\nBackgroundNormal=49,54,59\n");
  test::ScopedEnv kde{"XDG_CURRENT_DESKTOP", "KDE"};
  test::ScopedEnv home{"XDG_CONFIG_HOME", config.path().string()};
  test::FakePortal portal(2);
  ASSERT_TRUE(portal.ready());
  PanelAppearance panel;
  ASSERT_TRUE(waitUntil([&] { return panel.isSettled(); }));
  EXPECT_EQ(panel.tone(), dark) << "over the light windows";
  test::writeText(config / "kdeglobals", "[Colors:Window]\nBackgroundNormal=239,240,241\n");
  EXPECT_TRUE(waitUntil([&] { return panel.tone() == light; })) << "followed when it changes";
}

TEST_F(PanelAppearanceTest, WhereNothingTellsTheToneIsUnknown) {
  PanelAppearance panel;
  EXPECT_TRUE(waitUntil([&] { return panel.isSettled(); })) << "nothing to wait for";
  EXPECT_EQ(panel.tone(), unknown);
  panel.setSeenPanel(kDark);
  EXPECT_EQ(panel.tone(), dark) << "until the panel is seen";
}

}  // namespace
}  // namespace ovel

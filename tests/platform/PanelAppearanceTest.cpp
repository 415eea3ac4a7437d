#include "platform/PanelAppearance.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QSignalSpy>

#include "support/FakeDesktopBus.h"
#include "support/TestDesktop.h"

namespace ovel {
namespace {

using test::waitUntil;

TEST(PanelAppearance, SeenPanelThenDesktopThenPreferenceThenPalette) {
  const QColor light(0xf0, 0xf0, 0xf0);
  const QColor dark(0x30, 0x30, 0x30);
  struct Row {
    const char* name;
    std::optional<QColor> seen;
    const char* desktops;
    std::optional<uint> scheme;
    QColor window;
    bool isDark;
  } rows[] = {
      {"a dark panel seen", QColor(0x10, 0x10, 0x10), "XFCE", 2u, light, true},
      {"a light panel seen", light, "GNOME", 1u, dark, false},
      {"GNOME's top bar is dark whatever the preference", std::nullopt, "GNOME", 2u, light, true},
      {"GNOME among other names", std::nullopt, "ubuntu:GNOME", std::nullopt, light, true},
      {"the preference for dark", std::nullopt, "KDE", 1u, light, true},
      {"the preference for light", std::nullopt, "XFCE", 2u, dark, false},
      {"no preference: the palette", std::nullopt, "KDE", 0u, dark, true},
      {"no portal: the palette", std::nullopt, "", std::nullopt, light, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(PanelAppearance::isDark(row.seen, QString::fromLatin1(row.desktops), row.scheme, row.window), row.isDark)
        << row.name;
}

class PanelAppearanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::testDesktop().busAddress) GTEST_SKIP() << "dbus-daemon is not installed";
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, QColor(0xf0, 0xf0, 0xf0));
    QApplication::setPalette(palette);
  }
  void TearDown() override { QApplication::setPalette(QPalette()); }

  test::ScopedEnv desktop{"XDG_CURRENT_DESKTOP", "XFCE"};
};

TEST_F(PanelAppearanceTest, FollowsThePortalsColourScheme) {
  test::FakePortal portal(1);
  ASSERT_TRUE(portal.ready());
  PanelAppearance panel;
  QSignalSpy changes(&panel, &PanelAppearance::changed);
  ASSERT_TRUE(waitUntil([&] { return panel.isDark(); })) << "the preference for dark, read at start";
  portal.setColorScheme(2);
  ASSERT_TRUE(waitUntil([&] { return !panel.isDark(); })) << "and followed when it changes";
  EXPECT_EQ(changes.size(), 2);
}

TEST_F(PanelAppearanceTest, WithoutAPortalThePaletteDecides) {
  PanelAppearance panel;
  EXPECT_FALSE(panel.isDark());
  QSignalSpy changes(&panel, &PanelAppearance::changed);
  QPalette palette = QApplication::palette();
  palette.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
  QApplication::setPalette(palette);
  EXPECT_TRUE(waitUntil([&] { return panel.isDark(); }));
  EXPECT_EQ(changes.size(), 1);
}

}  // namespace
}  // namespace ovel

// Kept windows: hidden on close, back where the user left them.
#include "platform/WindowFrames.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include "support/TestSupport.h"

namespace ovel {
namespace {

class WindowFramesTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  QSettings settings{QString::fromStdString((dir / "Ovel.conf").string()), QSettings::IniFormat};
  WindowSetup setup{QStringLiteral("Ovel Settings"), {520, 600}, {480, 460}, QStringLiteral("OvelSettings")};
};

TEST_F(WindowFramesTest, NewWindowIsCentredAndSurvivesClosing) {
  QPointer<QWidget> window = new QWidget;
  WindowFrames::keep(window, setup, settings);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Ovel Settings"));
  EXPECT_EQ(window->size(), QSize(520, 600));
  EXPECT_EQ(window->minimumSize(), QSize(480, 460));
  EXPECT_EQ(window->geometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
  EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

  WindowFrames::present(window);
  EXPECT_TRUE(window->isVisible());
  window->close();
  ASSERT_FALSE(window.isNull()) << "closing only hides it";
  EXPECT_FALSE(window->isVisible());
  delete window;
}

TEST_F(WindowFramesTest, FrameComesBackUnderItsName) {
  {
    QWidget first;
    WindowFrames::keep(&first, setup, settings);
    WindowFrames::present(&first);
    first.setGeometry(40, 50, 700, 500);
    first.close();
  }
  EXPECT_TRUE(settings.contains(WindowFrames::settingsKey(QStringLiteral("OvelSettings"))));

  QWidget again;
  WindowFrames::keep(&again, setup, settings);
  EXPECT_EQ(again.geometry(), QRect(40, 50, 700, 500));

  QWidget other;
  WindowFrames::keep(&other, {QStringLiteral("Ovel"), {860, 640}, {720, 520}, QStringLiteral("OvelDashboard")},
                     settings);
  EXPECT_EQ(other.size(), QSize(860, 640)) << "another name keeps its own frame";
}

TEST_F(WindowFramesTest, AWindowMayOfferNoMinimising) {
  QWidget window;
  setup.minimizable = false;
  WindowFrames::keep(&window, setup, settings);
  Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(window.isWindow());
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  for (Qt::WindowType kept : {Qt::WindowTitleHint, Qt::WindowCloseButtonHint, Qt::WindowMaximizeButtonHint})
    EXPECT_TRUE(flags.testFlag(kept)) << kept;
}

}  // namespace
}  // namespace ovel

// A snapshot of the popover has the size the popover host gives the live one,
// however short the popover is.
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <gtest/gtest.h>

#include "Snapshot.h"
#include "ViewHarness.h"
#include "platform/PopoverHost.h"
#include "popover/PopoverView.h"

namespace ovel {
namespace {

class SnapshotTest : public test::ViewTest {
 protected:
  static constexpr QRect kAnchor{100, 0, 22, 22};

  QSize livePopoverSize() {
    PopoverHost host;
    host.setContent(new PopoverView(*model, integrations, [] {}));
    host.window()->setAttribute(Qt::WA_DontShowOnScreen);
    host.show(kAnchor);
    QCoreApplication::sendPostedEvents();
    return host.window()->size();
  }

  // The live popover never takes more than the screen has free below the
  // item; the snapshot shows all of it.
  static int liveRoom() {
    return PopoverHost::usableArea(kAnchor, QGuiApplication::primaryScreen()->availableGeometry()).height();
  }

  QSize snapshotPopoverSize() {
    PopoverView popover(*model, integrations, [] {});
    std::filesystem::path file = dir / "popover.png";
    EXPECT_TRUE(Snapshot::render(popover, file, PopoverView::kWidth));
    return QImage(QString::fromStdString(file.string())).size();
  }
};

TEST_F(SnapshotTest, PopoverHasTheLiveHeightShortOrTall) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"signed out: no data and the setup hint",
       [&] {
         probe->work.answer = ProbeOutcome::failure("Not logged in. Run claude to sign in.");
         startAndSettle();
       }},
      {"still reading", [&] { model->start(); }},
      {"a demo", [&] { showDemo(Demo::Scenario::atRisk); }},
  };
  for (const Case& c : cases) {
    build();
    c.arrange();
    QSize live = livePopoverSize();
    QSize shot = snapshotPopoverSize();
    EXPECT_EQ(shot.width(), PopoverView::kWidth) << c.name;
    EXPECT_NEAR(std::min(shot.height(), liveRoom()), live.height(), 2) << c.name;
    EXPECT_GE(shot.height(), PopoverView(*model, integrations, [] {}).sizeHint().height()) << c.name << ": all of it";
  }
}

TEST_F(SnapshotTest, ASignedOutPopoverIsShorterThanAnUnshownWindow) {
  probe->work.answer = ProbeOutcome::failure("Not logged in. Run claude to sign in.");
  startAndSettle();
  // 480 is the height of a widget never shown; the setup hint needs far less.
  EXPECT_LT(snapshotPopoverSize().height(), 400);
}

}  // namespace
}  // namespace ovel

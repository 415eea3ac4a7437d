// A snapshot of the popover has the size the popover host gives the live one,
// however short the popover is.
#include <QImage>

#include <gtest/gtest.h>

#include "Snapshot.h"
#include "ViewHarness.h"
#include "platform/PopoverHost.h"
#include "popover/PopoverView.h"

namespace ovel {
namespace {

class SnapshotTest : public test::ViewTest {
 protected:
  QSize livePopoverSize() {
    PopoverHost host;
    host.setContent(new PopoverView(*model, integrations, [] {}));
    host.window()->setAttribute(Qt::WA_DontShowOnScreen);
    host.show(QRect(100, 0, 22, 22));
    QCoreApplication::sendPostedEvents();
    return host.window()->size();
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
    EXPECT_NEAR(shot.height(), live.height(), 2) << c.name;
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

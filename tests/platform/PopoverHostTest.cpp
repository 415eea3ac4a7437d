// Where the popover goes, and its open/close life, on the offscreen platform.
#include "platform/PopoverHost.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace ovel {
namespace {

TEST(PopoverHost, PlacementKeepsToTheScreenAndTheAnchor) {
  const QRect belowTopPanel(0, 30, 1280, 770);
  const QRect aboveBottomPanel(0, 0, 1280, 770);
  struct Case {
    const char* name;
    QSize size;
    QRect anchor;
    QRect available;
    QPoint expected;
  } cases[] = {
      {"under an icon in a top panel", {300, 400}, {600, 4, 22, 22}, belowTopPanel, {460, 30}},
      {"at the right edge", {300, 400}, {1256, 4, 22, 22}, belowTopPanel, {980, 30}},
      {"at the left edge", {300, 400}, {2, 4, 22, 22}, belowTopPanel, {0, 30}},
      {"above an icon in a bottom panel", {300, 400}, {600, 774, 22, 22}, aboveBottomPanel, {460, 370}},
      {"at the cursor in the upper half", {300, 400}, {640, 300, 1, 1}, belowTopPanel, {490, 301}},
      {"at the cursor in the lower half", {300, 400}, {640, 700, 1, 1}, belowTopPanel, {490, 300}},
      {"larger than the screen", {2000, 900}, {600, 4, 22, 22}, belowTopPanel, {0, 30}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PopoverHost::placement(c.size, c.anchor, c.available), c.expected) << c.name;
}

TEST(PopoverHost, ShowsItsContentAtTheAnchorAndTellsWhenClosed) {
  PopoverHost popover;
  auto* content = new QLabel(QStringLiteral("content"));
  content->setFixedSize(240, 160);
  popover.setContent(content);
  QSignalSpy closed(&popover, &PopoverHost::closed);

  QRect anchor(300, 0, 22, 22);
  popover.show(anchor);
  ASSERT_TRUE(popover.isShown());
  QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(popover.window()->size(), QSize(240, 160));
  EXPECT_EQ(popover.window()->pos(), PopoverHost::placement({240, 160}, anchor, available));

  popover.close();
  EXPECT_FALSE(popover.isShown());
  EXPECT_EQ(closed.count(), 1);

  QPointer<QLabel> old = content;
  popover.setContent(new QLabel(QStringLiteral("newer")));
  EXPECT_TRUE(old.isNull()) << "replaced content is not leaked";
}

TEST(PopoverHost, FollowsItsContentAndStaysAtTheAnchor) {
  PopoverHost popover;
  auto* content = new QLabel(QStringLiteral("content"));
  content->setFixedSize(240, 160);
  popover.setContent(content);
  QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  QRect bottomAnchor(300, available.bottom() - 21, 22, 22);
  popover.show(bottomAnchor);
  ASSERT_EQ(popover.window()->geometry().bottom(), bottomAnchor.top() - 1);

  content->setFixedSize(240, 220);
  ASSERT_TRUE(QTest::qWaitFor([&] { return popover.window()->height() == 220; }, 20000));
  EXPECT_EQ(popover.window()->geometry().bottom(), bottomAnchor.top() - 1)
      << "above a bottom panel the window grows upwards";
  popover.close();
}

}  // namespace
}  // namespace ovel

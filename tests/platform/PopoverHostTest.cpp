// Where the popover goes, and its open/close life, on the offscreen platform.
#include "platform/PopoverHost.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QVBoxLayout>

#include "support/TestDesktop.h"

namespace ovel {
namespace {

TEST(PopoverHost, PlacementKeepsToTheScreenAndTheAnchor) {
  const QRect belowTopPanel(0, 30, 1280, 770);
  const QRect aboveBottomPanel(0, 0, 1280, 770);
  const QRect besideLeftPanel(30, 0, 1336, 768);
  const QRect besideRightPanel(0, 0, 1336, 768);
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
      {"beside an icon in a left panel", {300, 400}, {4, 500, 22, 22}, besideLeftPanel, {30, 310}},
      {"beside an icon in a left panel the area holds", {300, 400}, {4, 500, 22, 22}, {0, 0, 1366, 768}, {26, 310}},
      {"beside an icon high in a left panel", {300, 400}, {4, 4 + 40, 22, 22}, besideLeftPanel, {30, 0}},
      {"beside an icon low in a right panel", {300, 400}, {1340, 700, 22, 22}, besideRightPanel, {1036, 368}},
      {"tall beside an icon just below the middle", {300, 700}, {4, 400, 22, 22}, besideLeftPanel, {30, 60}},
  };
  for (const auto& c : cases) EXPECT_EQ(PopoverHost::placement(c.size, c.anchor, c.available), c.expected) << c.name;
}

TEST(PopoverHost, TheUsableAreaLeavesTheItemsPanelClear) {
  const QRect screen(0, 0, 1366, 768);
  struct Case {
    const char* name;
    QRect anchor;
    QRect available;
    QRect expected;
  } cases[] = {
      {"an item in a top panel the screen's area still holds", {1300, 4, 22, 22}, screen, {0, 26, 1366, 742}},
      {"an item in a bottom panel", {1300, 742, 22, 22}, screen, {0, 0, 1366, 742}},
      {"a top panel already outside the area", {1300, 4, 22, 22}, {0, 30, 1366, 738}, {0, 30, 1366, 738}},
      {"a bottom panel already outside the area", {1300, 742, 22, 22}, {0, 0, 1366, 738}, {0, 0, 1366, 738}},
      {"a point: the cursor or a click", {640, 300, 1, 1}, screen, screen},
      {"an item just below the middle of a left panel: the whole height",
       {4, 400, 22, 22},
       {30, 0, 1336, 768},
       {30, 0, 1336, 768}},
      {"a left panel the screen's area still holds", {4, 400, 22, 22}, screen, {26, 0, 1340, 768}},
      {"a right panel", {1340, 400, 22, 22}, {0, 0, 1336, 768}, {0, 0, 1336, 768}},
      {"a right panel the screen's area still holds", {1340, 400, 22, 22}, screen, {0, 0, 1340, 768}},
      {"an item in the corner of a top panel is under it", {2, 2, 22, 22}, screen, {0, 24, 1366, 744}},
  };
  for (const auto& c : cases) EXPECT_EQ(PopoverHost::usableArea(c.anchor, c.available), c.expected) << c.name;
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

// Content that would rather be taller than any screen, and can do with less.
class TallContent final : public QWidget {
 public:
  QSize sizeHint() const override { return {240, 5000}; }
  QSize minimumSizeHint() const override { return {240, 50}; }
};

TEST(PopoverHost, NeverTallerThanTheScreenItOpensOn) {
  PopoverHost popover;
  popover.setContent(new TallContent);
  QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  for (QRect anchor : {QRect(300, 0, 22, 22), QRect(300, available.bottom() - 22, 22, 22), QRect(300, 300, 1, 1)}) {
    popover.show(anchor);
    QRect usable = PopoverHost::usableArea(anchor, available);
    EXPECT_EQ(popover.window()->height(), usable.height());
    EXPECT_TRUE(usable.contains(popover.window()->geometry())) << "under or above the anchor, on the screen";
    popover.close();
  }
}

// A column like the popover's: fixed width, a card holding a wrapped
// message, and a footer.
struct Column {
  QWidget* content = new QWidget;
  QVBoxLayout* layout = new QVBoxLayout(content);
  QFrame* card = new QFrame;
  QVBoxLayout* cardLayout = new QVBoxLayout(card);
  QLabel* message = new QLabel(QStringLiteral("Reading your usage\u2026"));
  QLabel* footer = new QLabel(QStringLiteral("Dashboard    Settings    Quit"));

  Column() {
    content->setFixedWidth(300);
    message->setWordWrap(true);
    cardLayout->addWidget(message);
    layout->addWidget(new QLabel(QStringLiteral("No usage data yet")));
    layout->addWidget(card);
    layout->addWidget(footer);
  }
  // A failed probe says why, at length.
  void fail() {
    message->setText(QStringLiteral("Couldn't find the claude command. Install Claude Code, or set its path in "
                                    "Settings. ")
                         .repeated(3));
  }
  // And a second message comes below the first.
  QLabel* addNote() {
    auto* note = new QLabel(QStringLiteral("A note that also wraps over a line or two of the card. ").repeated(2));
    note->setWordWrap(true);
    cardLayout->addWidget(note);
    return note;
  }
};

// The whole of `child` lies inside the window, at no less than its height
// for its width.
void expectWhole(const PopoverHost& popover, const QWidget* child, const char* what) {
  QRect place(child->mapTo(popover.window(), QPoint()), child->size());
  EXPECT_TRUE(popover.window()->rect().contains(place)) << what;
  int wanted = child->hasHeightForWidth() ? child->heightForWidth(child->width()) : child->sizeHint().height();
  EXPECT_GE(child->height(), wanted) << what;
}

TEST(PopoverHost, TakesItsContentsSizeOnEveryShowingAndWhileOpen) {
  PopoverHost popover;
  Column column;
  popover.setContent(column.content);
  // Above an icon in a bottom panel: a taller window starts higher.
  QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  QRect anchor(300, available.bottom() - 22, 22, 22);
  popover.show(anchor);
  int shortHeight = popover.window()->height();
  popover.close();

  column.fail();
  popover.show(anchor);
  EXPECT_GT(popover.window()->height(), shortHeight);
  expectWhole(popover, column.message, "message");
  expectWhole(popover, column.footer, "footer after growing while closed");
  EXPECT_EQ(popover.window()->pos(), PopoverHost::placement(popover.window()->size(), anchor, available));

  QLabel* note = column.addNote();
  int before = popover.window()->height();
  ASSERT_TRUE(test::waitUntil([&] { return popover.window()->height() > before; }));
  expectWhole(popover, note, "note");
  expectWhole(popover, column.footer, "footer after growing while open");
  EXPECT_EQ(popover.window()->pos(), PopoverHost::placement(popover.window()->size(), anchor, available))
      << "moved up for its new size";
}

}  // namespace
}  // namespace ovel

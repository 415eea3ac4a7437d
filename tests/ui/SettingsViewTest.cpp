#include "settings/SettingsView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>

#include <sys/stat.h>

#include "ViewHarness.h"
#include "settings/AboutTab.h"
#include "settings/ClaudeCodeTab.h"
#include "settings/FormSection.h"
#include "settings/GeneralTab.h"
#include "settings/MenuBarItemList.h"
#include "settings/MenuBarPreview.h"
#include "ui/Divider.h"
#include "ui/IconLabel.h"
#include "ui/MenuBarRow.h"
#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

using test::at;
using test::kStart;

std::vector<MenuBarItem> order(const Preferences& preferences) {
  std::vector<MenuBarItem> items;
  for (const auto& entry : preferences.menuBarLayout()) items.push_back(entry.item);
  return items;
}

TEST(SettingsTextTest, GlyphStylesAndIntervals) {
  EXPECT_EQ(GeneralTab::styleLabel(GlyphStyle::usage), "Usage");
  EXPECT_EQ(GeneralTab::styleLabel(GlyphStyle::steer), "Ovel direction");
  EXPECT_EQ(GeneralTab::styleLabel(GlyphStyle::usageAndSteer), "Usage and ovel direction");
  EXPECT_EQ(GeneralTab::styleCaption(GlyphStyle::steer), "Arrow up = room to speed up, down = ease off.");
  EXPECT_EQ(GeneralTab::styleCaption(GlyphStyle::usage),
            "Arc = used, hand = even ovel. Continuous ring = 5-hour session, seven segments = week.");
  std::vector<std::string> labels;
  for (double minutes : GeneralTab::kIntervals) labels.push_back(GeneralTab::intervalLabel(minutes));
  EXPECT_EQ(labels, (std::vector<std::string>{"2 minutes", "5 minutes", "10 minutes", "15 minutes", "30 minutes"}));
}

TEST(SettingsTextTest, ListPositionsAndDrops) {
  std::vector<MenuBarEntry> layout = {{MenuBarItem::weekRing, true}, {MenuBarItem::sessionRing, false}};
  EXPECT_EQ(MenuBarItemList::rowPosition(layout, MenuBarItem::sessionRing), 1);
  EXPECT_EQ(MenuBarItemList::rowPosition(layout, MenuBarItem::ovelFactor), 0) << "no entry counts as the first";
  struct Row {
    int from, gap, landing;
  } drops[] = {{8, 0, 0}, {0, 2, 1}, {0, 9, 8}, {3, 3, 3}, {3, 4, 3}, {5, 1, 1}};
  for (const auto& drop : drops) EXPECT_EQ(MenuBarItemList::landingIndex(drop.from, drop.gap), drop.landing);
  std::vector<double> centres = {10, 30, 50};
  EXPECT_EQ(MenuBarItemList::gapAt(centres, 0), 0);
  EXPECT_EQ(MenuBarItemList::gapAt(centres, 25), 1);
  EXPECT_EQ(MenuBarItemList::gapAt(centres, 60), 3);

  // Rows 20 high with 13 between them, in a list 86 high: the line of the
  // first and the last place stays inside the list, whole.
  std::vector<std::pair<int, int>> rows = {{0, 19}, {33, 52}, {66, 85}};
  EXPECT_EQ(MenuBarItemList::dropLineY(0, rows, 86), 1);
  EXPECT_EQ(MenuBarItemList::dropLineY(1, rows, 86), 29.5);
  EXPECT_EQ(MenuBarItemList::dropLineY(2, rows, 86), 62.5);
  EXPECT_EQ(MenuBarItemList::dropLineY(3, rows, 86), 85);
}

TEST(SettingsTextTest, ClaudeCodeStates) {
  using State = StatusLineIntegration::State;
  struct Row {
    State state;
    bool kept;
    const char* text;
    std::optional<Symbol> symbol;
    ThemeColor color;
  } rows[] = {
      {State::notInstalled(), false, "Not connected", std::nullopt, ThemeColor::of(ColorRole::secondary)},
      {State::stale("old ovel-bridge"), false, "Needs reconnecting", Symbol::exclamationmarkTriangleFill,
       ThemeColor::systemOrange()},
      {State::installed(), false, "Connected", Symbol::checkmarkCircleFill, ThemeColor::systemGreen()},
      {State::installed(), true, "Connected \u00B7 your status line kept", Symbol::checkmarkCircleFill,
       ThemeColor::systemGreen()},
  };
  for (const auto& row : rows) {
    auto line = ClaudeCodeTab::statusLineState(row.state, row.kept);
    EXPECT_EQ(line.text, QString::fromUtf8(row.text));
    EXPECT_EQ(line.symbol, row.symbol) << row.text;
    EXPECT_TRUE(line.color == row.color) << row.text;
  }
  EXPECT_EQ(ClaudeCodeTab::workingText(44), "Working \u00B7 just now");
  EXPECT_EQ(ClaudeCodeTab::workingText(45), "Working \u00B7 1m ago");
  EXPECT_EQ(ClaudeCodeTab::workingText(10800), "Working \u00B7 3h ago");

  using Form = ClaudeCodeTab::ProbeStatus::Form;
  EXPECT_EQ(ClaudeCodeTab::probeStatus(true, "failed", kStart, at(10)).form, Form::spinner);
  auto error = ClaudeCodeTab::probeStatus(false, "claude not found\n", kStart, at(10));
  EXPECT_EQ(error.form, Form::error);
  EXPECT_EQ(error.text, QStringLiteral("claude not found"));
  EXPECT_EQ(ClaudeCodeTab::probeStatus(false, std::nullopt, kStart, at(10)).text,
            QStringLiteral("Working \u00B7 just now"));
  EXPECT_EQ(ClaudeCodeTab::probeStatus(false, std::nullopt, std::nullopt, at(10)).form, Form::nothing);
  EXPECT_EQ(AboutTab::versionText({}), QStringLiteral("Version Dev"));
  EXPECT_EQ(AboutTab::versionText(QStringLiteral("0.1.0")), QStringLiteral("Version 0.1.0"));
}

class SettingsViewTest : public test::ViewTest {
 protected:
  SettingsView& settings() {
    if (!view) view = std::make_unique<SettingsView>(preferences, integrations, *model);
    view->rebuild();
    layOut(*view, 520, 600);
    return *view;
  }
  MenuBarItemList& list() { return *test::onlyChildOf<MenuBarItemList>(*settings().general()); }
  std::unique_ptr<SettingsView> view;
};

TEST_F(SettingsViewTest, OpensOnGeneralWithTheDefaults) {
  SettingsView& s = settings();
  EXPECT_EQ(s.tabs()->currentIndex(), 0);
  EXPECT_EQ(s.tabs()->tabText(1), QStringLiteral("Claude Code"));
  GeneralTab& general = *s.general();
  EXPECT_EQ(general.styleBox()->currentText(), QStringLiteral("Usage and ovel direction"));
  EXPECT_EQ(general.intervalBox()->count(), 5);
  EXPECT_EQ(general.intervalBox()->currentText(), QStringLiteral("5 minutes"));
  EXPECT_FALSE(general.launchAtLogin()->isEnabled()) << "no login item to manage";
  EXPECT_EQ(general.traySection()->footer()->text(),
            QString::fromStdString(GeneralTab::styleCaption(GlyphStyle::usageAndSteer)));
  EXPECT_EQ(list().rows().size(), kAllMenuBarItems.size());
}

TEST_F(SettingsViewTest, TheHotKeyProblemHasARowOfItsOwn) {
  GeneralTab& general = *settings().general();
  QCheckBox* launch = general.launchAtLogin();
  TextView* problem = general.hotKeyProblemView();
  FormSection* section = nullptr;
  for (QWidget* up = launch; up && !section; up = up->parentWidget()) section = dynamic_cast<FormSection*>(up);
  ASSERT_NE(section, nullptr);
  auto shownHairlines = [&] {
    std::vector<Divider*> shown;
    for (Divider* hairline : test::childrenOf<Divider>(*section))
      if (hairline->isVisibleTo(section)) shown.push_back(hairline);
    return shown;
  };
  EXPECT_FALSE(problem->isVisibleTo(section));
  EXPECT_TRUE(shownHairlines().empty()) << "the login switch alone, without a stray hairline";

  general.setHotKeyProblem(QStringLiteral("Ctrl+Alt+P is in use by another program, so it can't open Ovel."));
  settings();
  ASSERT_TRUE(problem->isVisibleTo(section));
  auto top = [&](const QWidget* widget) { return widget->mapTo(section, QPoint()).y(); };
  auto hairlines = shownHairlines();
  ASSERT_EQ(hairlines.size(), 1u) << "a row of its own";
  EXPECT_GE(top(hairlines[0]), top(launch) + launch->height()) << "the hairline below the login switch";
  EXPECT_GE(top(problem), top(hairlines[0]) + hairlines[0]->height()) << "and the message below it";
  EXPECT_FALSE(launch->parentWidget()->isAncestorOf(problem)) << "not in the login switch's row";

  general.setHotKeyProblem({});
  EXPECT_TRUE(shownHairlines().empty()) << "gone with its row";
}

TEST_F(SettingsViewTest, PickersWriteThrough) {
  GeneralTab& general = *settings().general();
  emit general.intervalBox()->activated(2);
  EXPECT_EQ(preferences.refreshMinutes(), 10.0);
  EXPECT_EQ(defaults.doubleValue(QStringLiteral("refreshMinutes")), 10.0);
  emit general.styleBox()->activated(1);
  EXPECT_EQ(preferences.glyphStyle(), GlyphStyle::steer);
  settings();
  EXPECT_EQ(general.traySection()->footer()->text(), QStringLiteral("Arrow up = room to speed up, down = ease off."));
  preferences.setRefreshMinutes(7);
  settings();
  EXPECT_EQ(general.intervalBox()->currentIndex(), -1) << "a stored 7 is none of the five";
  EXPECT_EQ(preferences.refreshMinutes(), 7) << "and stays as stored";
}

TEST_F(SettingsViewTest, ArrowsAreDisabledAtTheEndsAndMoveOnePlace) {
  list();
  const auto& rows = list().rows();
  EXPECT_FALSE(rows.front().left->isEnabled());
  EXPECT_TRUE(rows.front().right->isEnabled());
  EXPECT_TRUE(rows[4].left->isEnabled());
  EXPECT_TRUE(rows[4].right->isEnabled());
  EXPECT_FALSE(rows.back().right->isEnabled());
  // The arrows point along the list; what they say is the way an item goes
  // in the tray, left to right as the footer says.
  for (const auto& row : rows) {
    EXPECT_EQ(row.left->toolTip(), QStringLiteral("Move left"));
    EXPECT_EQ(row.right->toolTip(), QStringLiteral("Move right"));
    EXPECT_EQ(row.left->accessibleName(), QStringLiteral("Move left"));
    EXPECT_EQ(row.right->accessibleName(), QStringLiteral("Move right"));
  }
  auto before = order(preferences);
  rows.front().right->click();
  auto after = order(preferences);
  EXPECT_EQ(after[0], before[1]);
  EXPECT_EQ(after[1], before[0]);
  EXPECT_TRUE(defaults.dataValue(QStringLiteral("menuBarLayout")).has_value()) << "stored at once";
  list();
  EXPECT_EQ(list().rows().front().item, before[1]) << "the rows follow";
}

TEST_F(SettingsViewTest, DraggingTheLastRowToTheTopMakesItFirst) {
  MenuBarItemList& items = list();
  auto before = order(preferences);
  QWidget* last = items.rows().back().widget;
  QWidget* first = items.rows().front().widget;
  // Pressed on the row's free space, between the checkbox and the arrows.
  QPoint start(last->geometry().center().x(), last->geometry().center().y());
  QPoint end(start.x(), first->geometry().top());
  auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, items.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&items, &event);
  };
  send(QEvent::MouseButtonPress, start, Qt::LeftButton);
  send(QEvent::MouseMove, start - QPoint(0, 20), Qt::LeftButton);
  send(QEvent::MouseMove, end, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, end, Qt::NoButton);
  auto after = order(preferences);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.front(), before.back());
  std::sort(after.begin(), after.end());
  std::sort(before.begin(), before.end());
  EXPECT_EQ(after, before) << "every item exactly once";
}

TEST_F(SettingsViewTest, PreviewIsTheTrayImage) {
  showDemo(Demo::Scenario::atRisk);
  preferences.setMenuBarLayout({{MenuBarItem::weekRing, true}, {MenuBarItem::sessionPercent, false}});
  auto* shownPreview = test::onlyChildOf<MenuBarPreview>(*settings().general());
  ASSERT_NE(shownPreview, nullptr);
  MenuBarPreview& preview = *shownPreview;
  QImage shown = preview.image(Qt::black);
  QImage tray = MenuBarRow::image(MenuBarRow::parts(preferences.menuBarItems(), GlyphInputs::of(*model)),
                                  preferences.glyphStyle(), preferences.colorWhenAtRisk(), Qt::black, 2);
  EXPECT_EQ(shown, tray);
  // A ticked text item without data stays out; nothing ticked gives the tightest ring.
  preferences.setMenuBarLayout({{MenuBarItem::sessionsLeft, false}});
  EXPECT_EQ(preview.image(Qt::black).width(), 16 * 2);
}

TEST_F(SettingsViewTest, RefreshesTheIntegrationsEachTimeItIsShown) {
  int reads = 0;
  Integrations counted(AppBundle{QStringLiteral("ovel"), dir / "Ovel"}, std::make_unique<test::FakeLoginItem>(reads),
                       integrationIn(dir.path()));
  SettingsView view(preferences, counted, *model);
  view.setAttribute(Qt::WA_DontShowOnScreen);
  EXPECT_TRUE(view.general()->launchAtLogin()->isEnabled());
  int shown = reads;
  view.show();
  EXPECT_EQ(reads, shown + 1);
  view.hide();
  view.show();
  EXPECT_EQ(reads, shown + 2);
}

TEST_F(SettingsViewTest, ClaudeCodeTabShowsTheConnectionAndTheSearch) {
  test::writeText(dir / "bin-claude/claude", "#!/bin/sh\n");
  ::chmod((dir / "bin-claude/claude").c_str(), 0755);
  test::ScopedEnv path("PATH", (dir / "bin-claude").string());
  ClaudeCodeTab& tab = *settings().claudeCode();
  EXPECT_EQ(tab.connectButton()->text(), QStringLiteral("Connect"));
  EXPECT_EQ(tab.stateLabel()->textView()->text(), QStringLiteral("Not connected"));
  EXPECT_TRUE(tab.stateLabel()->symbolView()->isHidden());
  auto* pathField = test::onlyChildOf<QLineEdit>(tab);
  ASSERT_NE(pathField, nullptr);
  EXPECT_EQ(pathField->placeholderText(), QString::fromStdString((dir / "bin-claude/claude").string()));

  test::writeText(integrationIn(dir.path()).settingsURL,
                  R"({"statusLine":{"type":"command","command":)" +
                      nlohmann::json(StatusLineIntegration::relayCommand(dir / "bin/ovel-bridge")).dump() + "}}");
  integrations.refresh();
  settings();
  EXPECT_EQ(tab.connectButton()->text(), QStringLiteral("Disconnect"));
  EXPECT_EQ(tab.stateLabel()->textView()->text(), QStringLiteral("Connected"));

  integrations.disconnect();
  settings();
  EXPECT_EQ(tab.errorLine()->text(), QStringLiteral("Ovel isn't connected to Claude Code's status line."));
  EXPECT_FALSE(tab.errorLine()->isHidden());
}

TEST_F(SettingsViewTest, CheckNowShowsTheProbe) {
  startAndSettle();
  ClaudeCodeTab& tab = *settings().claudeCode();
  EXPECT_FALSE(tab.probeResult()->isHidden());
  EXPECT_TRUE(tab.probeResult()->textView()->text().startsWith(QStringLiteral("Working \u00B7 ")));
  // Beside the taller button, the check mark stands level with its text.
  view->tabs()->setCurrentIndex(1);
  settings();
  auto middleIn = [&](QWidget* part, int height) { return part->mapTo(&tab, QPoint(0, height / 2)).y(); };
  TextView* text = tab.probeResult()->textView();
  EXPECT_EQ(middleIn(tab.probeResult()->symbolView(), tab.probeResult()->symbolView()->height()),
            middleIn(text, TextView::lineHeight(text->textFont())));
  EXPECT_NEAR(middleIn(text, text->height()), middleIn(tab.checkButton(), tab.checkButton()->height()), 1);
  probe->work.hold = true;
  tab.checkButton()->click();
  ASSERT_TRUE(model->isProbing());
  settings();
  EXPECT_FALSE(tab.checkButton()->isEnabled());
  EXPECT_FALSE(tab.probeSpinner()->isHidden());
  EXPECT_TRUE(tab.probeResult()->isHidden()) << "the spinner replaces the result";
  probe->work.finish(ProbeOutcome::failure("claude was not found"));
  settings();
  EXPECT_EQ(tab.probeResult()->textView()->text(), QStringLiteral("claude was not found"));
  EXPECT_TRUE(tab.probeSpinner()->isHidden());
}

}  // namespace
}  // namespace ovel

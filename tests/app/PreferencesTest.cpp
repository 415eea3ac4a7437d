#include "model/Preferences.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

#include "support/OddFiles.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

using enum MenuBarItem;

std::vector<MenuBarEntry> entries(std::initializer_list<std::pair<MenuBarItem, bool>> list) {
  std::vector<MenuBarEntry> result;
  for (auto [item, on] : list) result.push_back({item, on});
  return result;
}

std::vector<MenuBarEntry> layoutFrom(std::initializer_list<std::pair<const char*, QVariant>> stored) {
  MemoryDefaultsStore store;
  for (const auto& [name, value] : stored) store.setValue(name, value);
  return Preferences(store).menuBarLayout();
}

QVariant data(const char* json) { return QByteArray(json); }

TEST(PreferencesTest, FirstStartUsesTheRegisteredDefaults) {
  MemoryDefaultsStore store;
  Preferences preferences(store);
  EXPECT_EQ(preferences.refreshMinutes(), 5.0);
  EXPECT_TRUE(preferences.colorWhenAtRisk());
  EXPECT_TRUE(preferences.notifyAtRisk());
  EXPECT_TRUE(preferences.notifyLimited());
  EXPECT_TRUE(preferences.notifyReset());
  EXPECT_TRUE(preferences.useLocalActivity());
  EXPECT_EQ(preferences.claudePathOverride(), QString());
  EXPECT_EQ(preferences.glyphStyle(), GlyphStyle::usageAndSteer);
  EXPECT_EQ(preferences.menuBarLayout(), entries({{tightestRing, true},
                                                  {sessionPercent, true},
                                                  {sessionRing, false},
                                                  {sessionReset, false},
                                                  {weekRing, false},
                                                  {weekPercent, false},
                                                  {weekReset, false},
                                                  {ovelFactor, false},
                                                  {sessionsLeft, false}}));
  EXPECT_EQ(preferences.menuBarItems(), (std::vector{tightestRing, sessionPercent}));
  EXPECT_EQ(store.writeCount(), 0) << "loading writes nothing back";
}

TEST(PreferencesTest, LayoutLoadingAndMigration) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, QVariant>> stored;
    std::vector<MenuBarItem> expectedOn;
  } cases[] = {
      {"both rings, both texts",
       {{"steerWindow", "both"}, {"menuBarText", "sessionAndWeek"}},
       {sessionRing, sessionPercent, weekRing, weekPercent}},
      {"week ring, both texts",
       {{"steerWindow", "week"}, {"menuBarText", "sessionAndWeek"}},
       {weekRing, weekPercent, sessionPercent}},
      {"binding, no text", {{"steerWindow", "binding"}, {"menuBarText", "none"}}, {tightestRing}},
      {"unknown legacy values", {{"steerWindow", "Both"}, {"menuBarText", "x"}}, {tightestRing, sessionPercent}},
      {"empty array: no migration", {{"menuBarLayout", data("[]")}}, {}},
      {"object: migration", {{"menuBarLayout", data("{}")}, {"menuBarText", "ovelFactor"}}, {tightestRing, ovelFactor}},
      {"text, not data: migration", {{"menuBarLayout", "[]"}}, {tightestRing, sessionPercent}},
      {"duplicate keeps the first",
       {{"menuBarLayout", data(R"([{"item":"weekRing","isOn":false},{"item":"weekRing","isOn":true}])")}},
       {}},
      {"bad elements dropped",
       {{"menuBarLayout",
         data(R"([{"item":"weekReset","isOn":true},{"item":"bogus","isOn":true},{"item":"ovelFactor"},)"
              R"(3,{"isOn":true,"item":"sessionRing","extra":1}])")}},
       {weekReset, sessionRing}},
  };
  for (const auto& c : cases) {
    MemoryDefaultsStore store;
    for (const auto& [name, value] : c.stored) store.setValue(name, value);
    Preferences preferences(store);
    EXPECT_EQ(preferences.menuBarItems(), c.expectedOn) << c.name;
    ASSERT_EQ(preferences.menuBarLayout().size(), kAllMenuBarItems.size()) << c.name;
  }
  auto kept = layoutFrom({{"menuBarLayout", data(R"([{"item":"weekReset","isOn":true},{"item":"x","isOn":true},)"
                                                 R"({"item":"tightestRing","isOn":false}])")}});
  EXPECT_EQ(kept, entries({{weekReset, true},
                           {tightestRing, false},
                           {sessionRing, false},
                           {sessionPercent, false},
                           {sessionReset, false},
                           {weekRing, false},
                           {weekPercent, false},
                           {ovelFactor, false},
                           {sessionsLeft, false}}));
}

TEST(PreferencesTest, AssignmentsWriteAlwaysAndNotifyOnChange) {
  MemoryDefaultsStore store;
  Preferences preferences(store);
  QSignalSpy spy(&preferences, &Preferences::notifyResetChanged);
  preferences.setNotifyReset(true);
  EXPECT_EQ(spy.count(), 0);
  EXPECT_EQ(store.writeCount(), 1);
  preferences.setNotifyReset(false);
  EXPECT_EQ(spy.count(), 1);
  EXPECT_FALSE(store.boolValue("notifyReset"));

  QSignalSpy styleSpy(&preferences, &Preferences::glyphStyleChanged);
  preferences.setGlyphStyle(GlyphStyle::steer);
  preferences.setGlyphStyle(GlyphStyle::steer);
  EXPECT_EQ(styleSpy.count(), 1);
  EXPECT_EQ(store.stringValue("glyphStyle"), QString("steer"));
  EXPECT_EQ(Preferences(store).glyphStyle(), GlyphStyle::steer);
}

TEST(PreferencesTest, MovingItems) {
  MemoryDefaultsStore store;
  Preferences preferences(store);
  QSignalSpy spy(&preferences, &Preferences::menuBarLayoutChanged);
  preferences.moveMenuBarItem(tightestRing, -1);
  preferences.moveMenuBarItem(sessionsLeft, +1);
  EXPECT_EQ(spy.count(), 0);
  EXPECT_EQ(store.writeCount(), 0);

  preferences.moveMenuBarItem(sessionPercent, -1);
  EXPECT_EQ(spy.count(), 1);
  EXPECT_EQ(preferences.menuBarItems(), (std::vector{sessionPercent, tightestRing}));
  EXPECT_EQ(Preferences(store).menuBarLayout(), preferences.menuBarLayout()) << "the whole layout was saved";

  preferences.setMenuBarItemOn(weekRing, true);
  preferences.moveMenuBarEntry(4, 0);
  EXPECT_EQ(preferences.menuBarItems(), (std::vector{weekRing, sessionPercent, tightestRing}));
  EXPECT_EQ(spy.count(), 3);
}

TEST(PreferencesTest, GarbledValuesReadSafely) {
  struct Case {
    QVariant stored;
    double read;
    double effective;
  } cases[] = {
      {"abc", 0, 5}, {"0", 0, 5}, {-3.0, -3, 5}, {"0.25", 0.25, 1}, {"10", 10, 10}, {2.0, 2, 2},
  };
  for (const auto& c : cases) {
    MemoryDefaultsStore store;
    store.setValue("refreshMinutes", c.stored);
    Preferences preferences(store);
    EXPECT_EQ(preferences.refreshMinutes(), c.read) << c.stored.toString().toStdString();
    EXPECT_EQ(preferences.effectiveRefreshMinutes(), c.effective) << c.stored.toString().toStdString();
  }
  MemoryDefaultsStore store;
  store.setValue("refreshMinutes", "nan");
  store.setValue("glyphStyle", "Steer");
  store.setValue("notifyAtRisk", "no");
  store.setValue("notifyLimited", "garbage");
  Preferences preferences(store);
  EXPECT_TRUE(std::isnan(preferences.refreshMinutes()));
  EXPECT_EQ(preferences.effectiveRefreshMinutes(), 5);
  EXPECT_EQ(preferences.glyphStyle(), GlyphStyle::usageAndSteer);
  EXPECT_FALSE(preferences.notifyAtRisk());
  EXPECT_FALSE(preferences.notifyLimited());
}

TEST(PreferencesTest, SettingsFileRoundTrip) {
  QTemporaryDir dir;
  auto open = [&] { return std::make_unique<QSettings>(dir.filePath("Ovel.conf"), QSettings::IniFormat); };
  {
    SettingsDefaultsStore store(open());
    Preferences preferences(store);
    preferences.setRefreshMinutes(15);
    preferences.setColorWhenAtRisk(false);
    preferences.setClaudePathOverride("/opt/claude/bin/claude");
    preferences.moveMenuBarItem(sessionPercent, -1);
  }
  SettingsDefaultsStore store(open());
  Preferences preferences(store);
  EXPECT_EQ(preferences.refreshMinutes(), 15);
  EXPECT_FALSE(preferences.colorWhenAtRisk());
  EXPECT_EQ(preferences.claudePathOverride(), "/opt/claude/bin/claude");
  EXPECT_EQ(preferences.menuBarItems(), (std::vector{sessionPercent, tightestRing}));
}

// Qt would wait for ever on a FIFO in place of its settings file and read a
// huge one whole: the user's settings then live in memory, and the file
// stays as it is.
TEST(PreferencesTest, AnUnusableSettingsFileIsLeftAloneAndSettingsLiveInMemory) {
  for (test::SpecialFile kind : test::kSpecialFiles) {
    SCOPED_TRACE(test::nameOf(kind));
    test::TempDir dir;
    test::ScopedEnv config("XDG_CONFIG_HOME", dir.path().string());
    std::filesystem::path file = dir / "Ovel/Ovel.conf";
    test::makeSpecialFile(file, kind, 4 * 1024 * 1024);
    auto type = std::filesystem::symlink_status(file).type();
    {
      SettingsDefaultsStore store(openUserSettings());
      Preferences preferences(store);
      preferences.setRefreshMinutes(15);
      EXPECT_EQ(preferences.refreshMinutes(), 15);
    }
    EXPECT_EQ(std::filesystem::symlink_status(file).type(), type);
  }
}

// The settings kept in memory save into a file of their own in a private
// folder, one for the whole run: Qt's lock and temporary files never land in
// the working folder, where an old ".lock" of someone else's would be taken
// for a stale one of Qt's and deleted, and nothing fails at the quit.
TEST(PreferencesTest, SettingsInMemoryLeaveTheWorkingFolderAlone) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  test::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").string());
  test::makeSpecialFile(dir / "config/Ovel/Ovel.conf", test::SpecialFile::fifo, 0);
  test::writeText(dir / "work/.lock", "someone else's");
  fs::last_write_time(dir / "work/.lock", fs::file_time_type::clock::now() - std::chrono::hours(1));
  struct WorkingFolder {
    fs::path previous = fs::current_path();
    explicit WorkingFolder(const fs::path& folder) { fs::current_path(folder); }
    ~WorkingFolder() { fs::current_path(previous); }
  } working(dir / "work");
  {
    SettingsDefaultsStore store(openUserSettings());
    Preferences preferences(store);
    preferences.setRefreshMinutes(15);
    std::unique_ptr<QSettings> windowPlaces = openUserSettings();
    windowPlaces->setValue("dashboard/geometry", QByteArray("place"));
    windowPlaces->sync();
    EXPECT_EQ(windowPlaces->status(), QSettings::NoError);
    EXPECT_EQ(preferences.refreshMinutes(), 15);
    EXPECT_EQ(windowPlaces->value("refreshMinutes").toDouble(), 15) << "one file for the run, as normally";
  }
  EXPECT_EQ(test::readText(dir / "work/.lock"), "someone else's");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "work"), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_fifo(dir / "config/Ovel/Ovel.conf"));
}

TEST(PreferencesTest, TheUsersSettingsFileKeepsWhatWasSet) {
  test::TempDir dir;
  test::ScopedEnv config("XDG_CONFIG_HOME", dir.path().string());
  {
    SettingsDefaultsStore store(openUserSettings());
    Preferences(store).setRefreshMinutes(15);
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "Ovel/Ovel.conf"));
  SettingsDefaultsStore store(openUserSettings());
  EXPECT_EQ(Preferences(store).refreshMinutes(), 15);
}

}  // namespace
}  // namespace ovel

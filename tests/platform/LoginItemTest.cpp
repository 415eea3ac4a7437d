// The autostart entry: where it goes, what it says, and when it counts.
#include "platform/AutostartLoginItem.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::readText;
using test::ScopedEnv;
using test::TempDir;
using test::writeText;

class LoginItemTest : public ::testing::Test {
 protected:
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path().string()};
  ScopedEnv configEnv{"XDG_CONFIG_HOME", (home / "config").string()};
  fs::path executable = home / "opt/Ovel/bin/ovel";
  AutostartLoginItem item{executable};

  void SetUp() override { writeText(executable, "#!/bin/sh\n"); }
  fs::path entry() const { return home / "config/autostart/ovel.desktop"; }
};

TEST_F(LoginItemTest, EntryFollowsConfigHome) {
  EXPECT_EQ(item.entryPath(), entry());
  for (const char* ignored : {"", "relative/config"}) {
    ScopedEnv unusable("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(item.entryPath(), home / ".config/autostart/ovel.desktop") << ignored;
  }
}

TEST_F(LoginItemTest, RegisterWritesEntryAndUnregisterRemovesIt) {
  EXPECT_FALSE(item.isEnabled());
  EXPECT_EQ(item.registerItem(), std::nullopt);
  EXPECT_EQ(readText(entry()),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Ovel\n"
            "Comment=Paces your Claude Code plan limits\n"
            "Exec=" +
                executable.string() +
                "\n"
                "Icon=ovel\n"
                "Terminal=false\n"
                "X-GNOME-Autostart-enabled=true\n");
  EXPECT_TRUE(item.isEnabled());

  EXPECT_EQ(item.unregisterItem(), std::nullopt);
  EXPECT_FALSE(fs::exists(entry()));
  EXPECT_FALSE(item.isEnabled());
  EXPECT_EQ(item.unregisterItem(), std::nullopt) << "a missing entry is no error";
}

TEST_F(LoginItemTest, EnabledOnlyWhileEntryStartsUsAndIsNotSwitchedOff) {
  struct Case {
    const char* name;
    std::string text;
    bool enabled;
  } cases[] = {
      {"ours", "[Desktop Entry]\nExec=" + executable.string() + "\n", true},
      {"ours with arguments", "[Desktop Entry]\nExec=" + executable.string() + " --quiet %U\n", true},
      {"spaces around =", "[Desktop Entry]\nExec = " + executable.string() + "\n", true},
      {"another program", "[Desktop Entry]\nExec=/usr/bin/other\n", false},
      {"hidden", "[Desktop Entry]\nExec=" + executable.string() + "\nHidden=true\n", false},
      {"switched off in GNOME", "[Desktop Entry]\nExec=" + executable.string() + "\nX-GNOME-Autostart-enabled=false\n",
       false},
      {"Exec in another group", "[Desktop Action x]\nExec=" + executable.string() + "\n", false},
      {"no Exec", "[Desktop Entry]\nName=Ovel\n", false},
      {"open quote", "[Desktop Entry]\nExec=\"" + executable.string() + "\n", false},
  };
  for (const auto& c : cases) {
    writeText(entry(), c.text);
    EXPECT_EQ(item.isEnabled(), c.enabled) << c.name;
  }
}

TEST_F(LoginItemTest, EntryThroughALinkStillCounts) {
  fs::path link = home / "ovel-link";
  fs::create_symlink(executable, link);
  writeText(entry(), "[Desktop Entry]\nExec=" + link.string() + "\n");
  EXPECT_TRUE(item.isEnabled());
}

TEST(DesktopExec, QuotesAndEscapesByTheDesktopEntryRules) {
  struct Case {
    const char* program;
    const char* exec;
  } cases[] = {
      {"/usr/bin/ovel", "/usr/bin/ovel"},
      {"/home/a b/ovel", R"("/home/a b/ovel")"},
      {"/opt/$HOME/ovel", R"("/opt/\\$HOME/ovel")"},
      {"/opt/say \"hi\"/ovel", R"("/opt/say \\"hi\\"/ovel")"},
      {"/opt/back\\slash/ovel", R"("/opt/back\\\\slash/ovel")"},
      {"/opt/`tick`/ovel", R"("/opt/\\`tick\\`/ovel")"},
      {"/opt/100%/ovel", "/opt/100%%/ovel"},
      {"/opt/it's/ovel", R"("/opt/it's/ovel")"},
      {"/opt/new\nline/ovel", R"("/opt/new\nline/ovel")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(desktopExecValue(c.program).toStdString(), c.exec) << c.program;
    EXPECT_EQ(desktopExecProgram(QString::fromStdString(c.exec)), fs::path(c.program)) << c.exec;
  }
}

TEST_F(LoginItemTest, RegisterRoundTripsAnAwkwardPath) {
  AutostartLoginItem awkward(home / "My Apps/$weird \"name\"/100%/ovel");
  EXPECT_EQ(awkward.registerItem(), std::nullopt);
  EXPECT_TRUE(awkward.isEnabled());
  EXPECT_FALSE(item.isEnabled());
}

TEST_F(LoginItemTest, FailuresComeAsTextsNamingTheFile) {
  // A file where the autostart folder should be: fails even for root.
  writeText(entry().parent_path(), "not a folder");
  auto saved = item.registerItem();
  auto removed = item.unregisterItem();
  ASSERT_TRUE(saved && removed);
  EXPECT_EQ(saved->toStdString().rfind("Couldn't save the autostart entry " + entry().string() + ": ", 0), 0u)
      << saved->toStdString();
  EXPECT_EQ(removed->toStdString(), "Couldn't remove the autostart entry " + entry().string() + ": Not a directory");
  EXPECT_EQ(readText(entry().parent_path()), "not a folder");
}

}  // namespace
}  // namespace ovel

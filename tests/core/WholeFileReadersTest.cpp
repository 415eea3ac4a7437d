// Every file read whole, ours and Claude Code's, with a FIFO, a folder, a
// socket or an oversized file in its place: the reader returns at once with
// its own failure (an error where it reports one, else its fallback), and
// nothing the user had is replaced by it.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/claude/StatusLineIntegration.h"
#include "core/claude/StatusLineSnapshot.h"
#include "core/engine/History.h"
#include "core/engine/ResetPlan.h"
#include "core/support/TimeZone.h"
#include "core/support/ZoneFile.h"
#include "support/OddFiles.h"
#include "support/TestSupport.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;
using test::SpecialFile;
using test::TempDir;

// The kind of what lies at `path` as lstat sees it, and its size: what must
// be there still after a reader failed on it.
struct Found {
  mode_t type = 0;
  off_t size = 0;
  bool operator==(const Found&) const = default;
};

Found found(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {};
  return {static_cast<mode_t>(info.st_mode & S_IFMT), S_ISREG(info.st_mode) ? info.st_size : 0};
}

// The reason readSettings gives for each, as the settings window shows it.
std::string reasonFor(SpecialFile kind) {
  switch (kind) {
    case SpecialFile::fifo:
    case SpecialFile::socket: return "Not a regular file";
    case SpecialFile::folder: return "Is a directory";
    case SpecialFile::overLimit: return "File too large";
  }
  return {};
}

struct Reader {
  const char* file;
  std::uint64_t limit;
  std::string start;  // what the file over the limit begins with
  // Reads the file at `path` (in `folder`) and checks the outcome.
  std::function<void(const fs::path& folder, const fs::path& path, SpecialFile kind)> check;
};

const Date kNow = dateFromSeconds1970(1767225600);

const Reader kReaders[] = {
    // Lines before the limit would load if the file were read at all.
    {"history.jsonl", HistoryStore::kFileSizeLimit, "{\"k\":\"week\",\"u\":42,\"t\":86400}\n",
     [](const fs::path&, const fs::path& path, SpecialFile kind) {
       HistoryStore store(path, 691200, 600);
       EXPECT_TRUE(store.all().empty());
       EXPECT_EQ(store.loadError(), test::refusalOf(kind));
     }},
    {"reset-plan.json",
     ResetPlanStore::kFileSizeLimit,
     {},
     [](const fs::path&, const fs::path& path, SpecialFile kind) {
       ResetPlanStore store(path);
       EXPECT_EQ(store.load(), ResetPlan{});
       std::error_code problem;
       EXPECT_EQ(store.load(problem), ResetPlan{});
       EXPECT_EQ(problem, test::refusalOf(kind));
       // The first save keeps whatever was there aside, then writes the plan.
       Found before = found(path);
       ResetPlan plan{{}, 2};
       EXPECT_FALSE(store.save(plan));
       EXPECT_EQ(found(store.keptAsideUrl()), before);
       EXPECT_EQ(store.load(), plan);
     }},
    {"statusline.json",
     StatusLineSnapshot::kFileSizeLimit,
     {},
     [](const fs::path&, const fs::path& path, SpecialFile kind) {
       EXPECT_FALSE(StatusLineSnapshot::read(path));
       std::error_code error;
       EXPECT_FALSE(StatusLineSnapshot::read(path, error));
       EXPECT_EQ(error, test::refusalOf(kind));
     }},
    {"integration.json",
     StatusLineIntegration::kRecordSizeLimit,
     {},
     [](const fs::path& folder, const fs::path& path, SpecialFile) {
       StatusLineIntegration integration{folder / "settings.json", path, folder / "bin/ovel-bridge"};
       EXPECT_FALSE(integration.readRecord());
       EXPECT_FALSE(integration.downstreamCommand());
     }},
    {"settings.json",
     StatusLineIntegration::kSettingsSizeLimit,
     {},
     [](const fs::path& folder, const fs::path& path, SpecialFile kind) {
       StatusLineIntegration integration{path, folder / "integration.json", folder / "bin/ovel-bridge"};
       const auto expected = StatusLineIntegration::IntegrationError::unreadableSettings(reasonFor(kind));
       JSONValue::Object settings;
       EXPECT_EQ(integration.readSettings(settings), expected);
       StatusLineIntegration::State state = StatusLineIntegration::State::notInstalled();
       EXPECT_EQ(integration.state(state), expected);
       // Connecting must not put a file of its own in the place of the user's.
       Found before = found(path);
       EXPECT_EQ(integration.install(kNow), expected);
       EXPECT_EQ(found(path), before);
       EXPECT_FALSE(fs::exists(folder / "integration.json"));
       EXPECT_FALSE(fs::exists(integration.backupURL()));
     }},
    {"zoneinfo/Test/Zone",
     ZoneFile::kFileSizeLimit,
     {},
     [](const fs::path& folder, const fs::path&, SpecialFile) {
       test::ScopedEnv zones("TZDIR", (folder / "zoneinfo").string());
       EXPECT_FALSE(knownZone("Test/Zone"));
     }},
};

TEST(WholeFileReadersTest, ReturnAtOnceWithTheirOwnFailure) {
  for (const Reader& reader : kReaders) {
    for (SpecialFile kind : test::kSpecialFiles) {
      TempDir folder;
      const fs::path path = folder / reader.file;
      test::makeSpecialFile(path, kind, reader.limit, reader.start);
      const std::string what = std::string(reader.file) + " as " + test::nameOf(kind);
      SCOPED_TRACE(what);
      test::returnsPromptly(
          folder.path(), [&] { reader.check(folder.path(), path, kind); }, what);
    }
  }
}

}  // namespace
}  // namespace ovel

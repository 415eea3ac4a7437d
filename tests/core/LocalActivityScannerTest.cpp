// The transcript scanner: which lines become turns, how files are walked and
// read incrementally, and how repeated turns merge.
#include "core/claude/LocalActivityScanner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "core/claude/TranscriptFiles.h"
#include "core/engine/ActivitySummary.h"
#include "core/engine/EngineConstants.h"
#include "core/support/Time.h"
#include "support/OddFiles.h"
#include "support/TestSupport.h"

namespace ovel {

static void PrintTo(const ActivityEvent& event, std::ostream* out) {
  const TokenCounts& t = event.tokens;
  *out << isoString(event.timestamp) << " " << event.model << " '" << event.cwd << "' {" << std::to_string(t.input)
       << "," << std::to_string(t.output) << "," << std::to_string(t.cacheRead) << "," << std::to_string(t.cacheWrite5m)
       << "," << std::to_string(t.cacheWrite1h) << "}";
}

static void PrintTo(const ActivitySummary& summary, std::ostream* out) {
  for (const ActivityEvent& event : summary.events()) {
    PrintTo(event, out);
    *out << "; ";
  }
}

namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

Date at(const char* iso) { return parseIsoDate(iso).value(); }

// Shaped like a Claude Code 2.x assistant line: the message (model first,
// then content, then usage) and the turn's ids, type and time at the end.
const std::string kBaseLine =
    R"({"parentUuid":"9f1c","isSidechain":false,"userType":"external","cwd":"/home/ada/shop","sessionId":"5e0a",)"
    R"("version":"2.1.50","gitBranch":"main","message":{"model":"claude-sonnet-4-6","id":"msg_A","type":"message",)"
    R"("role":"assistant","content":[{"type":"text","text":"Reading the cart module first."}],"stop_reason":null,)"
    R"("usage":{"input_tokens":4,"cache_creation_input_tokens":900,"cache_read_input_tokens":12000,)"
    R"("output_tokens":35,"service_tier":"standard"}},"requestId":"req_A","type":"assistant","uuid":"77b2",)"
    R"("timestamp":"2025-06-01T09:30:12.345Z"})";

const Date kNow = at("2025-06-02T00:00:00Z");
const Date kCutoff = addSeconds(kNow, -kActivityLookBack);

ActivityEvent baseEvent() {
  return {dateFromSeconds1970(secondsSince1970(at("2025-06-01T09:30:12Z")) + 0.345),
          "claude-sonnet-4-6",
          "/home/ada/shop",
          {4, 35, 12000, 900, 0}};
}

// The base line with one piece of text replaced (it must occur in the line).
std::string baseLineWith(const std::string& from, const std::string& to) {
  std::string line = kBaseLine;
  auto position = line.find(from);
  if (position == std::string::npos) throw std::logic_error("not in the base line: " + from);
  return line.replace(position, from.size(), to);
}

// The base line without one of its pieces.
std::string baseLineWithout(std::initializer_list<std::string> pieces) {
  std::string line = kBaseLine;
  for (const auto& piece : pieces) line = line.erase(line.find(piece), piece.size());
  return line;
}

const std::string kMessageId = R"("id":"msg_A",)";
const std::string kRequestId = R"("requestId":"req_A",)";

// A line keyed by `id` (message id and request id), with `output` tokens.
std::string turn(const std::string& id, std::int64_t output, const char* timestamp = "2025-06-01T09:30:12.345Z",
                 const std::string& cwd = "/home/ada/shop") {
  std::string line = baseLineWith(R"("output_tokens":35)", R"("output_tokens":)" + std::to_string(output));
  line = line.replace(line.find("msg_A"), 5, "msg_" + id).replace(line.find("req_A"), 5, "req_" + id);
  line = line.replace(line.find("2025-06-01T09:30:12.345Z"), 24, timestamp);
  return line.replace(line.find("/home/ada/shop"), 14, cwd);
}

std::int64_t outputOf(const ActivityEvent& event) { return event.tokens.output; }

std::vector<std::int64_t> outputs(const std::vector<ActivityEvent>& events) {
  std::vector<std::int64_t> result;
  for (const auto& event : events) result.push_back(outputOf(event));
  return result;
}

class ScannerTest : public ::testing::Test {
 protected:
  fs::path file(const std::string& relative) const { return root / relative; }

  void write(const std::string& relative, const std::string& text) {
    fs::create_directories(file(relative).parent_path());
    std::ofstream(file(relative), std::ios::binary | std::ios::trunc) << text;
  }
  void append(const std::string& relative, const std::string& text) {
    std::ofstream(file(relative), std::ios::binary | std::ios::app) << text;
  }
  void setModified(const std::string& relative, Date date) {
    auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(date);
    fs::last_write_time(file(relative), std::chrono::file_clock::from_sys(system));
  }

  std::vector<ActivityEvent> scan(Date now = kNow) { return scanner.scan(now); }

  TempDir temp;
  fs::path root = temp / "projects";
  LocalActivityScanner scanner{root, kActivityLookBack};
};

// ---- Line cases ---------------------------------------------------------------

struct LineCase {
  const char* what;
  std::string from, to;
  std::optional<ActivityEvent> expected;
};

std::optional<ActivityEvent> skipped() { return std::nullopt; }
std::optional<ActivityEvent> withTokens(TokenCounts tokens) {
  auto event = baseEvent();
  event.tokens = tokens;
  return event;
}
std::optional<ActivityEvent> withModel(const char* model) {
  auto event = baseEvent();
  event.model = model;
  return event;
}
std::optional<ActivityEvent> withCwd(const char* cwd) {
  auto event = baseEvent();
  event.cwd = cwd;
  return event;
}
std::optional<ActivityEvent> withTime(Date timestamp) {
  auto event = baseEvent();
  event.timestamp = timestamp;
  return event;
}

const std::string kOutput = R"("output_tokens":35,)";
const std::string kTimestamp = R"("2025-06-01T09:30:12.345Z")";
const std::string kModel = R"("model":"claude-sonnet-4-6",)";
const std::string kInput = R"("input_tokens":4,)";

std::vector<LineCase> lineCases() {
  return {
      {"the base line", "", "", baseEvent()},
      // Cache writes: a lifetime split wins over the plain total.
      {"1h split only", kOutput, kOutput + R"("cache_creation":{"ephemeral_1h_input_tokens":700},)",
       withTokens({4, 35, 12000, 0, 700})},
      {"5m split only", kOutput, kOutput + R"("cache_creation":{"ephemeral_5m_input_tokens":5},)",
       withTokens({4, 35, 12000, 5, 0})},
      {"both splits", kOutput,
       kOutput + R"("cache_creation":{"ephemeral_5m_input_tokens":5,"ephemeral_1h_input_tokens":7},)",
       withTokens({4, 35, 12000, 5, 7})},
      {"empty split", kOutput, kOutput + R"("cache_creation":{},)", withTokens({4, 35, 12000, 900, 0})},
      {"split of nulls", kOutput, kOutput + R"("cache_creation":{"ephemeral_1h_input_tokens":null},)",
       withTokens({4, 35, 12000, 900, 0})},
      {"split holding other keys only", kOutput, kOutput + R"("cache_creation":{"ephemeral_2h":3},)",
       withTokens({4, 35, 12000, 900, 0})},
      {"no cache writes at all", R"("cache_creation_input_tokens":900,)", "", withTokens({4, 35, 12000, 0, 0})},
      {"split not an object", kOutput, kOutput + R"("cache_creation":5,)", skipped()},
      {"split count as text", kOutput, kOutput + R"("cache_creation":{"ephemeral_1h_input_tokens":"7"},)", skipped()},
      // Timestamps: internet date-time with fractional seconds only.
      {"no fractional seconds", kTimestamp, R"("2025-06-01T09:30:12Z")", skipped()},
      {"offset with colon", kTimestamp, R"("2025-06-01T11:30:12.345+02:00")", baseEvent()},
      {"negative offset", kTimestamp, R"("2025-06-01T04:00:12.345-05:30")", baseEvent()},
      {"offset without colon", kTimestamp, R"("2025-06-01T11:30:12.345+0200")", skipped()},
      {"no zone", kTimestamp, R"("2025-06-01T09:30:12.345")", skipped()},
      {"lower-case zone", kTimestamp, R"("2025-06-01T09:30:12.345z")", skipped()},
      {"blank for T", kTimestamp, R"("2025-06-01 09:30:12.345Z")", skipped()},
      {"empty fraction", kTimestamp, R"("2025-06-01T09:30:12.Z")", skipped()},
      {"one fractional digit", kTimestamp, R"("2025-06-01T09:30:12.5Z")",
       withTime(dateFromSeconds1970(secondsSince1970(at("2025-06-01T09:30:12Z")) + 0.5))},
      {"microseconds", kTimestamp, R"("2025-06-01T09:30:12.345678Z")",
       withTime(dateFromSeconds1970(secondsSince1970(at("2025-06-01T09:30:12Z")) + 0.345678))},
      {"no such day", kTimestamp, R"("2025-02-30T09:30:12.345Z")", skipped()},
      {"hour 24", kTimestamp, R"("2025-06-01T24:30:12.345Z")", skipped()},
      {"timestamp a number", kTimestamp, "1748770212", skipped()},
      {"timestamp null", kTimestamp, "null", skipped()},
      {"before the cutoff", kTimestamp, R"("2025-05-25T23:59:59.999Z")", skipped()},
      {"exactly at the cutoff", kTimestamp, R"("2025-05-26T00:00:00.000Z")", withTime(kCutoff)},
      // Model.
      {"synthetic model", kModel, R"("model":"<synthetic>",)", skipped()},
      {"no model", kModel, "", withModel("unknown")},
      {"null model", kModel, R"("model":null,)", withModel("unknown")},
      {"model a number", kModel, R"("model":7,)", skipped()},
      // The prefilter looks for exact bytes; the decoder would accept these.
      {"blank after the type colon", R"("type":"assistant")", R"("type": "assistant")", skipped()},
      {"escaped type value", R"("type":"assistant")", R"("type":"\u0061ssistant")", skipped()},
      {"escaped usage key", R"("usage":)", R"("us\u0061ge":)", skipped()},
      {"marker nested, top-level type user", R"("type":"assistant","uuid")",
       R"("type":"user","meta":{"type":"assistant"},"uuid")", skipped()},
      {"marker only inside a string", R"("type":"assistant","uuid")",
       R"("type":"user","note":"\"type\":\"assistant\"","uuid")", skipped()},
      // Token counts: whole numbers that fit, never negative.
      {"count as text", kInput, R"("input_tokens":"4",)", skipped()},
      {"count with a fraction", kInput, R"("input_tokens":4.5,)", skipped()},
      {"integral count written as a decimal", kInput, R"("input_tokens":4.0,)", baseEvent()},
      {"integral count with exponent", kInput, R"("input_tokens":4e1,)", withTokens({40, 35, 12000, 900, 0})},
      {"negative count", kInput, R"("input_tokens":-4,)", skipped()},
      {"count beyond int64", kInput, R"("input_tokens":9223372036854775808,)", skipped()},
      {"count far below int64", kInput, R"("input_tokens":-66666666666666666664.1,)", skipped()},
      {"integral count far below int64", kInput, R"("input_tokens":-1e30,)", skipped()},
      {"count a boolean", kInput, R"("input_tokens":true,)", skipped()},
      {"null count", kInput, R"("input_tokens":null,)", withTokens({0, 35, 12000, 900, 0})},
      {"counts whose sum overflows", kInput, R"("input_tokens":9223372036854775807,)", skipped()},
      {"all counts zero",
       R"("input_tokens":4,"cache_creation_input_tokens":900,"cache_read_input_tokens":12000,)"
       R"("output_tokens":35,)",
       R"("input_tokens":0,"cache_creation_input_tokens":0,"cache_read_input_tokens":0,"output_tokens":0,)", skipped()},
      // Structure and the other keys.
      {"no usage", R"("usage":{)", R"("usage_":{)", skipped()},
      {"usage not an object", R"("usage":{"input_tokens":4,)", R"("usage":[4],"x":{)", skipped()},
      {"message an array", R"("message":{"model")", R"("message":[],"m":{"model")", skipped()},
      {"cwd a number", R"("cwd":"/home/ada/shop")", R"("cwd":5)", skipped()},
      {"no cwd", R"("cwd":"/home/ada/shop",)", "", withCwd("")},
      {"null cwd", R"("cwd":"/home/ada/shop")", R"("cwd":null)", withCwd("")},
      {"request id a number", R"("requestId":"req_A")", R"("requestId":12)", skipped()},
      {"message id a number", R"("id":"msg_A")", R"("id":12)", skipped()},
      {"not a whole object", R"("timestamp":"2025-06-01T09:30:12.345Z"})", R"("timestamp":"2025-06-01T09:30:12.345Z")",
       skipped()},
      {"text after the object", R"(.345Z"})", R"(.345Z"} x)", skipped()},
      {"NUL after the object", R"(.345Z"})", std::string(R"(.345Z"})") + '\0' + "garbage", skipped()},
      {"invalid UTF-8", "Reading the cart", "Reading \xC3\x28 cart", skipped()},
  };
}

TEST(ScannerLineTest, EachLineCase) {
  for (const auto& c : lineCases()) {
    TempDir temp;
    LocalActivityScanner scanner(temp.path(), kActivityLookBack);
    std::ofstream(temp / "t.jsonl", std::ios::binary)
        << (c.from.empty() ? kBaseLine : baseLineWith(c.from, c.to)) << "\n";
    auto events = scanner.scan(kNow);
    if (!c.expected) {
      EXPECT_TRUE(events.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(events.size(), 1u) << c.what;
    EXPECT_EQ(events[0], *c.expected) << c.what;
  }
}

// ---- Files: walk, cursors, complete lines -------------------------------------

TEST_F(ScannerTest, MissingOrUnusableRootGivesNothing) {
  EXPECT_TRUE(scan().empty());
  std::ofstream(temp / "projects-file") << turn("a", 1) << "\n";
  LocalActivityScanner onFile(temp / "projects-file", kActivityLookBack);
  EXPECT_TRUE(onFile.scan(kNow).empty());
}

TEST_F(ScannerTest, ReadsOnlyVisibleJsonlFilesAtAnyDepth) {
  write("p/q/r/deep.jsonl", turn("deep", 1) + "\n");
  write("p/session/subagents/agent-1.jsonl", turn("agent", 2) + "\n");
  write(".hidden/a.jsonl", turn("hiddenFolder", 3) + "\n");
  write("p/.a.jsonl", turn("hiddenFile", 4) + "\n");
  write("p/a.JSONL", turn("capitals", 5) + "\n");
  write("p/a.jsonl.bak", turn("backup", 6) + "\n");
  write("p/jsonl", turn("bareName", 7) + "\n");
  write("p/dir.jsonl/inside.txt", turn("folderNamedJsonl", 8) + "\n");
  fs::create_directories(temp / "outside");
  std::ofstream(temp / "outside" / "target.jsonl") << turn("target", 9) << "\n";
  fs::create_symlink(temp / "outside" / "target.jsonl", file("p/link.jsonl"));
  fs::create_directory_symlink(temp / "outside", file("p/linkedFolder"));
  auto events = scan();
  std::sort(events.begin(), events.end(), [](auto& a, auto& b) { return outputOf(a) < outputOf(b); });
  EXPECT_EQ(outputs(events), (std::vector<std::int64_t>{1, 2}));
}

// A chain of folders `depth` deep under `top` (named "d"), built through
// descriptors because its path outgrows PATH_MAX; `files` maps a folder's
// depth (top is 1) to the text of a transcript put in it.
void makeFolderChain(const fs::path& top, int depth, const std::map<int, std::string>& files) {
  fs::create_directories(top);
  int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  for (int level = 1; level <= depth; ++level) {
    if (auto text = files.find(level); text != files.end()) {
      int fd = ::openat(folder, "t.jsonl", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::write(fd, text->second.data(), text->second.size()), static_cast<ssize_t>(text->second.size()));
      ::close(fd);
    }
    if (level == depth) break;
    ASSERT_EQ(::mkdirat(folder, "d", 0700), 0);
    int child = ::openat(folder, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(folder);
    ASSERT_GE(child, 0);
    folder = child;
  }
  ::close(folder);
}

// Takes a chain apart from the top, one folder at a time, when it goes: a
// recursive removal would meet the depth the scanner must survive.
class FolderChainRemover {
 public:
  explicit FolderChainRemover(fs::path top) : top_(std::move(top)) {}
  ~FolderChainRemover() {
    std::error_code error;
    fs::path lifted = top_.parent_path() / "lifted";
    while (!error && fs::exists(top_, error)) {
      fs::remove(top_ / "t.jsonl", error);
      bool deeper = fs::exists(top_ / "d", error);
      if (deeper) fs::rename(top_ / "d", lifted, error);
      fs::remove(top_, error);
      if (deeper && !error) fs::rename(lifted, top_, error);
    }
  }
  FolderChainRemover(const FolderChainRemover&) = delete;
  FolderChainRemover& operator=(const FolderChainRemover&) = delete;

 private:
  fs::path top_;
};

// The descriptor limit under which this process can open `count` more.
rlim_t limitForMoreDescriptors(int count) {
  int limit = 0;
  for (int free = 0; free < count; ++limit)
    if (::fcntl(limit, F_GETFD) == -1) ++free;
  return static_cast<rlim_t>(limit);
}

// Lowers the soft limit on open descriptors for its lifetime.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit saved_{};
};

// A chain of 20 000 folders beside a normal transcript: the walk ends, reads
// the transcript beside it and the one 30 folders down, passes over what
// lies deeper (saying so once), and needs a handful of descriptors for it.
// The chain's folders are made on tmpfs where there is one: on a busy disk
// their metadata writes can take a minute.
TEST(ScannerDepthTest, ADeepFolderChainIsWalkedWithFewDescriptorsAndNoDeeperThanTheLimit) {
  std::optional<ScopedEnv> onTmpfs;
  if (::access("/dev/shm", W_OK) == 0) onTmpfs.emplace("TMPDIR", "/dev/shm");
  TempDir temp;
  const fs::path root = temp / "projects";
  LocalActivityScanner scanner(root, kActivityLookBack);
  fs::create_directories(root / "p");
  test::writeText(root / "p" / "beside.jsonl", turn("beside", 1) + "\n");
  const fs::path chain = root / "chain";
  FolderChainRemover remover(chain);
  makeFolderChain(chain, 20000, {{30, turn("shallow", 2) + "\n"}, {40, turn("tooDeep", 3) + "\n"}});
  if (HasFatalFailure()) return;
  std::string deepest = chain.string();
  for (std::size_t level = 1; level <= kMaxTranscriptFolderDepth; ++level) deepest += "/d";

  constexpr int kHandful = 4;
  LocalActivityScanner::Report report;
  {
    DescriptorLimit limit(limitForMoreDescriptors(kHandful));
    test::returnsPromptly(
        root, [&] { report = scanner.scanReporting(kNow); }, "the scan");
  }
  auto events = report.summary.events();
  std::sort(events.begin(), events.end(), [](auto& a, auto& b) { return outputOf(a) < outputOf(b); });
  EXPECT_EQ(outputs(events), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(report.failures, std::vector<std::string>{});
  EXPECT_EQ(report.foldersTooDeep, std::vector<std::string>{deepest});
  EXPECT_EQ(scanner.scanReporting(kNow).foldersTooDeep, std::vector<std::string>{}) << "told once";
}

TEST_F(ScannerTest, StopsAtTheNextFileOnceAsked) {
  for (int i = 1; i <= 3; ++i) write("p/s" + std::to_string(i) + ".jsonl", turn(std::to_string(i), i) + "\n");
  int asked = 0;
  auto events = scanner.scan(kNow, [&asked] { return ++asked > 1; });
  EXPECT_EQ(events.size(), 1u) << "one file read before the stop";
  EXPECT_EQ(asked, 2);
  // What was not read waits for the next scan.
  EXPECT_EQ(scan().size(), 3u);
}

TEST_F(ScannerTest, SkipsFilesModifiedBeforeTheCutoff) {
  write("p/old.jsonl", turn("old", 1) + "\n");
  write("p/recent.jsonl", turn("recent", 2) + "\n");
  setModified("p/old.jsonl", addSeconds(kCutoff, -1));
  setModified("p/recent.jsonl", kCutoff);
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{2}));
}

TEST_F(ScannerTest, UnfinishedLastLineWaitsForItsLineFeed) {
  std::string second = turn("b", 2, "2025-06-01T10:00:00.000Z");
  write("p/s.jsonl", turn("a", 1) + "\n" + second.substr(0, 100));
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  append("p/s.jsonl", second.substr(100));
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  append("p/s.jsonl", "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2}));
}

TEST_F(ScannerTest, ReadsOnlyWhatWasAppended) {
  write("p/s.jsonl", turn("a", 1) + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  append("p/s.jsonl", R"({"type":"user","message":{"content":"ok"}})"
                      "\n" +
                          turn("b", 2, "2025-06-01T10:00:00.000Z") + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2}));
}

TEST_F(ScannerTest, TruncatedFileIsReadAgainFromItsStart) {
  // Keyless lines show every re-read: they are never merged.
  std::string keyless = baseLineWithout({kMessageId, kRequestId});
  write("p/s.jsonl", turn("a", 1) + "\n" + turn("b", 2) + "\n");
  EXPECT_EQ(scan().size(), 2u);
  write("p/s.jsonl", keyless + "\n");
  ASSERT_LT(fs::file_size(file("p/s.jsonl")), (turn("a", 1) + turn("b", 2)).size());
  EXPECT_EQ(scan().size(), 3u);
  fs::resize_file(file("p/s.jsonl"), 0);
  EXPECT_EQ(scan().size(), 3u);
  append("p/s.jsonl", keyless + "\n");
  EXPECT_EQ(scan().size(), 4u);
}

// A file renamed over a transcript is another file, even when it is at
// least as long as what was read and newer: it is read from its start.
TEST_F(ScannerTest, AnotherFileUnderTheNameIsReadFromItsStart) {
  write("p/s.jsonl", turn("a", 1, "2025-06-01T09:00:00.000Z") + "\n" + turn("b", 2, "2025-06-01T09:01:00.000Z") + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2}));
  write("p/s.jsonl.new", turn("c", 3, "2025-06-01T09:02:00.000Z") + "\n" + turn("d", 4, "2025-06-01T09:03:00.000Z") +
                             "\n" + turn("e", 5, "2025-06-01T09:04:00.000Z") + "\n");
  fs::rename(file("p/s.jsonl.new"), file("p/s.jsonl"));
  setModified("p/s.jsonl", at("2025-06-01T10:00:00Z"));
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
}

// What cannot be read is reported once, as "path: reason", and again only
// after it has been read or has failed otherwise.
TEST_F(ScannerTest, AFileThatCannotBeReadIsReportedOncePerChange) {
  const std::string path = file("p/s.jsonl").string();
  auto failures = [this] { return scanner.scanReporting(kNow).failures; };
  auto putFifo = [&] {
    fs::remove(path);
    fs::create_directories(file("p"));
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  };
  putFifo();
  EXPECT_EQ(failures(), std::vector<std::string>{path + ": Not a regular file"});
  EXPECT_EQ(failures(), std::vector<std::string>{}) << "told once";
  fs::remove(path);
  write("p/s.jsonl", turn("a", 1) + "\n");
  LocalActivityScanner::Report report = scanner.scanReporting(kNow);
  EXPECT_EQ(report.failures, std::vector<std::string>{});
  EXPECT_EQ(outputs(report.summary.events()), (std::vector<std::int64_t>{1}));
  putFifo();
  EXPECT_EQ(failures(), std::vector<std::string>{path + ": Not a regular file"}) << "told again once it had read";
  if (::geteuid() != 0) {  // root reads it all the same
    fs::remove(path);
    write("p/s.jsonl", turn("b", 2) + "\n");
    fs::permissions(path, fs::perms::none);
    EXPECT_EQ(failures(), std::vector<std::string>{path + ": Permission denied"});
    EXPECT_EQ(failures(), std::vector<std::string>{});
  }
}

TEST_F(ScannerTest, ReadsALineLongerThanOneChunk) {
  std::string padding(5 << 20, 'z');  // more than one read
  std::string longLine = baseLineWith("Reading the cart module first.", padding);
  write("p/s.jsonl", turn("a", 1) + "\n" + longLine + "\n" + turn("c", 3) + "\n");
  auto events = scan();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(outputs(events), (std::vector<std::int64_t>{1, 35, 3}));
}

TEST_F(ScannerTest, PassesOverALineLongerThanTheLimit) {
  LocalActivityScanner limited(root, kActivityLookBack, {.chunkBytes = 64, .maxLineBytes = 1024});
  std::string tooLong = baseLineWith("Reading the cart module first.", std::string(4000, 'z'));
  write("p/s.jsonl", turn("a", 1) + "\n" + tooLong.substr(0, 3000));
  EXPECT_EQ(outputs(limited.scan(kNow)), (std::vector<std::int64_t>{1}));
  append("p/s.jsonl", tooLong.substr(3000) + "\n" + turn("c", 3) + "\n");
  EXPECT_EQ(outputs(limited.scan(kNow)), (std::vector<std::int64_t>{1, 3}));
}

// A last line of 100 MB without its line feed: read once, never held
// whole, and the file costs no read while it stays as it is.
TEST_F(ScannerTest, LongUnfinishedLastLineIsReadOnceAndNeverHeld) {
  constexpr std::uint64_t kLineBytes = 100'000'000;
  const TranscriptReadLimits limits;  // the scanner's own
  write("p/s.jsonl", turn("a", 1) + "\n");
  const std::uint64_t lineStart = fs::file_size(file("p/s.jsonl"));
  fs::resize_file(file("p/s.jsonl"), lineStart + kLineBytes);
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  const auto first = scanner.readFigures();
  EXPECT_EQ(first.bytesRead, lineStart + kLineBytes);
  EXPECT_LE(first.largestBuffer, limits.maxLineBytes + limits.chunkBytes);
  EXPECT_LT(first.largestBuffer, kLineBytes) << "the line was held whole";

  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  EXPECT_EQ(scanner.readFigures().bytesRead, first.bytesRead) << "an unchanged file was read again";

  // Growing, the line is looked past from where the last read ended.
  append("p/s.jsonl", std::string(1000, 'z'));
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  EXPECT_EQ(scanner.readFigures().bytesRead, first.bytesRead + 1000);
  std::string rest = "\n" + turn("b", 2) + "\n";
  append("p/s.jsonl", rest);
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(scanner.readFigures().bytesRead, first.bytesRead + 1000 + rest.size());
}

TEST_F(ScannerTest, UnchangedFileWithAnUnfinishedLineIsNotReadAgain) {
  std::string second = turn("b", 2);
  write("p/s.jsonl", turn("a", 1) + "\n" + second.substr(0, 100));
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  const std::uint64_t read = scanner.readFigures().bytesRead;
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1}));
  EXPECT_EQ(scanner.readFigures().bytesRead, read);
  append("p/s.jsonl", second.substr(100) + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(scanner.readFigures().bytesRead, read + second.size() + 1) << "the unfinished line again, and the rest";
}

// A long unfinished line that is cut short is no longer looked past: what
// follows it now starts before the old end of the read.
TEST_F(ScannerTest, CutLongLineIsReadAgainFromItsStart) {
  LocalActivityScanner limited(root, kActivityLookBack, {.chunkBytes = 64, .maxLineBytes = 1024});
  write("p/s.jsonl", turn("a", 1) + "\n" + std::string(3000, 'z'));
  EXPECT_EQ(outputs(limited.scan(kNow)), (std::vector<std::int64_t>{1}));
  fs::resize_file(file("p/s.jsonl"), turn("a", 1).size() + 1 + 100);
  append("p/s.jsonl", "\n" + turn("c", 3) + "\n");
  ASSERT_LT(fs::file_size(file("p/s.jsonl")), turn("a", 1).size() + 1 + 3000);
  EXPECT_EQ(outputs(limited.scan(kNow)), (std::vector<std::int64_t>{1, 3}));
}

TEST_F(ScannerTest, ChunkSizeDoesNotChangeWhatIsRead) {
  std::string lines;
  for (int i = 1; i <= 12; ++i) {
    std::string text(static_cast<std::size_t>(i * i * 7), 'a' + i);
    // Piecewise: GCC 12 warns falsely about a literal + string temporary.
    lines += turn(std::to_string(i), i) + "\n";
    lines += R"({"type":"user","message":{"content":")";
    lines += text;
    lines += "\"}}\n";
  }
  write("p/s.jsonl", lines.substr(0, lines.size() / 2));
  auto scanInPieces = [&](TranscriptReadLimits limits) {
    LocalActivityScanner scanner(root, kActivityLookBack, limits);
    fs::resize_file(file("p/s.jsonl"), lines.size() / 2);
    scanner.scan(kNow);
    append("p/s.jsonl", lines.substr(lines.size() / 2));
    return outputs(scanner.scan(kNow));
  };
  auto expected = scanInPieces({});
  EXPECT_EQ(expected.size(), 12u);
  for (std::size_t chunk : {1, 2, 17, 18, 19, 64, 1000})
    EXPECT_EQ(scanInPieces({.chunkBytes = chunk, .maxLineBytes = 1 << 20}), expected) << chunk;
}

// Files read side by side are taken in the order listed: which of two equal
// copies wins, the order of equal times and the order of the failures are
// those of one thread, at the first scan and after appends.
TEST_F(ScannerTest, ReadersSideBySideYieldWhatOneReaderDoes) {
  const std::string keyless = baseLineWithout({kMessageId, kRequestId});
  auto name = [](int file) { return "p" + std::to_string(file % 4) + "/s" + std::to_string(file) + ".jsonl"; };
  auto unfinished = [](int file) { return turn("open" + std::to_string(file), 7); };
  // Keys repeat across files with equal and larger totals, all at one time.
  auto writeTree = [&] {
    for (int file = 0; file < 24; ++file) {
      std::string lines;
      for (int n = 0; n < 6; ++n)
        lines += turn(std::to_string((file + n) % 9), 1 + (file * n) % 5, "2025-06-01T09:30:12.345Z",
                      "/f" + std::to_string(file)) +
                 "\n";
      write(name(file), lines + keyless + "\n" + unfinished(file).substr(0, 50));
    }
  };
  test::makeSpecialFile(file("p1/fifo.jsonl"), test::SpecialFile::fifo, 0);
  auto scanTwice = [&](TranscriptReadLimits limits) {
    writeTree();
    LocalActivityScanner scanner(root, kActivityLookBack, limits);
    std::vector<LocalActivityScanner::Report> reports{scanner.scanReporting(kNow)};
    for (int file = 0; file < 24; file += 5)
      append(name(file), unfinished(file).substr(50) + "\n" + turn("3", 9) + "\n");
    reports.push_back(scanner.scanReporting(kNow));
    return reports;
  };
  auto expected = scanTwice({.parallelBytes = UINT64_MAX});
  ASSERT_EQ(expected[0].failures.size(), 1u);
  for (auto limits :
       {TranscriptReadLimits{.parallelBytes = 0, .readers = 2}, TranscriptReadLimits{.parallelBytes = 0, .readers = 4},
        TranscriptReadLimits{.parallelBytes = 0, .readers = 64},
        TranscriptReadLimits{.chunkBytes = 64, .parallelBytes = 0, .readers = 3}}) {
    auto reports = scanTwice(limits);
    for (std::size_t scan = 0; scan < reports.size(); ++scan) {
      EXPECT_EQ(reports[scan].summary, expected[scan].summary) << limits.readers << " readers, scan " << scan;
      EXPECT_EQ(reports[scan].failures, expected[scan].failures) << limits.readers << " readers, scan " << scan;
    }
  }
}

TEST_F(ScannerTest, AStopBeforeReadersSideBySideLeavesEveryFileForTheNextScan) {
  for (int i = 1; i <= 8; ++i) write("p/s" + std::to_string(i) + ".jsonl", turn(std::to_string(i), i) + "\n");
  LocalActivityScanner parallel(root, kActivityLookBack, {.parallelBytes = 0, .readers = 4});
  EXPECT_EQ(parallel.scan(kNow, [] { return true; }).size(), 0u);
  EXPECT_EQ(parallel.readFigures().bytesRead, 0u);
  int asked = 0;
  auto some = parallel.scan(kNow, [&asked] { return ++asked > 1; });
  EXPECT_GE(some.size(), 1u);
  EXPECT_EQ(parallel.scan(kNow).size(), 8u);
}

// ---- Folders remembered between scans ------------------------------------------

// A folder still for longer than the settle time is remembered, not read
// again; whatever changes in it is seen at the next scan all the same.
TEST(ScannerFolderTest, ARememberedFolderShowsEveryChangeToIt) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&root, const fs::path&outside)> before, change;
    std::vector<std::int64_t> outputs;
    std::uint64_t foldersRead;  // by the scan after the change
  };
  auto text = [](const fs::path& path, const std::string& line) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << line << "\n";
  };
  auto nothing = [](const fs::path&, const fs::path&) {};
  const Case cases[] = {
      {"nothing", nothing, nothing, {1, 2}, 0},
      {"a transcript added", nothing, [&](auto& root, auto&) { text(root / "p/c.jsonl", turn("c", 3)); }, {1, 2, 3}, 1},
      {"a hidden file renamed to a transcript",
       [&](auto& root, auto&) { text(root / "p/.c.tmp", turn("c", 3)); },
       [](auto& root, auto&) { fs::rename(root / "p/.c.tmp", root / "p/c.jsonl"); },
       {1, 2, 3},
       1},
      {"a transcript replaced by a folder holding one",
       nothing,
       [&](auto& root, auto&) {
         fs::remove(root / "p/a.jsonl");
         text(root / "p/a.jsonl/inner.jsonl", turn("d", 4));
       },
       {1, 2, 4},
       2},
      {"a subfolder added",
       nothing,
       [&](auto& root, auto&) { text(root / "q/sub/e.jsonl", turn("e", 5)); },
       {1, 2, 5},
       2},
      {"a folder replaced by a link",
       nothing,
       [](auto& root, auto& outside) {
         fs::remove_all(root / "q");
         fs::create_directory_symlink(outside, root / "q");
       },
       {1, 2},
       1},
  };
  for (const Case& c : cases) {
    TempDir temp;
    const fs::path root = temp / "projects", outside = temp / "outside";
    text(root / "p/a.jsonl", turn("a", 1));
    text(root / "q/b.jsonl", turn("b", 2));
    text(outside / "t.jsonl", turn("t", 9));
    LocalActivityScanner scanner(root, kActivityLookBack, {.folderSettleSeconds = 0.05});
    auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
    c.before(root, outside);
    settle();
    scanner.scan(kNow);
    std::uint64_t read = scanner.readFigures().foldersRead;
    EXPECT_EQ(read, 3u) << c.what << ": the root, p and q read once";
    c.change(root, outside);
    auto events = scanner.scan(kNow);
    std::sort(events.begin(), events.end(), [](auto& a, auto& b) { return outputOf(a) < outputOf(b); });
    EXPECT_EQ(outputs(events), c.outputs) << c.what;
    EXPECT_EQ(scanner.readFigures().foldersRead - read, c.foldersRead) << c.what;
  }
}

// A folder that changed just before it was read is read again at every
// scan until it has been still for the settle time.
TEST(ScannerFolderTest, AFolderChangedJustBeforeItsReadIsReadAgain) {
  TempDir temp;
  const fs::path root = temp / "projects";
  fs::create_directories(root / "p");
  test::writeText(root / "p/a.jsonl", turn("a", 1) + "\n");
  LocalActivityScanner scanner(root, kActivityLookBack, {.folderSettleSeconds = 600});
  scanner.scan(kNow);
  std::uint64_t read = scanner.readFigures().foldersRead;
  scanner.scan(kNow);
  EXPECT_EQ(scanner.readFigures().foldersRead - read, 2u) << "the root and p, read again";
}

// ---- Reading while the file changes ---------------------------------------------

// Reads the one transcript under `root` from its start in chunks of 64
// bytes, calling `midway` after the first run of lines; gives the lines it
// was handed and the outcome.
std::pair<std::string, TranscriptReader::Outcome> readWhileChanging(const fs::path& root,
                                                                    const std::function<void()>& midway) {
  auto files = listTranscriptFiles(root, Date::min()).files;
  if (files.size() != 1) throw std::logic_error("one transcript expected");
  TranscriptReader reader({.chunkBytes = 64, .maxLineBytes = 1 << 20});
  std::string handed;
  auto outcome = reader.readCompleteLines(files[0], {}, [&](std::string_view lines) {
    if (handed.empty()) midway();
    handed += lines;
  });
  return {handed, outcome};
}

TEST_F(ScannerTest, AFileThatGrowsDuringTheReadIsReadToItsRealEnd) {
  const std::string first = turn("a", 1) + "\n" + turn("b", 2) + "\n";
  const std::string more = turn("c", 3) + "\n" + turn("d", 4).substr(0, 50);
  write("p/s.jsonl", first);
  auto [handed, outcome] = readWhileChanging(root, [&] { append("p/s.jsonl", more); });
  EXPECT_EQ(handed, first + turn("c", 3) + "\n") << "complete lines only, the appended ones too";
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(outcome.reached.lineStart, handed.size());
  EXPECT_EQ(outcome.reached.readEnd, first.size() + more.size());
}

// However short it is cut while it is read, the read ends where the file
// now ends, with what it handed on before, and never faults.
TEST_F(ScannerTest, AFileCutShortDuringTheReadEndsTheReadQuietly) {
  std::string lines;
  for (int i = 1; i <= 20; ++i) lines += turn(std::to_string(i), i) + "\n";
  for (std::uint64_t keep : {std::uint64_t{0}, std::uint64_t{100}, std::uint64_t{lines.size() / 2}}) {
    write("p/s.jsonl", lines);
    auto [handed, outcome] = readWhileChanging(root, [&] { fs::resize_file(file("p/s.jsonl"), keep); });
    EXPECT_FALSE(outcome.error) << keep;
    EXPECT_EQ(outcome.reached.lineStart, handed.size()) << keep;
    EXPECT_EQ(lines.substr(0, handed.size()), handed) << keep;
  }
  // The scanner then reads the cut file from its start.
  write("p/s.jsonl", lines);
  EXPECT_EQ(scan().size(), 20u);
  fs::resize_file(file("p/s.jsonl"), 0);
  append("p/s.jsonl", baseLineWithout({kMessageId, kRequestId}) + "\n");
  EXPECT_EQ(scan().size(), 21u);
}

TEST_F(ScannerTest, AFileEndingWithoutALineFeedAtAChunkEdge) {
  // The unfinished line ends exactly where a read of 64 bytes ends.
  std::string line = turn("a", 1) + "\n";
  std::string unfinished(64 - line.size() % 64 + 64, 'u');
  write("p/s.jsonl", line + unfinished);
  auto [handed, outcome] = readWhileChanging(root, [] {});
  EXPECT_EQ(handed, line);
  EXPECT_EQ(outcome.reached.lineStart, line.size());
  EXPECT_EQ(outcome.reached.readEnd, line.size() + unfinished.size());
}

// ---- The summary handed on ---------------------------------------------------

// The scanner keeps what it has read, whatever became of the files since.
// Every version of a file it was shown is kept in a ledger, appended to as
// the file is and started anew when the file is rewritten, and never
// deleted, so a fresh scanner over the ledger must hold exactly the turns
// the incremental one hands on. Totals and times are all distinct: which of
// two equal copies wins, and the order of equal times, depend on the order
// files are read in.
TEST_F(ScannerTest, TheSummaryHandedOnEqualsAFreshScanOfAllThatWasShown) {
  TempDir ledgerFolder;
  const fs::path ledger = ledgerFolder / "projects";
  std::map<std::string, int> generation;
  auto ledgerFile = [&](const std::string& name) {
    return "v/" + name + "." + std::to_string(generation[name]) + ".jsonl";
  };
  auto toLedger = [&](const std::string& name, const std::string& text, std::ios::openmode mode) {
    fs::create_directories(ledger / "v");
    std::ofstream(ledger / ledgerFile(name), std::ios::binary | mode) << text;
  };
  auto rewrite = [&](const std::string& name, const std::string& text) {
    write("p/" + name, text);
    ++generation[name];
    toLedger(name, text, std::ios::trunc);
  };
  auto appendTo = [&](const std::string& name, const std::string& text) {
    append("p/" + name, text);
    toLedger(name, text, std::ios::app);
  };
  auto minute = [](int m) {
    char time[32];
    std::snprintf(time, sizeof time, "2025-06-01T10:%02d:00.000Z", m);
    return std::string(time);
  };
  const std::string keyless = baseLineWithout({kMessageId, kRequestId});
  std::optional<ActivitySummary> previous;
  auto check = [&](const char* step) {
    ActivitySummary handed = scanner.scanReporting(kNow).summary;
    LocalActivityScanner fresh(ledger, kActivityLookBack);
    EXPECT_EQ(handed, ActivitySummary(fresh.scan(kNow))) << step;
    if (previous) { EXPECT_FALSE(handed.sharesEventsWith(*previous)) << step << ": a change made no new summary"; }
    previous = handed;
  };

  rewrite("a.jsonl", turn("a", 1, minute(1).c_str()) + "\n" + turn("b", 2, minute(2).c_str()) + "\n");
  rewrite("b.jsonl", turn("c", 3, minute(3).c_str()) + "\n" + keyless + "\n");
  check("first scan");
  const std::vector<ActivityEvent> firstEvents = previous->events();

  ActivitySummary again = scanner.scanReporting(kNow).summary;
  EXPECT_TRUE(again.sharesEventsWith(*previous)) << "an unchanged tree gave a new summary";

  appendTo("a.jsonl", turn("d", 4, minute(4).c_str()) + "\n" + turn("a", 100, minute(5).c_str()) + "\n");
  check("appended, one turn with a larger total");
  EXPECT_EQ(again.events(), firstEvents) << "a summary handed on changed afterwards";

  rewrite("b.jsonl", turn("e", 5, minute(6).c_str()) + "\n");
  check("rewritten shorter");

  fs::remove(file("p/a.jsonl"));
  EXPECT_TRUE(scanner.scanReporting(kNow).summary.sharesEventsWith(*previous)) << "deleted: its turns stay";

  appendTo("b.jsonl", turn("f", 6, minute(7).c_str()) + "\n" + turn("g", 7, minute(8).c_str()).substr(0, 40));
  check("appended an unfinished line");
  appendTo("b.jsonl", turn("g", 7, minute(8).c_str()).substr(40) + "\n" + keyless + "\n");
  check("finished it");
  rewrite("c.jsonl", turn("e", 500, minute(9).c_str()) + "\n");
  check("a larger copy in another file");
}

// ---- Merging, ageing and order ---------------------------------------------------

TEST_F(ScannerTest, RepeatedTurnKeepsTheLargestTotal) {
  for (bool largerFirst : {false, true}) {
    TempDir temp;
    LocalActivityScanner scanner(temp.path(), kActivityLookBack);
    std::string small = turn("a", 1), large = turn("a", 4000);
    std::ofstream(temp / "s.jsonl") << (largerFirst ? large : small) << "\n" << (largerFirst ? small : large) << "\n";
    EXPECT_EQ(outputs(scanner.scan(kNow)), (std::vector<std::int64_t>{4000})) << largerFirst;
  }
}

TEST_F(ScannerTest, EqualTotalsKeepTheFirstLineRead) {
  write("p/s.jsonl", turn("a", 5, "2025-06-01T09:30:12.345Z", "/first") + "\n" +
                         turn("a", 5, "2025-06-01T09:30:13.000Z", "/second") + "\n");
  auto events = scan();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].cwd, "/first");
}

TEST_F(ScannerTest, KeysFollowWhichIdsArePresent) {
  std::string noRequest = baseLineWithout({kRequestId});
  std::string noMessage = baseLineWithout({kMessageId});
  std::string neither = baseLineWithout({kMessageId, kRequestId});
  write("p/s.jsonl", kBaseLine + "\n" + noRequest + "\n" + noRequest + "\n" + noMessage + "\n" + noMessage + "\n" +
                         neither + "\n" + neither + "\n");
  // "msg_A:req_A", "msg_A", "req_A", and each keyless line on its own.
  EXPECT_EQ(scan().size(), 5u);
}

TEST_F(ScannerTest, LaterChunkWithLargerTotalReplacesTurnAcrossScans) {
  write("p/s.jsonl", turn("a", 1, "2025-06-01T09:00:00.000Z") + "\n" + turn("b", 2, "2025-06-01T10:00:00.000Z") + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2}));
  append("p/s.jsonl", turn("a", 900, "2025-06-01T11:00:00.000Z") + "\n");
  auto events = scan();
  EXPECT_EQ(outputs(events), (std::vector<std::int64_t>{2, 900}));
  EXPECT_EQ(events[1].timestamp, at("2025-06-01T11:00:00Z"));
}

TEST_F(ScannerTest, ResultIsOldestFirstAcrossFiles) {
  write("p/one.jsonl",
        turn("c", 3, "2025-06-01T12:00:00.000Z") + "\n" + turn("a", 1, "2025-05-30T08:00:00.000Z") + "\n");
  write("q/two.jsonl", turn("b", 2, "2025-05-31T08:00:00.000Z") + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2, 3}));
  append("q/two.jsonl",
         turn("d", 4, "2025-05-29T08:00:00.000Z") + "\n" + turn("e", 5, "2025-06-01T23:00:00.000Z") + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{4, 1, 2, 3, 5}));
}

TEST_F(ScannerTest, TurnsAgeOutOfTheLookBack) {
  write("p/s.jsonl", turn("a", 1, "2025-05-27T00:00:00.000Z") + "\n" + turn("b", 2, "2025-06-01T00:00:00.000Z") + "\n");
  EXPECT_EQ(outputs(scan()), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(outputs(scan(at("2025-06-03T00:00:00Z"))), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(outputs(scan(at("2025-06-03T00:00:00.001Z"))), (std::vector<std::int64_t>{2}));
  // A turn that aged out is not brought back by a later scan of its file.
  append("p/s.jsonl", turn("c", 3, "2025-06-03T00:00:00.000Z") + "\n");
  EXPECT_EQ(outputs(scan(at("2025-06-08T00:00:00.500Z"))), (std::vector<std::int64_t>{3}));
}

// Shapes seen in real transcripts: streaming chunks of one response that
// repeat its ids and usage, tool results, progress lines, a subagent file and
// a synthetic error turn without usage.
TEST_F(ScannerTest, ReadsARealisticSession) {
  const std::string chunkUsage =
      R"("usage":{"input_tokens":2,"cache_creation_input_tokens":1200,"cache_read_input_tokens":30000,)"
      R"("cache_creation":{"ephemeral_5m_input_tokens":0,"ephemeral_1h_input_tokens":1200},"output_tokens":1,)"
      R"("service_tier":"standard","inference_geo":"not_available"}})";
  auto chunk = [&](const char* content, const char* uuid, const char* time) {
    return std::string(R"({"parentUuid":"p","isSidechain":false,"cwd":"/home/ada/shop","sessionId":"s1",)") +
           R"("version":"2.1.50","message":{"model":"claude-opus-4-6","id":"msg_R","type":"message",)" +
           R"("role":"assistant","content":[)" + content + R"(],"stop_reason":null,)" + chunkUsage +
           R"(,"requestId":"req_R","type":"assistant","uuid":")" + uuid + R"(","timestamp":")" + time + "\"}\n";
  };
  write(
      "-home-ada-shop/s1.jsonl",
      R"({"type":"user","cwd":"/home/ada/shop","message":{"role":"user","content":"tidy the cart"},"timestamp":"2025-06-01T08:59:58.000Z"})"
      "\n" +
          chunk(R"({"type":"text","text":"Let me look."})", "u1", "2025-06-01T09:00:01.100Z") +
          chunk(R"({"type":"tool_use","id":"toolu_1","name":"Read","input":{"file_path":"cart.py"}})", "u2",
                "2025-06-01T09:00:01.900Z") +
          R"({"type":"user","message":{"role":"user","content":[{"tool_use_id":"toolu_1","type":"tool_result","content":"def total(): ..."}]},"timestamp":"2025-06-01T09:00:02.000Z"})"
          "\n"
          R"({"type":"progress","data":{"type":"hook_progress","hookEvent":"PostToolUse"},"timestamp":"2025-06-01T09:00:02.100Z"})"
          "\n");
  write(
      "-home-ada-shop/s1/subagents/agent-a1.jsonl",
      R"({"isSidechain":true,"agentId":"a1","cwd":"/home/ada/shop","message":{"model":"claude-haiku-4-5","id":"msg_S","type":"message","role":"assistant","content":[{"type":"text","text":"Found it."}],"usage":{"input_tokens":8,"cache_read_input_tokens":500,"cache_creation":{"ephemeral_5m_input_tokens":40,"ephemeral_1h_input_tokens":0},"output_tokens":60}},"requestId":"req_S","type":"assistant","timestamp":"2025-06-01T09:00:03.000Z"})"
      "\n"
      R"({"isSidechain":true,"agentId":"a1","type":"assistant","timestamp":"2025-06-01T09:00:09.000Z","message":{"id":"9d2c","model":"<synthetic>","role":"assistant","content":[{"type":"text","text":"API Error"}]},"isApiErrorMessage":true,"cwd":"/home/ada/shop"})"
      "\n");
  auto events = scan();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], (ActivityEvent{dateFromSeconds1970(secondsSince1970(at("2025-06-01T09:00:01Z")) + 0.1),
                                      "claude-opus-4-6",
                                      "/home/ada/shop",
                                      {2, 1, 30000, 0, 1200}}));
  EXPECT_EQ(events[1],
            (ActivityEvent{at("2025-06-01T09:00:03Z"), "claude-haiku-4-5", "/home/ada/shop", {8, 60, 500, 40, 0}}));
}

// ---- Where the transcripts are -------------------------------------------------------

TEST(ScannerRootTest, FollowsClaudeConfigDir) {
  TempDir home;
  ScopedEnv homeEnv("HOME", home.path().string());
  {
    ScopedEnv config("CLAUDE_CONFIG_DIR", std::nullopt);
    EXPECT_EQ(LocalActivityScanner::defaultRoot(), home.path() / ".claude" / "projects");
  }
  {
    ScopedEnv config("CLAUDE_CONFIG_DIR", "");
    EXPECT_EQ(LocalActivityScanner::defaultRoot(), home.path() / ".claude" / "projects");
  }
  {
    ScopedEnv config("CLAUDE_CONFIG_DIR", "~/alt");
    EXPECT_EQ(LocalActivityScanner::defaultRoot(), fs::path(home.path().string() + "/alt") / "projects");
  }
  ScopedEnv config("CLAUDE_CONFIG_DIR", "/srv/claude");
  EXPECT_EQ(LocalActivityScanner::defaultRoot(), fs::path("/srv/claude/projects"));
  LocalActivityScanner scanner(LocalActivityScanner::defaultRoot(), kActivityLookBack);
  EXPECT_EQ(scanner.root(), fs::path("/srv/claude/projects"));
  EXPECT_EQ(scanner.lookback(), kActivityLookBack);
}

}  // namespace
}  // namespace ovel

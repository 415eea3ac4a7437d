// The transcript scanner over a large generated tree (gen_transcripts.py):
// the first scan (with its readers side by side, and with one) beside `cat`
// of the same files (a whole process, as a user would run it), a rescan with
// nothing changed beside the least any rescan costs (a stat of each file), a
// rescan after a few lines were appended to ten files, the read and
// prefilter stages alone, and a rescan of a wide tree of 50 000 small
// unchanged files, written into a temporary folder for the run, beside its
// own least cost.
//
//   bench_scanner [benchmark flags] TREE     (or OVEL_BENCH_TRANSCRIPTS=TREE)
//
// TREE is the generator's root (holding projects/) or a projects folder.
// Without one the program says so and exits 0. Appended lines are cut off
// again at the end, so the tree is left as it was. Rescans go through
// scanReporting(), as the application's do: an unchanged tree hands back
// the summary it handed before.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/claude/LocalActivityScanner.h"
#include "core/claude/TranscriptFiles.h"
#include "core/claude/TranscriptLine.h"
#include "core/engine/EngineConstants.h"
#include "core/support/FileIO.h"

namespace ovel {
namespace {

namespace fs = std::filesystem;

struct Tree {
  fs::path root;
  std::vector<TranscriptFile> files;
  std::uint64_t bytes = 0;
  Date now;  // just after the newest file, so that the whole tree counts as recent
};

Tree& tree() {
  static Tree instance;
  return instance;
}

Tree describeTree(fs::path root) {
  Tree described{std::move(root), {}, 0, {}};
  described.files = listTranscriptFiles(described.root, Date::min()).files;
  Date newest = Date::min();
  for (const auto& file : described.files) {
    described.bytes += file.size;
    newest = std::max(newest, file.modified);
  }
  described.now = addSeconds(newest, kHour);
  return described;
}

void reportBytes(benchmark::State& state, std::uint64_t bytesPerIteration) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerIteration));
}

void firstScan(benchmark::State& state) {
  std::size_t events = 0;
  for (auto _ : state) {
    LocalActivityScanner scanner(tree().root, kActivityLookBack);
    events = scanner.scanReporting(tree().now).summary.events().size();
  }
  reportBytes(state, tree().bytes);
  state.counters["events"] = static_cast<double>(events);
}

// The same with a single reader, as every scan after the first reads.
void firstScanOneReader(benchmark::State& state) {
  for (auto _ : state) {
    LocalActivityScanner scanner(tree().root, kActivityLookBack, {.readers = 1});
    benchmark::DoNotOptimize(scanner.scanReporting(tree().now).summary.events().data());
  }
  reportBytes(state, tree().bytes);
}

double seconds(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec * 1e-6; }

// `cat FILE... >/dev/null` as a process of its own, started and waited for,
// with `extraEnvironment` added to its environment; counts the processor
// time it took.
void runCat(benchmark::State& state, const std::vector<std::string>& extraEnvironment) {
  std::vector<std::string> arguments{"cat"};
  for (const auto& file : tree().files) arguments.push_back(file.path);
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables(extraEnvironment);
  for (char** variable = environ; *variable; ++variable) variables.emplace_back(*variable);
  std::vector<char*> envp;
  for (auto& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  double processorSeconds = 0;
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), envp.data()) != 0) {
      state.SkipWithError("cannot start cat");
      break;
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    processorSeconds += seconds(usage.ru_utime) + seconds(usage.ru_stime);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("cat failed");
  }
  posix_spawn_file_actions_destroy(&actions);
  reportBytes(state, tree().bytes);
  state.counters["cat_cpu_ms"] = benchmark::Counter(processorSeconds * 1e3, benchmark::Counter::kAvgIterations);
}

// GNU cat allocates its read buffer afresh for every file, and glibc maps
// and unmaps a buffer of that size each time. On a machine whose page faults
// are dear (a virtual one), that alone can cost several times the reading:
// 300 files gave 0.3-1.5 s against 0.13 s with the buffer kept. Raising
// glibc's thresholds keeps it in the heap, so the figure is the reading.
void catOfTheSameFiles(benchmark::State& state) {
  runCat(state, {"GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=268435456"});
}

// cat as it comes, for comparison with the line above.
void catOfTheSameFilesBufferPerFile(benchmark::State& state) { runCat(state, {}); }

void rescan(benchmark::State& state, const fs::path& root, Date now) {
  LocalActivityScanner scanner(root, kActivityLookBack);
  scanner.scanReporting(now);
  for (auto _ : state) benchmark::DoNotOptimize(scanner.scanReporting(now).summary.events().data());
}

void rescanUnchanged(benchmark::State& state) { rescan(state, tree().root, tree().now); }

// What no rescan can go below: each folder opened and every file's status
// taken once, by names known beforehand.
struct FolderNames {
  std::string folder;
  std::vector<std::string> names;
};

std::vector<FolderNames> folderNamesOf(const std::vector<TranscriptFile>& files) {
  std::vector<FolderNames> folders;
  for (const auto& file : files) {
    fs::path path(file.path);
    if (folders.empty() || folders.back().folder != path.parent_path().string())
      folders.push_back({path.parent_path().string(), {}});
    folders.back().names.push_back(path.filename().string());
  }
  return folders;
}

void statEachFile(benchmark::State& state, const std::vector<TranscriptFile>& files) {
  const std::vector<FolderNames> folders = folderNamesOf(files);
  for (auto _ : state) {
    for (const auto& folder : folders) {
      int fd = ::open(folder.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat status {};
      for (const auto& name : folder.names) ::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW);
      ::close(fd);
    }
  }
  state.counters["per file"] = benchmark::Counter(
      static_cast<double>(files.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void statEachFileOfTheTree(benchmark::State& state) { statEachFile(state, tree().files); }

// Three lines as Claude Code appends them during one turn: a tool result, an
// assistant line with usage and a progress line.
std::string appendedLines(std::uint64_t serial, Date at) {
  std::string id = std::to_string(serial);
  std::string timestamp = isoString(at).insert(19, ".250");
  std::string toolResult(1500, 'x');
  return R"({"type":"user","timestamp":")" + timestamp +
         R"(","message":{"role":"user","content":[{"type":"tool_result","content":")" + toolResult + "\"}]}}\n" +
         R"({"cwd":"/home/dev/projects/bench","type":"assistant","timestamp":")" + timestamp +
         R"(","requestId":"req_bench)" + id + R"(","message":{"id":"msg_bench)" + id +
         R"(","model":"claude-sonnet-4-6","content":[{"type":"text","text":"done"}],"usage":{"input_tokens":3,"output_tokens":120,"cache_read_input_tokens":4000,"cache_creation":{"ephemeral_5m_input_tokens":0,"ephemeral_1h_input_tokens":300}}}})" +
         "\n" + R"({"type":"progress","timestamp":")" + timestamp + R"(","data":{"type":"hook_progress"}})" + "\n";
}

// Cuts the files back to their sizes at creation when it goes.
class AppendedFiles {
 public:
  explicit AppendedFiles(std::vector<TranscriptFile> files) : files_(std::move(files)) {}
  ~AppendedFiles() {
    for (const auto& file : files_) ::truncate(file.path.c_str(), static_cast<off_t>(file.size));
  }
  AppendedFiles(const AppendedFiles&) = delete;
  AppendedFiles& operator=(const AppendedFiles&) = delete;

  void appendToEach(std::uint64_t& serial, Date at) {
    for (const auto& file : files_)
      if (appendOnNewLine(file.path, appendedLines(++serial, at)))
        throw std::runtime_error("cannot append to " + file.path);
  }

 private:
  std::vector<TranscriptFile> files_;
};

void rescanAfterAppending(benchmark::State& state) {
  constexpr std::size_t kFiles = 10;
  const auto& files = tree().files;
  AppendedFiles appended({files.begin(), files.begin() + std::min(kFiles, files.size())});
  LocalActivityScanner scanner(tree().root, kActivityLookBack);
  Date now = tree().now;
  scanner.scan(now);
  std::uint64_t serial = 0;
  for (auto _ : state) {
    state.PauseTiming();
    appended.appendToEach(serial, addSeconds(now, -60));
    state.ResumeTiming();
    benchmark::DoNotOptimize(scanner.scanReporting(now).summary.events().data());
  }
}

// Stage costs of a first scan: reading alone, then reading with the prefilter.
void readOnly(benchmark::State& state) {
  for (auto _ : state) {
    TranscriptReader reader;
    for (const auto& file : tree().files) reader.readCompleteLines(file, {}, [](std::string_view) {});
  }
  reportBytes(state, tree().bytes);
}

void readAndPrefilter(benchmark::State& state) {
  std::size_t lines = 0;
  for (auto _ : state) {
    TranscriptReader reader;
    lines = 0;
    for (const auto& file : tree().files)
      reader.readCompleteLines(
          file, {}, [&](std::string_view run) { forEachUsageLine(run, [&](std::string_view) { ++lines; }); });
  }
  reportBytes(state, tree().bytes);
  state.counters["usage lines"] = static_cast<double>(lines);
}

// 50 000 transcripts of two turns each in 500 project folders, in a
// temporary folder that goes with it.
class WideTree {
 public:
  static constexpr int kFiles = 50000, kFolders = 500;

  WideTree() {
    std::string pattern = (fs::temp_directory_path() / "ovel-bench-wide-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    top_ = pattern;
    Date at = addSeconds(systemNow(), -kHour);
    for (int folder = 0; folder < kFolders; ++folder) fs::create_directories(projects() / folderName(folder));
    for (int file = 0; file < kFiles; ++file) {
      std::string text = appendedLines(2 * file, at) + appendedLines(2 * file + 1, at);
      fs::path path = projects() / folderName(file % kFolders) / ("s" + std::to_string(file) + ".jsonl");
      if (auto error = writeFileAtomically(path, text, {.sync = false}))
        throw std::runtime_error("cannot write " + path.string());
    }
    // A rescan trusts what it remembers of a folder only once the folder
    // has been still for a moment, as nearly every folder of a real tree is.
    std::this_thread::sleep_for(std::chrono::duration<double>(TranscriptReadLimits{}.folderSettleSeconds + 0.5));
    now_ = systemNow();
  }
  ~WideTree() {
    std::error_code ignored;
    fs::remove_all(top_, ignored);
  }
  WideTree(const WideTree&) = delete;
  WideTree& operator=(const WideTree&) = delete;

  fs::path projects() const { return top_ / "projects"; }
  Date now() const { return now_; }

 private:
  static std::string folderName(int folder) { return "-home-dev-projects-w" + std::to_string(folder); }
  fs::path top_;
  Date now_;
};

WideTree& wideTree() {
  static WideTree wide;
  return wide;
}

void rescanWideUnchanged(benchmark::State& state) {
  rescan(state, wideTree().projects(), wideTree().now());
  state.counters["per file"] = benchmark::Counter(
      WideTree::kFiles, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void statEachFileOfTheWideTree(benchmark::State& state) {
  static const std::vector<TranscriptFile> files = listTranscriptFiles(wideTree().projects(), Date::min()).files;
  statEachFile(state, files);
}

std::optional<fs::path> treeArgument(int argc, char** argv) {
  if (argc > 1) return fs::path(argv[1]);
  if (const char* configured = std::getenv("OVEL_BENCH_TRANSCRIPTS"); configured && *configured)
    return fs::path(configured);
  return std::nullopt;
}

}  // namespace
}  // namespace ovel

int main(int argc, char** argv) {
  using namespace ovel;
  benchmark::Initialize(&argc, argv);
  auto root = treeArgument(argc, argv);
  if (root && fs::is_directory(*root / "projects")) *root /= "projects";
  if (!root || !fs::is_directory(*root)) {
    std::printf("bench_scanner: no transcript tree (pass its path or set OVEL_BENCH_TRANSCRIPTS); skipped\n");
    return 0;
  }
  tree() = describeTree(*root);
  std::printf("tree %s: %zu files, %llu bytes\n", root->c_str(), tree().files.size(),
              static_cast<unsigned long long>(tree().bytes));
  auto unit = benchmark::kMillisecond;
  // The processor time of every thread, not only of the one timed.
  benchmark::RegisterBenchmark("FirstScan", firstScan)->Unit(unit)->UseRealTime()->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark("FirstScan/OneReader", firstScanOneReader)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("CatOfTheSameFiles", catOfTheSameFiles)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("CatOfTheSameFiles/BufferPerFile", catOfTheSameFilesBufferPerFile)
      ->Unit(unit)
      ->UseRealTime();
  benchmark::RegisterBenchmark("RescanUnchanged", rescanUnchanged)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("Floor/StatEachFile", statEachFileOfTheTree)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("RescanAfterAppendingToTenFiles", rescanAfterAppending)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("Stage/ReadOnly", readOnly)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("Stage/ReadAndPrefilter", readAndPrefilter)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("RescanUnchanged/50000Files", rescanWideUnchanged)->Unit(unit)->UseRealTime();
  benchmark::RegisterBenchmark("Floor/StatEachFile/50000Files", statEachFileOfTheWideTree)->Unit(unit)->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The kill loop: a child process records readings into a history as fast as
// it can and tells its parent, through a pipe, each sample that record()
// returned for; the parent kills it with SIGKILL at a random moment and then
// checks the file. A sample told is lost when the file lacks it (and no
// prune could have dropped it), doubled when it is there twice. Each child
// goes on from the file the last one left. Readings are an hour apart, so a
// prune (and its rewrite, with the lines recorded while it runs) comes every
// day of readings and kills often land in the middle of one. A kill can also
// cut the write of a line that was never told (the kernel stops a write
// between pages): that torn last line is counted apart; the next append
// starts on a line of its own and loading skips it. Every 40 readings the
// clock runs ten days ahead for one reading and comes back: that reading
// waits out its prune, the next one drops it (a rewrite), and after each
// kill the parent records the next reading itself, as a restarted
// application would, after which no reading from the wrong clock may be left.
//   bench_history_kills [KILLS [LONGEST_MS]]   (3000 kills, up to 20 ms apart)
// Exits 1 when a sample was lost or doubled, a line was torn anywhere but at
// the end of the file by the last kill, or a wrong clock's reading was kept.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "../tests/support/TestSupport.h"
#include "core/engine/EngineConstants.h"
#include "core/engine/History.h"

namespace ovel {
namespace {

constexpr double kFirst = 1'760'000'000;
constexpr double kStep = 3600;
// A wrong clock's reading after serial s: ten days ahead, off the hourly grid.
constexpr double kAhead = 10 * kDay + kStep / 2;
constexpr std::int64_t kAheadEvery = 40;

double timeOf(std::int64_t serial) { return kFirst + static_cast<double>(serial) * kStep; }
std::int64_t serialOf(const HistorySample& sample) {
  return static_cast<std::int64_t>((secondsSince1970(sample.observedAt) - kFirst) / kStep + 0.5);
}
bool fromTheWrongClock(const HistorySample& sample) {
  double steps = (secondsSince1970(sample.observedAt) - kFirst) / kStep;
  return steps - std::floor(steps) > 0.25;
}

UsageWindow reading(std::int64_t serial, double ahead = 0) {
  UsageWindow window;
  window.kind = WindowKind::week();
  window.usedPercent = static_cast<double>(serial % 97);  // every reading a change
  window.resetsAt = dateFromSeconds1970(timeOf(serial) + kDay);
  window.observedAt = dateFromSeconds1970(timeOf(serial) + ahead);
  return window;
}

void recordAt(HistoryStore& store, const UsageWindow& window) {
  if (store.record({window}, window.observedAt).added.empty()) ::_exit(2);
}

// The child: goes on after the newest right-clock sample in the file,
// records until it is killed, and writes each recorded serial into `told`
// (a wrong clock's reading as -1 - serial).
[[noreturn]] void recordUntilKilled(const std::filesystem::path& url, int told) {
  HistoryStore store(url, kHistoryRetention, kHistoryHeartbeat);
  std::int64_t serial = 0;
  for (const HistorySample& sample : store.all())
    if (!fromTheWrongClock(sample)) serial = std::max(serial, serialOf(sample) + 1);
  for (;; ++serial) {
    recordAt(store, reading(serial));
    if (::write(told, &serial, sizeof serial) != sizeof serial) ::_exit(3);
    if (serial % kAheadEvery != kAheadEvery - 1) continue;
    recordAt(store, reading(serial, kAhead));
    std::int64_t ahead = -1 - serial;
    if (::write(told, &ahead, sizeof ahead) != sizeof ahead) ::_exit(3);
  }
}

std::vector<std::int64_t> readTold(int fd) {
  std::vector<std::int64_t> serials;
  std::int64_t serial;
  while (::read(fd, &serial, sizeof serial) == sizeof serial) serials.push_back(serial);
  return serials;
}

std::size_t lineCount(const std::string& text) {
  std::istringstream lines(text);
  std::size_t count = 0;
  for (std::string line; std::getline(lines, line);) count += !line.empty();
  return count;
}

struct Tally {
  std::size_t told = 0, lost = 0, doubled = 0, killedInRewrite = 0;
  std::size_t toldAhead = 0;   // readings from the wrong clock
  std::size_t leftAhead = 0;   // ...that a kill left in the file, for the next start to drop
  std::size_t keptAhead = 0;   // ...that the next start kept, though still ahead
  std::size_t refused = 0;     // children that stopped before the kill
  std::size_t cutLines = 0;    // a torn last line left by the kill
  std::size_t tornInside = 0;  // a torn line that no kill can explain
  std::size_t tornInFile = 0;  // after the last check
};

// The wrong clock's readings still ahead of the reading after `newest`. One
// that the right clock overtook while it waited for its rewrite (the bench's
// readings run hours a microsecond) is in the past, and rightly kept.
std::size_t stillAhead(const std::vector<HistorySample>& samples, std::int64_t newest) {
  const Date next = dateFromSeconds1970(timeOf(newest + 1));
  return static_cast<std::size_t>(std::count_if(samples.begin(), samples.end(), [next](const HistorySample& sample) {
    return fromTheWrongClock(sample) && sample.observedAt > next;
  }));
}

// A restart's first reading, on the right clock, after the newest one in
// the file: nothing from the wrong clock that is still ahead may outlive
// it. A rewrite it makes also drops the torn lines.
void restartAfter(const std::filesystem::path& url, std::int64_t newest, Tally& tally) {
  {
    HistoryStore store(url, kHistoryRetention, kHistoryHeartbeat);
    store.record({reading(newest + 1)}, dateFromSeconds1970(timeOf(newest + 1)));
    store.flush();
  }
  std::vector<HistorySample> samples = HistoryStore(url, kHistoryRetention, kHistoryHeartbeat).all();
  tally.keptAhead += stillAhead(samples, newest);
  tally.tornInFile = lineCount(test::readText(url)) - samples.size();
}

// Kills one child after `delay` and checks what it left.
void killOnce(const std::filesystem::path& url, std::chrono::microseconds delay, Tally& tally) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) std::exit(4);
  pid_t child = ::fork();
  if (child == 0) {
    ::close(ends[0]);
    recordUntilKilled(url, ends[1]);
  }
  ::close(ends[1]);
  std::this_thread::sleep_for(delay);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  // It stops by itself only when a reading was refused or telling failed.
  tally.refused += WIFEXITED(status);
  std::vector<std::int64_t> told = readTold(ends[0]);
  ::close(ends[0]);

  // A temporary beside the file: the kill came during a rewrite.
  for (const auto& entry : std::filesystem::directory_iterator(url.parent_path()))
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) ++tally.killedInRewrite;
  std::vector<HistorySample> samples = HistoryStore(url, kHistoryRetention, kHistoryHeartbeat).all();
  std::map<std::int64_t, int> present;
  std::int64_t newest = -1;
  for (const HistorySample& sample : samples) {
    if (fromTheWrongClock(sample)) continue;
    newest = std::max(newest, serialOf(sample));
    if (++present[serialOf(sample)] == 2) ++tally.doubled;
  }
  tally.leftAhead += stillAhead(samples, newest);
  // Torn lines stay until a rewrite drops them; only the last line may be new.
  std::string text = test::readText(url);
  std::size_t torn = lineCount(text) - samples.size();
  bool cut = !text.empty() && text.back() != '\n';
  tally.cutLines += cut;
  if (torn - cut > tally.tornInFile) ++tally.tornInside;
  tally.tornInFile = torn;
  // A prune keeps what is within the retention of the newest sample it saw.
  double keptFrom = timeOf(newest) - kHistoryRetention;
  for (std::int64_t serial : told) {
    if (serial < 0) {
      ++tally.toldAhead;
      continue;
    }
    ++tally.told;
    if (timeOf(serial) >= keptFrom && !present.count(serial)) ++tally.lost;
  }
  // The next child's store removes what this one left half written.
  removeStaleTemporaries(url.parent_path());
  restartAfter(url, newest, tally);
}

}  // namespace
}  // namespace ovel

int main(int argc, char** argv) {
  int kills = argc > 1 ? std::atoi(argv[1]) : 3000;
  int longestMs = argc > 2 ? std::atoi(argv[2]) : 20;
  ovel::test::TempDir dir;
  auto url = dir / "history.jsonl";
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay(0, longestMs * 1000);
  ovel::Tally tally;
  for (int kill = 0; kill < kills; ++kill) ovel::killOnce(url, std::chrono::microseconds(delay(random)), tally);
  std::printf("%d kills (up to %d ms after start), %zu samples recorded, %zu killed during a rewrite\n", kills,
              longestMs, tally.told, tally.killedInRewrite);
  std::printf("lost %zu, doubled %zu, torn inside the file %zu; last lines cut by a kill (never told) %zu\n",
              tally.lost, tally.doubled, tally.tornInside, tally.cutLines);
  std::printf("%zu readings from a clock ten days ahead: %zu left by a kill before their drop landed, %zu kept\n",
              tally.toldAhead, tally.leftAhead, tally.keptAhead);
  if (tally.refused) std::printf("%zu children stopped before their kill: a reading was refused\n", tally.refused);
  return tally.lost || tally.doubled || tally.tornInside || tally.keptAhead || tally.refused ? 1 : 0;
}

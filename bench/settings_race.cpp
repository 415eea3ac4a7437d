// The settings race: a stand-in for Claude Code rewrites settings.json every
// 2 ms, in place or by rename, while Ovel connects and disconnects in turn.
// Counts the edits that gave up, the files left without the user's or the
// writer's members, and the writer's updates that an edit set back.
//   bench_settings_race [OPERATIONS]   (400 of each kind)
// Exits 1 when a file lacked a member or an edit failed otherwise.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "support/SettingsWriter.h"

namespace ovel {
namespace {

int run(int operations) {
  using Style = test::SettingsWriter::Style;
  bool whole = true;
  for (Style style : {Style::inPlace, Style::byRename}) {
    test::TempDir dir;
    StatusLineIntegration integration{dir / "claude/settings.json", dir / "ovel/integration.json",
                                      dir / "ovel/bin/ovel-bridge"};
    auto start = std::chrono::steady_clock::now();
    test::SettingsRace race = test::raceTheWriter(integration, style, operations);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "%-9s  %d edits in %.2f s: %d gave up, %d failed, %d left a file without the members; "
        "writer: %lld of %lld updates set back\n",
        style == Style::inPlace ? "in place" : "by rename", race.operations, seconds, race.busy, race.failed,
        race.withoutKeys, static_cast<long long>(race.writer.setBack), static_cast<long long>(race.writer.updates));
    if (race.failed) std::printf("  first failure: %s\n", race.firstFailure.c_str());
    whole = whole && race.withoutKeys == 0 && race.failed == 0;
  }
  return whole ? 0 : 1;
}

}  // namespace
}  // namespace ovel

int main(int argc, char** argv) { return ovel::run(argc > 1 ? std::atoi(argv[1]) : 400); }

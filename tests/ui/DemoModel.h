// A usage model showing demo data, with its preferences in memory and every
// file (data directory, Claude Code's folder) in a temporary folder.
#pragma once

#include <optional>

#include "DefaultsStore.h"
#include "Demo.h"
#include "Integrations.h"
#include "Preferences.h"
#include "UsageModel.h"
#include "core/EngineConstants.h"
#include "core/History.h"
#include "support/TestSupport.h"

namespace ovel::test {

class DemoModel {
 public:
  // Without a demo the model stays as built: no reading yet.
  explicit DemoModel(std::optional<Demo> demo = Demo::make(Demo::Scenario::comfortable, systemNow())) {
    if (demo) model.startDemo(*demo);
  }

  // The comfortable demo without its transcript events or /usage findings.
  static Demo quiet() {
    Demo demo = Demo::make(Demo::Scenario::comfortable, systemNow());
    demo.events.clear();
    demo.insights.periods.clear();
    return demo;
  }

  TempDir dir;
  ScopedEnv home{"OVEL_HOME", (dir / "data").string()};
  ScopedEnv claude{"CLAUDE_CONFIG_DIR", (dir / "claude").string()};
  MemoryDefaultsStore defaults;
  Preferences preferences{defaults};
  HistoryStore history{dir / "history.jsonl", kHistoryRetention, kHistoryHeartbeat};
  UsageModel model{preferences, history, ResetPlanStore(dir / "reset-plan.json")};
  Integrations integrations{AppBundle{}, nullptr};
};

}  // namespace ovel::test

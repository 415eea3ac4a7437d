// A look inside UsageModel for tests and benchmarks only: its private
// bookkeeping, and a way to make the next recompute learn the session/week
// ratio again. The application never includes this.
#pragma once

#include "model/UsageModel.h"

namespace ovel {

struct UsageModelInternals {
  static std::optional<WindowKind> bindingKind(const UsageModel& model) { return model.bindingKind_; }
  static std::optional<Date> lastRecompute(const UsageModel& model) { return model.lastRecompute_; }
  static std::optional<Date> lastActivityScan(const UsageModel& model) { return model.lastActivityScan_; }
  static bool tickIsPending(const UsageModel& model) { return model.pendingTick_.has_value(); }
  static void forgetRatio(UsageModel& model) { model.ratioHistoryCount_ = -1; }
  static void ingest(UsageModel& model, const std::vector<UsageWindow>& windows) { model.ingest(windows); }
};

}  // namespace ovel

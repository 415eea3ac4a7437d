// The dashboard's foot: whether each source of figures works (the /usage
// probe, the status line, the transcripts) and the way to the settings.
#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "core/claude/StatusLineIntegration.h"
#include "core/support/Time.h"

namespace ovel {

class Integrations;
class SourceStatus;
class UsageModel;

class SourcesSection final : public QWidget {
  Q_OBJECT

 public:
  SourcesSection(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
                 QWidget* parent = nullptr);

  // What the rows read of the model and the integrations.
  struct Inputs {
    Date now;
    std::optional<Date> lastProbeAt = {};
    std::optional<std::string> lastProbeError = {};
    std::optional<Date> lastStatusLineAt = {};
    StatusLineIntegration::State statusLine = StatusLineIntegration::State::notInstalled();
    std::size_t eventCount = 0;
  };
  struct Row {
    QString name;
    QString detail;
    bool ok;
    bool operator==(const Row&) const = default;
  };
  // "/usage", "Status line" and "Transcripts", in that order. A failed
  // probe is not ok, however recent.
  static std::array<Row, 3> rows(const Inputs& inputs);

  const std::array<SourceStatus*, 3>& statuses() const { return statuses_; }

 private:
  void refresh();

  UsageModel& model_;
  Integrations& integrations_;
  std::array<SourceStatus*, 3> statuses_;
};

}  // namespace ovel

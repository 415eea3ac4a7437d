// The settings window's second tab: connecting the status-line relay to
// Claude Code and its state, the path of the claude command, and a probe
// on demand with its outcome.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <string>

#include "core/claude/StatusLineIntegration.h"
#include "core/support/Time.h"
#include "ui/Symbol.h"
#include "ui/ThemeColor.h"

class QLineEdit;
class QPushButton;

namespace ovel {

class IconLabel;
class Integrations;
class Preferences;
class Spinner;
class TextView;
class UsageModel;

class ClaudeCodeTab final : public QWidget {
 public:
  ClaudeCodeTab(Preferences& preferences, Integrations& integrations, UsageModel& model, QWidget* parent = nullptr);

  // Brings every control up to date (the tab also follows signals).
  void refresh();
  // Searches for the claude command again and shows what it finds in the
  // path field's placeholder (also done whenever the tab is shown).
  void showSearch();

  // The state line: its text, symbol (none when not connected) and colour.
  struct StateLine {
    QString text;
    std::optional<Symbol> symbol;
    ThemeColor color;
  };
  static StateLine statusLineState(const StatusLineIntegration::State& state, bool hasDownstreamCommand);

  // Beside "Check now": a spinner while probing, else the last error, else
  // how old the newest reading is, else nothing.
  struct ProbeStatus {
    enum class Form { nothing, spinner, error, working };
    Form form = Form::nothing;
    QString text;
  };
  static ProbeStatus probeStatus(bool isProbing, const std::optional<std::string>& lastProbeError,
                                 std::optional<Date> lastObserved, Date now);
  // "Working · just now" below 45 s, else "Working · 3h ago".
  static std::string workingText(double age);

  QPushButton* connectButton() const { return connect_; }
  IconLabel* stateLabel() const { return state_; }
  TextView* errorLine() const { return error_; }
  QPushButton* checkButton() const { return check_; }
  Spinner* probeSpinner() const { return spinner_; }
  IconLabel* probeResult() const { return result_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* buildLiveSection();
  QWidget* buildCommandSection();

  Preferences& preferences_;
  Integrations& integrations_;
  UsageModel& model_;
  IconLabel* state_ = nullptr;
  QPushButton* connect_ = nullptr;
  TextView* error_ = nullptr;
  QLineEdit* path_ = nullptr;
  QPushButton* check_ = nullptr;
  Spinner* spinner_ = nullptr;
  IconLabel* result_ = nullptr;
};

}  // namespace ovel

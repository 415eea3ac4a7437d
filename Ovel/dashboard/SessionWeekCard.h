// The dashboard card that says how the 5-hour session and the week climb
// together: what one full session costs of the week, how many sessions fit
// in a week and how many are left, or that Ovel is still learning.
#pragma once

#include <QWidget>

#include <optional>
#include <string>

#include "core/engine/OvelEngine.h"

namespace ovel {

class TextView;
class UsageModel;

class SessionWeekCard final : public QWidget {
 public:
  struct Texts {
    std::string headline;
    std::string caption;
    std::optional<std::string> perWeek;  // only once learned
    std::optional<std::string> left;     // only once learned and with a week reading

    bool operator==(const Texts&) const = default;
  };

  // Follows the model's learned ratio and week reading.
  explicit SessionWeekCard(const UsageModel& model, QWidget* parent = nullptr);

  void setRatio(const std::optional<SessionWeekRatio>& ratio, std::optional<double> weekUsed);

  static Texts texts(const std::optional<SessionWeekRatio>& ratio, std::optional<double> weekUsed);
  // A whole number from 10, else one decimal; "∞" when a session costs
  // nothing of the week, "—" when the figure is not a number.
  static std::string sessionsFigure(double sessions);

  const Texts& shown() const { return shown_; }

 private:
  void refresh();

  const UsageModel& model_;
  Texts shown_;
  QWidget* textColumn_;
  TextView* heading_;
  TextView* headline_;
  TextView* caption_;
  QWidget* perWeek_;
  TextView* perWeekValue_;
  QWidget* left_;
  TextView* leftValue_;
};

}  // namespace ovel

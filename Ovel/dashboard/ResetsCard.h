// The dashboard card in which the user keeps the reset plan by hand: the
// banked resets with their stepper and the "Redeemed one" menu, the planned
// resets with their trash buttons, and the row that adds one. Every edit is
// one call into the model; the card reads the plan back from it. What the
// user types for the next reset (date, scope, note) lives in editors that
// are built once and never rebuilt under their hands.
#pragma once

#include <QDateTime>
#include <QWidget>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/ResetPlan.h"
#include "core/support/Time.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace ovel {

class DateField;
class Stepper;
class SymbolButton;
class TextView;
class UsageModel;

class ResetsCard final : public QWidget {
 public:
  static constexpr int kMaximumBanked = 99;

  struct RedeemEntry {
    const char* title;
    PlannedReset::Scope scope;
  };
  // The "Redeemed one" menu, in its order.
  static constexpr std::array<RedeemEntry, 3> kRedeemEntries{{{"Session (5h)", PlannedReset::Scope::session},
                                                              {"Weekly", PlannedReset::Scope::week},
                                                              {"Both", PlannedReset::Scope::all}}};

  // What one planned row shows.
  struct RowTexts {
    std::string clock;
    std::string scope;
    std::optional<std::string> note;  // absent for an empty note
    bool passed = false;              // at or before now

    bool operator==(const RowTexts&) const = default;
  };

  explicit ResetsCard(UsageModel& model, QWidget* parent = nullptr);

  static std::string savedText(long long banked);
  static RowTexts rowTexts(const PlannedReset& reset, Date now);
  // One calendar day after `now`, or `now` when that day cannot be formed.
  static QDateTime initialDate(const QDateTime& now);

  // The reset that "Add" would plan now: a fresh id and the editors' values.
  PlannedReset draft() const;

  // For tests: the controls and what the card shows.
  Stepper* stepper() const { return stepper_; }
  TextView* savedView() const { return saved_; }
  QPushButton* redeemButton() const { return redeem_; }
  TextView* emptyPlanView() const { return emptyPlan_; }
  TextView* saveErrorView() const { return saveError_; }
  DateField* dateEdit() const { return date_; }
  QComboBox* scopePicker() const { return scope_; }
  QLineEdit* noteField() const { return note_; }
  QPushButton* addButton() const { return add_; }
  std::vector<Uuid> shownIds() const;
  std::vector<RowTexts> shownRows() const;
  SymbolButton* removeButton(std::size_t row) const;

 private:
  class PlannedRow;

  QWidget* bankedColumn();
  QWidget* plannedColumn();
  QWidget* addRow();
  QWidget* saveErrorRow();
  void refresh();
  void refreshRows();
  void addDraft();

  UsageModel& model_;
  TextView* saved_ = nullptr;
  Stepper* stepper_ = nullptr;
  QPushButton* redeem_ = nullptr;
  TextView* emptyPlan_ = nullptr;
  QVBoxLayout* rows_ = nullptr;
  std::vector<PlannedRow*> rowViews_;
  std::vector<PlannedReset> rowsShown_;
  QWidget* saveErrorRow_ = nullptr;
  TextView* saveError_ = nullptr;
  DateField* date_ = nullptr;
  QComboBox* scope_ = nullptr;
  QLineEdit* note_ = nullptr;
  QPushButton* add_ = nullptr;
};

}  // namespace ovel

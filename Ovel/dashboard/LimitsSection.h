// The dashboard's limit panels: every current window in full, side by side,
// when they fit; otherwise the main window in full with the others as a
// column of compact panels beside it. Tapping a compact panel promotes its
// window to the main panel until 30 s have passed or a new reading arrives.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QWidget>

#include <optional>
#include <span>
#include <vector>

#include "core/engine/OvelEngine.h"
#include "model/AppServices.h"

namespace ovel {

class CompactLimitPanel;
class LimitPanel;
class UsageModel;

enum class LimitsLayout { allInFull, mainAndCompact };

// The window a promotion shows in full, and its end: 30 s after the last
// promotion, or at once when the newest reading changes. The timeout runs
// on the model's scheduler. A tap and the timeout are shown moving along a
// spring; a new reading puts the steering window back at once.
class PromotionState final : public QObject {
  Q_OBJECT

 public:
  static constexpr double kTimeout = 30;

  explicit PromotionState(Scheduler& scheduler, QObject* parent = nullptr);
  ~PromotionState() override;

  const std::optional<WindowKind>& promoted() const { return promoted_; }
  // Shows `kind` in full and starts the 30 s again.
  void promote(const WindowKind& kind);
  // Told the newest observation time at every refresh: the first value is
  // taken as it stands, a different later one ends the promotion. True
  // when that ended one (and changed() has been sent).
  bool noteLastObserved(std::optional<Date> lastObservedAt);

 signals:
  void changed(bool animated);

 private:
  void set(std::optional<WindowKind> kind, bool animated);

  Scheduler& scheduler_;
  std::optional<WindowKind> promoted_;
  std::optional<Scheduler::TaskId> timeout_;
  bool seenReading_ = false;
  std::optional<Date> lastObserved_;
};

class LimitsSection final : public QWidget {
 public:
  static constexpr int kSpacing = 14;
  static constexpr int kPanelMinimumWidth = 296;
  static constexpr int kCompactWidth = 290;
  // The spring a promotion and its return move on.
  static constexpr double kPromotionResponse = 0.5;

  explicit LimitsSection(UsageModel& model, QWidget* parent = nullptr);

  // Re-reads the model.
  void refresh();

  // All in full when every panel, at its ideal width but no narrower than
  // 296, fits side by side with gaps of 14; else main and compact.
  static LimitsLayout chooseLayout(double width, std::span<const double> panelIdealWidths);
  // The promoted window's assessment, else the steering window's, else the
  // first one; nothing without assessments.
  static std::optional<WindowAssessment> mainAssessment(std::span<const WindowAssessment> assessments,
                                                        const std::optional<WindowKind>& promoted,
                                                        const std::optional<WindowAssessment>& steerAssessment);

  PromotionState& promotion() const { return *promotion_; }
  // The layout of the last placement.
  LimitsLayout layoutShown() const;
  // How strongly the panels as they stood before the last animated
  // promotion still show over the new ones: 1 at the change, 0 at rest.
  double crossfade() const;
  // What they looked like; empty at rest.
  QPixmap crossfadeImage() const;
  const std::vector<LimitPanel*>& panels() const { return panels_; }
  const std::vector<CompactLimitPanel*>& compactPanels() const { return compacts_; }

 private:
  class Arrangement;
  class Crossfade;

  void rebuildPanels();
  void promotionChanged(bool animated);
  // The compact panel that takes the focus when the focused one is shown
  // in full as `nextMain`; none otherwise.
  CompactLimitPanel* focusHeir(std::optional<std::size_t> nextMain) const;

  UsageModel& model_;
  PromotionState* promotion_;
  Arrangement* arrangement_;
  Crossfade* crossfade_;
  std::vector<WindowKind> kinds_;
  std::vector<LimitPanel*> panels_;
  std::vector<CompactLimitPanel*> compacts_;
};

}  // namespace ovel

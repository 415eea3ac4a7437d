// The content of the status item's popover, one column 340 wide: the rings
// with a headline and how fresh the figures are; then a setup hint, a
// spinner, or the steering banner, the headline window's card, a row per
// other window and the last probe error; and the footer's actions. It stores
// nothing and updates its parts in place as the model changes.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/OvelEngine.h"
#include "model/PreferenceTypes.h"
#include "model/UsageModel.h"
#include "ui/Card.h"
#include "ui/ThemeColor.h"

class QScrollArea;
class QVBoxLayout;

namespace ovel {

class BreakdownView;
class DayRingView;
class IconLabel;
class Integrations;
class Spinner;
class SteerBanner;
class SymbolButton;
class SymbolView;
class TextView;
class WindowCard;
class WindowRow;

// What takes the content's place while the model has failed.
class SetupHint final : public Card {
 public:
  SetupHint(std::function<void()> openSettings, QWidget* parent = nullptr);
  void setMessage(const QString& message);
  TextView* messageView() const { return message_; }

 private:
  TextView* message_;
};

class PopoverView final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 340;

  PopoverView(
      UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
      std::function<void()> openDashboard = [] {}, QWidget* parent = nullptr);

  // Brings every part up to date at once (the view also follows signals).
  void rebuild();

  // The height follows the content at the fixed width. Given less (a
  // maximum height), the content between the header and the footer scrolls.
  QSize sizeHint() const override;

  enum class ContentForm { setupHint, spinner, windows };
  static ContentForm contentForm(const UsageModel::Phase& phase, bool hasAssessments);
  static std::string headlineText(const std::optional<WindowAssessment>& headline, const UsageModel::Phase& phase);
  // A status line read less than 120 s ago.
  static bool isLive(Date now, std::optional<Date> lastStatusLineAt);
  static std::string freshnessText(Date now, std::optional<Date> lastObserved, bool live);
  // The windows of the session and week ring items, in layout order, when
  // they have an assessment.
  static std::vector<WindowAssessment> ringWindows(const std::vector<MenuBarItem>& items,
                                                   const std::optional<WindowAssessment>& session,
                                                   const std::optional<WindowAssessment>& week);
  // A ring's own tint: its steer's colour, secondary without one.
  static ThemeColor steerTint(const std::optional<OvelSteer>& steer);
  // The single ring's tint: the model's steer, else the headline's status.
  static ThemeColor ringTint(const std::optional<OvelSteer>& steer, const std::optional<WindowAssessment>& headline);
  // Every assessment but the headline's window, in the model's order.
  static std::vector<WindowAssessment> rowAssessments(const std::vector<WindowAssessment>& assessments,
                                                      const WindowKind& headlineKind);

  static const QString kTwoRingsHelp;
  static const QString kOneRingHelp;

  // For tests: the parts as shown.
  const std::vector<DayRingView*>& rings() const { return rings_; }
  TextView* headlineView() const { return headline_; }
  TextView* freshnessView() const { return freshness_; }
  SymbolView* liveDot() const { return liveDot_; }
  SymbolButton* refreshButton() const { return refresh_; }
  Spinner* probeSpinner() const { return probeSpinner_; }
  SetupHint* setupHint() const { return setupHint_; }
  QWidget* windows() const { return windows_; }
  Card* rowsCard() const { return rowsCard_; }
  const std::vector<WindowRow*>& rows() const { return rows_; }
  IconLabel* errorLabel() const { return error_; }
  SymbolButton* liveLink() const { return liveLink_; }
  QScrollArea* contentScroll() const { return scroll_; }
  QWidget* footer() const { return footer_; }
  BreakdownView* breakdown() const { return breakdown_; }

 protected:
  // Each opening starts at the top of the content, with no control
  // focused: closing lets go of the focus.
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Tab follows the reading order: the header, the content, the footer.
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* buildHeader();
  QWidget* buildContent();
  QWidget* buildFooter();
  void updateRings(const std::optional<WindowAssessment>& headline);
  void placeRings(const std::vector<WindowKind>& kinds, int side);
  void updateWindows(const std::optional<WindowAssessment>& headline);
  void updateRows(const std::vector<WindowAssessment>& rows);

  UsageModel& model_;
  Integrations& integrations_;
  std::function<void()> openSettings_;
  std::function<void()> openDashboard_;

  QWidget* ringArea_ = nullptr;
  std::vector<DayRingView*> rings_;
  std::vector<WindowKind> ringKinds_;
  std::vector<std::optional<double>> ringKeys_;  // the steer angle each ring last animated on
  TextView* headline_ = nullptr;
  SymbolView* liveDot_ = nullptr;
  TextView* freshness_ = nullptr;
  SymbolButton* refresh_ = nullptr;
  Spinner* probeSpinner_ = nullptr;

  SetupHint* setupHint_ = nullptr;
  QWidget* waiting_ = nullptr;
  QWidget* windows_ = nullptr;
  SteerBanner* banner_ = nullptr;
  WindowCard* card_ = nullptr;
  Card* rowsCard_ = nullptr;
  std::vector<WindowRow*> rows_;
  std::vector<WindowKind> rowKinds_;
  IconLabel* error_ = nullptr;
  BreakdownView* breakdown_ = nullptr;

  SymbolButton* liveLink_ = nullptr;
  QWidget* footer_ = nullptr;
  QScrollArea* scroll_ = nullptr;
};

}  // namespace ovel

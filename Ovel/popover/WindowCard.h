// One limit window: the full card of the headline window (title and status,
// the used share in large figures, when it resets, the usage bar, the
// verdict and three figures) and the compact two-line row of every other
// one. Both are updated in place, so that the bar moves along its spring.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <string>

#include "core/engine/OvelEngine.h"
#include "core/support/Time.h"
#include "ui/Card.h"

namespace ovel {

class CountingFigure;
class IconLabel;
class OvelBar;
class StatusPill;
class SymbolView;
class TextView;

// Every text the card and the row show for one assessment.
struct WindowTexts {
  QString title;
  QString used;                     // "42%"
  std::optional<QString> resets;    // "resets 3:45 PM", with a reset time only
  std::optional<QString> resetsIn;  // "in 2h 5m", with a reset time only
  std::optional<QString> planned;   // "planned Tue 9:00 AM", with both times only
  QString verdict;
  QString burnRate;         // "—" without a rate
  QString sustainable;      // "—" without one
  QString evenOvel;         // "—" without an even line
  QString accessibleLabel;  // "Session: 42% used. Lands around 61% at reset."

  static WindowTexts of(const WindowAssessment& assessment, Date now);
};

// "Current burn rate, from recent readings." and the like.
std::string rateHelp(RateBasis basis);

class WindowCard final : public Card {
 public:
  explicit WindowCard(QWidget* parent = nullptr);

  void setAssessment(const WindowAssessment& assessment, Date now);

  static constexpr int kUsedPixels = 40;

  TextView* usedView() const { return used_; }

 private:
  TextView* title_;
  StatusPill* pill_;
  TextView* used_;
  CountingFigure* usedCount_;
  QWidget* resetBlock_;
  TextView* resets_;
  TextView* resetsIn_;
  TextView* planned_;
  OvelBar* bar_;
  IconLabel* verdict_;
  TextView* burnRate_;
  TextView* sustainable_;
  TextView* evenOvel_;
  QWidget* burnRateStat_;
};

class WindowRow final : public QWidget {
 public:
  explicit WindowRow(QWidget* parent = nullptr);

  void setAssessment(const WindowAssessment& assessment, Date now);

  // A comfortable row shows no symbol and a secondary verdict.
  static bool showsSymbol(OvelStatus status) { return status != OvelStatus::comfortable; }

  TextView* titleView() const { return title_; }
  TextView* usedView() const { return used_; }
  SymbolView* symbolView() const { return symbol_; }
  TextView* verdictView() const { return verdict_; }

  static constexpr int kTitleWidth = 92;
  static constexpr int kPercentWidth = 40;

 private:
  TextView* title_;
  OvelBar* bar_;
  TextView* used_;
  CountingFigure* usedCount_;
  SymbolView* symbol_;
  TextView* verdict_;
  TextView* resets_;
};

}  // namespace ovel

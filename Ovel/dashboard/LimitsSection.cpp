#include "dashboard/LimitsSection.h"

#include <QLayout>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <numeric>

#include "dashboard/LimitPanel.h"
#include "model/UsageModel.h"
#include "ui/Spring.h"
#include "ui/ViewSupport.h"

namespace ovel {

PromotionState::PromotionState(Scheduler& scheduler, QObject* parent) : QObject(parent), scheduler_(scheduler) {}

PromotionState::~PromotionState() {
  if (timeout_) scheduler_.cancel(*timeout_);
}

void PromotionState::promote(const WindowKind& kind) { set(kind, true); }

bool PromotionState::noteLastObserved(std::optional<Date> lastObservedAt) {
  bool changedReading = seenReading_ && lastObservedAt != lastObserved_;
  seenReading_ = true;
  lastObserved_ = lastObservedAt;
  if (!changedReading || !promoted_) return false;
  set(std::nullopt, false);
  return true;
}

void PromotionState::set(std::optional<WindowKind> kind, bool animated) {
  if (kind == promoted_) return;
  promoted_ = std::move(kind);
  if (timeout_) scheduler_.cancel(*timeout_);
  timeout_.reset();
  if (promoted_)
    timeout_ = scheduler_.after(kTimeout, [this] {
      timeout_.reset();
      set(std::nullopt, true);
    });
  emit changed(animated);
}

// Places the panels for the width it is given, as a layout, so that the
// choice follows the width in the same pass that sizes everything else.
class LimitsSection::Arrangement final : public QLayout {
 public:
  explicit Arrangement(QWidget* parent) : QLayout(parent) { setContentsMargins(0, 0, 0, 0); }
  ~Arrangement() override { clearItems(); }

  void setPanels(const std::vector<LimitPanel*>& full, const std::vector<CompactLimitPanel*>& compact) {
    clearItems();
    for (LimitPanel* panel : full) {
      addChildWidget(panel);
      full_.push_back(new QWidgetItem(panel));
    }
    for (CompactLimitPanel* panel : compact) {
      addChildWidget(panel);
      compact_.push_back(new QWidgetItem(panel));
    }
    invalidate();
  }
  const std::optional<std::size_t>& main() const { return main_; }
  void setMain(std::optional<std::size_t> main) {
    if (main == main_) return;
    main_ = main;
    invalidate();
  }
  LimitsLayout shown() const { return shown_; }

  void addItem(QLayoutItem* item) override { extra_.push_back(item); }
  int count() const override { return static_cast<int>(full_.size() + compact_.size() + extra_.size()); }
  QLayoutItem* itemAt(int index) const override {
    auto i = static_cast<std::size_t>(index);
    if (index < 0) return nullptr;
    if (i < full_.size()) return full_[i];
    i -= full_.size();
    if (i < compact_.size()) return compact_[i];
    i -= compact_.size();
    return i < extra_.size() ? extra_[i] : nullptr;
  }
  QLayoutItem* takeAt(int index) override {
    QLayoutItem* item = itemAt(index);
    for (auto* list : {&full_, &compact_, &extra_}) std::erase(*list, item);
    return item;
  }

  QSize sizeHint() const override {
    int width = 0, height = 0;
    for (QLayoutItem* item : full_) {
      width += std::max(item->sizeHint().width(), kPanelMinimumWidth);
      height = std::max(height, item->sizeHint().height());
    }
    if (!full_.empty()) width += kSpacing * static_cast<int>(full_.size() - 1);
    return {width, height};
  }
  QSize minimumSize() const override {
    if (full_.empty()) return {0, 0};
    int main = 0;
    for (QLayoutItem* item : full_) main = std::max(main, item->minimumSize().width());
    return {main + (full_.size() > 1 ? kSpacing + kCompactWidth : 0), 0};
  }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return place(QRect(0, 0, width, 0), false); }
  void setGeometry(const QRect& rect) override {
    QLayout::setGeometry(rect);
    place(rect, true);
  }

 private:
  // Lays the panels out in `rect` (only when `apply`); gives the height used.
  int place(const QRect& rect, bool apply) const {
    std::size_t n = full_.size();
    if (n == 0) return 0;
    std::vector<double> ideals;
    for (QLayoutItem* item : full_) ideals.push_back(item->widget()->sizeHint().width());
    LimitsLayout layout = chooseLayout(rect.width(), ideals);
    if (apply) shown_ = layout;
    if (layout == LimitsLayout::allInFull) return placeAllInFull(rect, apply);
    return placeMainAndCompact(rect, apply);
  }

  int placeAllInFull(const QRect& rect, bool apply) const {
    std::size_t n = full_.size();
    int each = (rect.width() - kSpacing * static_cast<int>(n - 1)) / static_cast<int>(n);
    int height = 0;
    for (QLayoutItem* item : full_) height = std::max(height, heightAt(item, each));
    if (!apply) return height;
    // Every panel of the row takes the height of the tallest.
    int rowHeight = std::max(height, rect.height());
    int x = rect.left();
    for (QLayoutItem* item : full_) {
      show(item, true);
      item->setGeometry(QRect(x, rect.top(), each, rowHeight));
      x += each + kSpacing;
    }
    for (QLayoutItem* item : compact_) show(item, false);
    return height;
  }

  int placeMainAndCompact(const QRect& rect, bool apply) const {
    std::size_t main = main_.value_or(0);
    bool column = full_.size() > 1;
    int mainWidth = rect.width() - (column ? kSpacing + kCompactWidth : 0);
    int mainHeight = heightAt(full_[main], mainWidth);
    int y = rect.top();
    for (std::size_t i = 0; i < compact_.size(); ++i) {
      if (i == main) continue;
      int height = heightAt(compact_[i], kCompactWidth);
      if (apply) compact_[i]->setGeometry(QRect(rect.right() + 1 - kCompactWidth, y, kCompactWidth, height));
      y += height + kSpacing;
    }
    int columnHeight = column ? y - kSpacing - rect.top() : 0;
    if (apply) {
      for (std::size_t i = 0; i < full_.size(); ++i) show(full_[i], i == main);
      for (std::size_t i = 0; i < compact_.size(); ++i) show(compact_[i], i != main);
      full_[main]->setGeometry(QRect(rect.left(), rect.top(), mainWidth, mainHeight));
    }
    return std::max(mainHeight, columnHeight);
  }

  static int heightAt(QLayoutItem* item, int width) {
    QWidget* widget = item->widget();
    return widget->hasHeightForWidth() ? widget->heightForWidth(width) : widget->sizeHint().height();
  }
  static void show(QLayoutItem* item, bool visible) {
    if (item->widget()->isHidden() == visible) item->widget()->setVisible(visible);
  }

  void clearItems() {
    for (auto* list : {&full_, &compact_}) {
      for (QLayoutItem* item : *list) delete item;
      list->clear();
    }
  }

  std::vector<QLayoutItem*> full_;
  std::vector<QLayoutItem*> compact_;
  std::vector<QLayoutItem*> extra_;  // never placed
  std::optional<std::size_t> main_;
  mutable LimitsLayout shown_ = LimitsLayout::allInFull;
};

// The section as it stood before an animated promotion, drawn over the new
// layout and fading out along the promotion's spring.
class LimitsSection::Crossfade final : public QWidget {
 public:
  explicit Crossfade(QWidget* parent)
      : QWidget(parent),
        spring_(new Spring(
            this, [this](const QVariant& value) { show(value.toDouble()); }, kPromotionResponse)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
  }

  void start(QPixmap before) {
    before_ = std::move(before);
    setGeometry(QRect(QPoint(), before_.deviceIndependentSize().toSize()));
    raise();
    spring_->setTarget(1.0, false);
    spring_->setTarget(0.0);
  }
  double opacity() const { return opacity_; }
  const QPixmap& image() const { return before_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setOpacity(opacity_);
    painter.drawPixmap(0, 0, before_);
  }

 private:
  void show(double opacity) {
    opacity_ = opacity;
    setVisible(opacity_ > 0);
    if (opacity_ <= 0) before_ = QPixmap();
    update();
  }

  Spring* spring_;
  QPixmap before_;
  double opacity_ = 0;
};

LimitsSection::LimitsSection(UsageModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      promotion_(new PromotionState(model.scheduler(), this)),
      arrangement_(new Arrangement(this)),
      crossfade_(new Crossfade(this)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  connect(promotion_, &PromotionState::changed, this, &LimitsSection::promotionChanged);
  refresh();
}

void LimitsSection::promotionChanged(bool animated) {
  // Only the second layout shows which window is promoted.
  bool shows = animated && isVisible() && layoutShown() == LimitsLayout::mainAndCompact;
  if (shows && Spring::animationsEnabled()) {
    // The panels as they stand, without what still fades from a tap before.
    crossfade_->hide();
    crossfade_->start(grab());
  }
  refresh();
}

double LimitsSection::crossfade() const { return crossfade_->opacity(); }

QPixmap LimitsSection::crossfadeImage() const { return crossfade_->image(); }

LimitsLayout LimitsSection::chooseLayout(double width, std::span<const double> panelIdealWidths) {
  double needed = 0;
  for (double ideal : panelIdealWidths) needed += std::max(ideal, static_cast<double>(kPanelMinimumWidth));
  if (!panelIdealWidths.empty()) needed += kSpacing * static_cast<double>(panelIdealWidths.size() - 1);
  return needed <= width ? LimitsLayout::allInFull : LimitsLayout::mainAndCompact;
}

std::optional<WindowAssessment> LimitsSection::mainAssessment(std::span<const WindowAssessment> assessments,
                                                              const std::optional<WindowKind>& promoted,
                                                              const std::optional<WindowAssessment>& steerAssessment) {
  std::optional<WindowKind> target = promoted;
  if (!target && steerAssessment) target = steerAssessment->window.kind;
  if (target)
    for (const WindowAssessment& a : assessments)
      if (a.window.kind == *target) return a;
  if (assessments.empty()) return std::nullopt;
  return assessments.front();
}

LimitsLayout LimitsSection::layoutShown() const { return arrangement_->shown(); }

void LimitsSection::rebuildPanels() {
  std::vector<QWidget*> old(panels_.begin(), panels_.end());
  old.insert(old.end(), compacts_.begin(), compacts_.end());
  panels_.clear();
  compacts_.clear();
  for (const WindowKind& kind : kinds_) {
    panels_.push_back(new LimitPanel);
    auto* compact = new CompactLimitPanel;
    compact->setToolTip(QString::fromStdString("Show " + kind.title() + " in full"));
    connect(compact, &CompactLimitPanel::tapped, this, [this, kind] { promotion_->promote(kind); });
    compacts_.push_back(compact);
  }
  arrangement_->setPanels(panels_, compacts_);
  for (QWidget* widget : old) delete widget;
}

CompactLimitPanel* LimitsSection::focusHeir(std::optional<std::size_t> nextMain) const {
  // The focused compact panel goes full size: its place in the column, and
  // the focus, go to the window it changed places with.
  const std::optional<std::size_t>& main = arrangement_->main();
  if (!nextMain || !main || *nextMain == *main || layoutShown() != LimitsLayout::mainAndCompact) return nullptr;
  if (*nextMain >= compacts_.size() || *main >= compacts_.size() || !compacts_[*nextMain]->hasFocus()) return nullptr;
  return compacts_[*main];
}

void LimitsSection::refresh() {
  // Ending a promotion refreshes through changed(): once is enough.
  if (promotion_->noteLastObserved(model_.state().lastObservedAt())) return;
  const auto& assessments = model_.assessments();
  std::vector<WindowKind> kinds;
  for (const WindowAssessment& a : assessments) kinds.push_back(a.window.kind);
  if (kinds != kinds_) {
    kinds_ = std::move(kinds);
    rebuildPanels();
  }
  Date now = model_.now();
  for (std::size_t i = 0; i < assessments.size(); ++i) {
    const WindowAssessment& a = assessments[i];
    panels_[i]->setData(a, OvelEngine::rates(a, model_.history(), model_.rateActivity(), now), now);
    compacts_[i]->setData(a, now);
  }
  auto main = mainAssessment(assessments, promotion_->promoted(), model_.steerAssessment());
  std::optional<std::size_t> mainIndex;
  if (main)
    mainIndex = static_cast<std::size_t>(std::find(kinds_.begin(), kinds_.end(), main->window.kind) - kinds_.begin());
  CompactLimitPanel* heir = focusHeir(mainIndex);
  arrangement_->setMain(mainIndex);
  relayoutUpwards(this);
  if (heir) {
    arrangement_->activate();
    heir->setFocus(Qt::TabFocusReason);
  }
}

}  // namespace ovel

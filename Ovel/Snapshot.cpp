#include "Snapshot.h"

#include <QCoreApplication>
#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "dashboard/DashboardView.h"
#include "model/Integrations.h"
#include "model/UsageModel.h"
#include "popover/PopoverView.h"
#include "settings/SettingsView.h"
#include "tray/MenuBarGlyph.h"
#include "ui/Spring.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

constexpr int kWaitPolls = 120;
constexpr int kPollMilliseconds = 250;
constexpr int kSettleMilliseconds = 1000;
constexpr int kDashboardWidth = 860;
constexpr int kLayoutRounds = 12;
// The tray picture: panel colours, the icons' size as most panels ask it,
// and the spacing around and between the pieces.
const QColor kLightPanel(0xf0, 0xf0, 0xf0);
const QColor kDarkPanel(0x1e, 0x1e, 0x1e);
constexpr int kTrayIconPixels = 22;
constexpr int kTrayPadding = 8;
constexpr int kTrayIconGap = 6;

// Polls for assessments, then settles, then renders.
struct PendingSnapshot {
  UsageModel& model;
  Integrations& integrations;
  Preferences& preferences;
  fs::path directory;
  std::function<void(std::vector<std::string>)> finished;
  int polls = 0;
};

void poll(std::shared_ptr<PendingSnapshot> pending) {
  if (pending->model.assessments().empty() && pending->polls < kWaitPolls) {
    ++pending->polls;
    QTimer::singleShot(kPollMilliseconds, &pending->model, [pending] { poll(pending); });
    return;
  }
  QTimer::singleShot(kSettleMilliseconds, &pending->model, [pending] {
    auto failed = Snapshot::renderAll(pending->model, pending->integrations, pending->preferences, pending->directory);
    pending->finished(std::move(failed));
  });
}

void settle() {
  for (int round = 0; round < kLayoutRounds; ++round) QCoreApplication::sendPostedEvents();
}

template <class View>
void prepare(View& view, Appearance appearance) {
  view.setPalette(Theme::palette(appearance));
  view.setAutoFillBackground(true);
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.rebuild();
}

}  // namespace

bool Snapshot::renderTray(const UsageModel& model, const Preferences& preferences, Appearance appearance,
                          const fs::path& file) {
  bool dark = appearance == Appearance::dark;
  GlyphLook look = GlyphLook::of(preferences, appearance);
  QImage strip = MenuBarRow::image(MenuBarRow::parts(preferences.menuBarItems(), GlyphInputs::of(model)), look.style,
                                   look.tint, look.base(), 1);
  auto items = MenuBarGlyph::paintedTrayItems(preferences, model, appearance);
  int iconsWidth = static_cast<int>(items.size()) * (kTrayIconPixels + kTrayIconGap) - kTrayIconGap;
  QImage picture(kTrayPadding * 2 + std::max(strip.width(), iconsWidth),
                 kTrayPadding * 3 + strip.height() + kTrayIconPixels, QImage::Format_ARGB32_Premultiplied);
  picture.fill(dark ? kDarkPanel : kLightPanel);
  QPainter painter(&picture);
  painter.drawImage(kTrayPadding, kTrayPadding, strip);
  int x = kTrayPadding;
  for (const PaintedTrayItem& item : items) {
    painter.drawImage(x, kTrayPadding * 2 + strip.height(), item.paintIcon(kTrayIconPixels));
    x += kTrayIconPixels + kTrayIconGap;
  }
  painter.end();
  return picture.save(QString::fromStdString(file.string()), "PNG");
}

std::optional<fs::path> Snapshot::directory(std::span<const std::string> arguments) {
  auto flag = std::find(arguments.begin(), arguments.end(), "--snapshot");
  if (flag == arguments.end() || flag + 1 == arguments.end()) return std::nullopt;
  return fs::absolute(*(flag + 1));
}

void Snapshot::run(UsageModel& model, Integrations& integrations, Preferences& preferences, fs::path directory,
                   std::function<void(std::vector<std::string>)> finished) {
  // Images show the values themselves, never a frame on the way to them.
  Spring::setAnimationsEnabled(false);
  auto pending = std::make_shared<PendingSnapshot>(
      PendingSnapshot{model, integrations, preferences, std::move(directory), std::move(finished)});
  QTimer::singleShot(0, &model, [pending] { poll(pending); });
}

int Snapshot::neededHeight(QWidget& view, int width) {
  view.ensurePolished();
  if (view.layout()) view.layout()->activate();
  int height = view.hasHeightForWidth() ? view.heightForWidth(width) : view.sizeHint().height();
  return std::max(height, view.minimumSizeHint().height());
}

bool Snapshot::render(QWidget& view, const fs::path& file, int width, std::optional<int> height) {
  // A view never shown has a window's default size, which is no size it asked
  // for: it gets the height it needs at this width, as the popover host gives,
  // once more after it settled.
  view.setFixedWidth(width);
  auto fit = [&] { view.resize(width, height.value_or(neededHeight(view, width))); };
  fit();
  // Shown off screen, the view settles as a window does before it is drawn:
  // each round of layout requests reaches one level further up.
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  settle();
  fit();
  settle();
  QImage image = view.grab().toImage();
  return !image.isNull() && image.save(QString::fromStdString(file.string()), "PNG");
}

std::vector<std::string> Snapshot::renderAll(UsageModel& model, Integrations& integrations, Preferences& preferences,
                                             const fs::path& directory) {
  Spring::setAnimationsEnabled(false);
  std::error_code ignored;
  fs::create_directories(directory, ignored);
  std::vector<std::string> failed;
  auto keep = [&](bool written, const std::string& name) {
    if (!written) failed.push_back((directory / name).string());
  };
  for (auto [appearance, name] : {std::pair{Appearance::light, "light"}, std::pair{Appearance::dark, "dark"}}) {
    std::string suffix = std::string("-") + name + ".png";
    PopoverView popover(model, integrations, [] {});
    prepare(popover, appearance);
    keep(render(popover, directory / ("popover" + suffix), PopoverView::kWidth), "popover" + suffix);
    SettingsView settings(preferences, integrations, model);
    prepare(settings, appearance);
    keep(render(settings, directory / ("settings" + suffix), SettingsView::kSize.width(), SettingsView::kSize.height()),
         "settings" + suffix);
    DashboardView dashboard(
        model, integrations, [] {}, false);
    prepare(dashboard, appearance);
    keep(render(dashboard, directory / ("dashboard" + suffix), kDashboardWidth), "dashboard" + suffix);
    keep(renderTray(model, preferences, appearance, directory / ("menubar" + suffix)), "menubar" + suffix);
  }
  return failed;
}

}  // namespace ovel

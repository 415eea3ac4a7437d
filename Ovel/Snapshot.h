// "--snapshot DIR": renders the popover, the settings window, the dashboard
// and the tray into PNG files, light and dark, once the model has data.
#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/Theme.h"

namespace ovel {

class Integrations;
class Preferences;
class UsageModel;

struct Snapshot {
  Snapshot() = delete;

  // The argument after the first "--snapshot", as a directory.
  static std::optional<std::filesystem::path> directory(std::span<const std::string> arguments);

  // Waits for the first assessments (at most 30 s) and one second more,
  // renders the six images, then calls `finished` with the names of the
  // files that could not be written (empty on success).
  static void run(UsageModel& model, Integrations& integrations, Preferences& preferences,
                  std::filesystem::path directory, std::function<void(std::vector<std::string> failed)> finished);

  // The height `view` asks for at `width`, as a host that fits it would give.
  static int neededHeight(QWidget& view, int width);

  // Draws the view `width` wide and `height` tall, or as tall as it needs at
  // that width; false when no PNG could be written.
  [[nodiscard]] static bool render(QWidget& view, const std::filesystem::path& file, int width,
                                   std::optional<int> height = std::nullopt);

  // The tray on a panel of `appearance`: the full strip of rings and texts,
  // and below it each tray item's icon at the size panels usually ask.
  [[nodiscard]] static bool renderTray(const UsageModel& model, const Preferences& preferences, Appearance appearance,
                                       const std::filesystem::path& file);

  // Renders every view now, without waiting.
  static std::vector<std::string> renderAll(UsageModel& model, Integrations& integrations, Preferences& preferences,
                                            const std::filesystem::path& directory);
};

}  // namespace ovel

// The live preview of the tray image: the very image the tray item shows
// for the same preferences and model, on a small rounded plate. An image
// that tints nothing takes the text colour, one that tints a ring keeps it.
#pragma once

#include <QImage>
#include <QWidget>

namespace ovel {

class Preferences;
class UsageModel;

class MenuBarPreview final : public QWidget {
 public:
  MenuBarPreview(Preferences& preferences, const UsageModel& model, QWidget* parent = nullptr);

  // The image at this moment, in the given text colour.
  QImage image(const QColor& text) const;

  // Call after any change of the layout, style, colour setting or model.
  void refresh();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Renders the image in the text colour, kept for sizing and painting.
  void render();

  Preferences& preferences_;
  const UsageModel& model_;
  QImage shown_;
};

}  // namespace ovel

// A usage model with fakes (app/UsageModelHarness.h), the integrations over
// a temporary Claude Code folder, and the demo data the views are shown
// with. Clock texts read in UTC.
#pragma once

#include <QCoreApplication>
#include <QLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <initializer_list>

#include "app/UsageModelHarness.h"
#include "model/Demo.h"
#include "model/Format.h"
#include "model/Integrations.h"
#include "support/Children.h"
#include "ui/TextView.h"

namespace ovel::test {

class FakeLoginItem final : public LoginItem {
 public:
  explicit FakeLoginItem(int& reads) : reads_(reads) {}
  bool isEnabled() const override {
    ++reads_;
    return false;
  }
  std::optional<QString> registerItem() override { return std::nullopt; }
  std::optional<QString> unregisterItem() override { return std::nullopt; }

 private:
  int& reads_;
};

// Where a one-line `text` draws its baseline, in `root`'s coordinates.
inline int baselineIn(const QWidget& root, const TextView& text) {
  int bottom = text.mapTo(&root, QPoint(0, text.height() - text.contentsMargins().bottom())).y();
  return bottom - text.baselineFromBottom();
}

// Expects each of `texts` to draw its baseline on `reference`'s, in `root`.
inline void expectOnBaseline(const QWidget& root, const TextView* reference,
                             std::initializer_list<const TextView*> texts) {
  ASSERT_NE(reference, nullptr);
  for (const TextView* text : texts) {
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(baselineIn(root, *text), baselineIn(root, *reference)) << text->text().toStdString();
  }
}

// The first child of `root` that shows `text`.
inline TextView* textViewShowing(const QWidget& root, const QString& text) {
  for (TextView* view : test::childrenOf<TextView>(root))
    if (view->text() == text) return view;
  return nullptr;
}

class ViewTest : public UsageModelTest {
 protected:
  ViewTest() { Format::setTimeZone("UTC"); }
  ~ViewTest() override { Format::setTimeZone({}); }

  static StatusLineIntegration integrationIn(const std::filesystem::path& dir) {
    StatusLineIntegration integration = StatusLineIntegration::standard();
    integration.settingsURL = dir / "claude/settings.json";
    integration.recordURL = dir / "integration.json";
    integration.bridgeURL = dir / "bin/ovel-bridge";
    return integration;
  }

  void showDemo(Demo::Scenario scenario) { model->startDemo(Demo::make(scenario, kStart, "UTC")); }

  // Shows a view off screen at `width` and the height it asks for (or at
  // `height`), laid out to the last child, as a window would be.
  static void layOut(QWidget& view, int width, std::optional<int> height = std::nullopt) {
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.show();
    view.layout()->activate();
    view.resize(width,
                height.value_or(view.hasHeightForWidth() ? view.heightForWidth(width) : view.sizeHint().height()));
    QCoreApplication::sendPostedEvents();
    view.layout()->activate();
    QCoreApplication::sendPostedEvents();
  }

  int loginReads = 0;
  Integrations integrations{AppBundle{std::nullopt, dir / "Ovel"}, nullptr, integrationIn(dir.path())};
};

}  // namespace ovel::test

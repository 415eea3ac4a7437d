// What a view shows instead of content that is not there yet: a large
// symbol, a title and a description, centred.
#pragma once

#include <QWidget>

#include "ui/Symbol.h"

namespace ovel {

class TextView;

class EmptyState final : public QWidget {
 public:
  EmptyState(Symbol symbol, const QString& title, const QString& description, QWidget* parent = nullptr);

  void setDescription(const QString& description);
  TextView* titleView() const { return title_; }
  TextView* descriptionView() const { return description_; }

  static constexpr int kSymbolSide = 40;

 private:
  TextView* title_;
  TextView* description_;
};

}  // namespace ovel

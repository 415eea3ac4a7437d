// One line of the dashboard's sources: whether a source of figures works,
// as a dot, its name and a short detail.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include "ui/ThemeColor.h"

namespace ovel {

class SymbolView;
class TextView;

class SourceStatus final : public QWidget {
 public:
  // `font` is the section's own: the row sets none of its own.
  SourceStatus(const QString& name, const QString& detail, bool ok, const QFont& font, QWidget* parent = nullptr);

  void setStatus(const QString& detail, bool ok);
  bool ok() const { return ok_; }

  // The brand colour for a working source, else a faded secondary.
  static ThemeColor dotColor(bool ok);

  TextView* nameView() const { return name_; }
  TextView* detailView() const { return detail_; }

 private:
  SymbolView* dot_;
  TextView* name_;
  TextView* detail_;
  bool ok_;
};

}  // namespace ovel

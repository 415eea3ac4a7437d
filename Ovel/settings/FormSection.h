// One section of a grouped form: an optional header, the rows on a rounded
// plate with hairlines between them, and an optional caption below.
#pragma once

#include <QString>
#include <QWidget>

class QVBoxLayout;

namespace ovel {

class TextView;

class FormSection final : public QWidget {
 public:
  explicit FormSection(const QString& header = {}, QWidget* parent = nullptr);

  // A row of its own; a hairline separates it from the row before, and is
  // hidden while the row is.
  void addRow(QWidget* row);
  // A label at the leading edge and its control at the trailing edge.
  void addLabeledRow(const QString& label, QWidget* control);
  // Sets the caption under the plate (none while empty).
  void setFooter(const QString& text);
  TextView* footer() const { return footer_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* plate_;
  QVBoxLayout* rows_;
  TextView* footer_;
};

}  // namespace ovel

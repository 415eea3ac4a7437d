#include "ui/SourceStatus.h"

#include <QHBoxLayout>

#include "ui/Symbol.h"
#include "ui/SymbolView.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

constexpr int kDotSide = 6;
constexpr int kSpacing = 5;

QFont medium(QFont font) {
  font.setWeight(QFont::Medium);
  return font;
}

}  // namespace

SourceStatus::SourceStatus(const QString& name, const QString& detail, bool ok, const QFont& font, QWidget* parent)
    : QWidget(parent),
      dot_(new SymbolView(Symbol::circleFill, kDotSide, dotColor(ok))),
      name_(new TextView(name, medium(font), ThemeColor::of(ColorRole::primary))),
      detail_(new TextView(detail, font, ThemeColor::of(ColorRole::secondary))),
      ok_(ok) {
  name_->setSingleLine();
  detail_->setSingleLine();
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(kSpacing);
  row->addWidget(dot_, 0, Qt::AlignVCenter);
  row->addWidget(name_, 0, Qt::AlignVCenter);
  row->addWidget(detail_, 1, Qt::AlignVCenter);
}

void SourceStatus::setStatus(const QString& detail, bool ok) {
  detail_->setText(detail);
  ok_ = ok;
  dot_->setColor(dotColor(ok));
}

ThemeColor SourceStatus::dotColor(bool ok) {
  return ok ? ThemeColor::brand() : ThemeColor::of(ColorRole::secondary).withAlpha(0.5);
}

}  // namespace ovel

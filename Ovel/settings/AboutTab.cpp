#include "settings/AboutTab.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/DayRing.h"
#include "ui/TextView.h"

namespace ovel {
namespace {

// The application's icon; without an SVG reader, the brand ring drawn here.
QPixmap appIcon(int side) {
  constexpr double kDensity = 2;
  QPixmap icon =
      QIcon::fromTheme(QStringLiteral("ovel"), QIcon(QStringLiteral(":/ovel.svg"))).pixmap(QSize(side, side), kDensity);
  if (!icon.isNull()) return icon;
  QPixmap drawn(QSize(side, side) * kDensity);
  drawn.setDevicePixelRatio(kDensity);
  drawn.fill(Qt::transparent);
  QPainter painter(&drawn);
  DayRing::draw(painter, DayRing::marks(side, 70, false, DayRing::Center::arrow(30)), Theme::brand(Appearance::light));
  return drawn;
}

TextView* centred(const QString& text, const QFont& font, ThemeColor color = ThemeColor::of(ColorRole::primary)) {
  auto* view = new TextView(text, font, std::move(color));
  view->setAlignment(Qt::AlignHCenter);
  return view;
}

}  // namespace

QString AboutTab::versionText(const QString& version) {
  return QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("Dev") : version);
}

AboutTab::AboutTab(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(24, 24, 24, 24);
  column->setSpacing(10);
  auto* icon = new QLabel;
  icon->setPixmap(appIcon(kIconSide));
  icon->setFixedSize(kIconSide, kIconSide);
  column->addWidget(icon, 0, Qt::AlignHCenter);
  column->addWidget(centred(QStringLiteral("Ovel"), Theme::font(TextStyle::title2, QFont::DemiBold)));
  column->addWidget(centred(versionText(QCoreApplication::applicationVersion()), Theme::font(TextStyle::caption),
                            ThemeColor::of(ColorRole::secondary)));
  TextView* privacy = centred(QStringLiteral("Reads your plan limits through Claude Code's own /usage command and "
                                             "status line. No passwords, cookies or tokens are touched, and nothing "
                                             "leaves your computer."),
                              Theme::font(TextStyle::callout), ThemeColor::of(ColorRole::secondary));
  privacy->setMaximumWidth(360);
  column->addWidget(privacy, 0, Qt::AlignHCenter);
  column->addWidget(centred(QStringLiteral("Not affiliated with Anthropic."), Theme::font(TextStyle::caption),
                            ThemeColor::of(ColorRole::tertiary)));
  column->addStretch();
}

}  // namespace ovel

// The tray's StatusNotifierItems against a watcher and host of the test's own
// on the private session bus.
#include "tray/StatusNotifierItem.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusObjectPath>
#include <QMenu>
#include <QSignalSpy>

#include "support/FakeDesktopBus.h"
#include "support/TestDesktop.h"
#include "tray/DBusMenuExporter.h"
#include "tray/StatusItem.h"

namespace ovel {
namespace {

using test::FakeStatusNotifierHost;
using test::waitUntil;

const QString kItemInterface = QString::fromLatin1(FakeStatusNotifierHost::kItemInterface);
const QString kItemPath = QString::fromLatin1(FakeStatusNotifierHost::kItemPath);
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

// A content whose icon is one colour at every size, recording the sizes asked.
StatusItemContent content(QColor color, QString label = {}, QString guide = {}, std::vector<int>* asked = nullptr) {
  return {[color, asked](int pixels) {
            if (asked) asked->push_back(pixels);
            QImage image(pixels, pixels, QImage::Format_ARGB32);
            image.fill(color);
            return image;
          },
          label, guide, QStringLiteral("Ovel \u2014 On track"), QStringLiteral("Session: ") + label};
}

template <class T>
T demarshal(const QVariant& value, QString* signature = nullptr) {
  auto argument = value.value<QDBusArgument>();
  if (signature) *signature = argument.currentSignature();
  T result;
  argument >> result;
  return result;
}

class StatusNotifierItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OVEL_SKIP_WITHOUT(test::busMissing());
    host.emplace();
    ASSERT_TRUE(host->ready());
  }

  // Waits until `count` registrations have come in.
  bool registrations(qsizetype count) {
    return waitUntil([&] { return host->registered().size() >= count; });
  }

  std::optional<FakeStatusNotifierHost> host;
};

TEST_F(StatusNotifierItemTest, EachItemRegistersWithItsIconsLabelAndToolTip) {
  TrayStatusItem tray;
  ASSERT_TRUE(tray.usesStatusNotifier());
  std::vector<int> asked;
  tray.setItems({content(Qt::red, QStringLiteral("71% \u00B7 <1m"), QStringLiteral("100% \u00B7 4h 59m"), &asked),
                 content(Qt::blue)});
  ASSERT_TRUE(registrations(2));
  EXPECT_TRUE(waitUntil([&] { return tray.hasButton(); })) << "the watcher has a host";

  // The newer item stands to the left: it shows the first content.
  struct Row {
    QString id, title, label, guide;
    QColor color;
  } rows[] = {{"ovel-2", "Ovel", "71% \u00B7 <1m", "100% \u00B7 4h 59m", Qt::red},
              {"ovel", "Ovel 2", "", "", Qt::blue}};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    auto properties = host->properties(host->shownItems()[i]);
    ASSERT_TRUE(properties);
    EXPECT_EQ((*properties)["Id"].toString(), rows[i].id);
    EXPECT_EQ((*properties)["Title"].toString(), rows[i].title);
    EXPECT_EQ((*properties)["Category"].toString(), QStringLiteral("ApplicationStatus"));
    EXPECT_EQ((*properties)["Status"].toString(), QStringLiteral("Active"));
    EXPECT_FALSE((*properties)["ItemIsMenu"].toBool());
    EXPECT_EQ((*properties)["Menu"].value<QDBusObjectPath>().path(), DBusMenuExporter::kPath);
    EXPECT_EQ((*properties)["XAyatanaLabel"].toString(), rows[i].label);
    EXPECT_EQ((*properties)["XAyatanaLabelGuide"].toString(), rows[i].guide);

    QString signature;
    auto pixmaps = demarshal<StatusNotifierPixmaps>((*properties)["IconPixmap"], &signature);
    EXPECT_EQ(signature, QStringLiteral("a(iiay)"));
    ASSERT_EQ(static_cast<std::size_t>(pixmaps.size()), StatusNotifierItem::kIconSizes.size());
    for (qsizetype k = 0; k < pixmaps.size(); ++k) {
      int size = StatusNotifierItem::kIconSizes[static_cast<std::size_t>(k)];
      EXPECT_EQ(pixmaps[k].width, size);
      EXPECT_EQ(pixmaps[k].height, size);
      EXPECT_EQ(pixmaps[k].bytes.at(0), '\xff') << "alpha first, in network order";
      EXPECT_EQ(pixmaps[k].toImage().pixelColor(size / 2, size / 2), rows[i].color);
    }

    auto toolTip = demarshal<StatusNotifierToolTip>((*properties)["ToolTip"], &signature);
    EXPECT_EQ(signature, QStringLiteral("(sa(iiay)ss)"));
    EXPECT_EQ(toolTip.title, QStringLiteral("Ovel \u2014 On track"));
    EXPECT_EQ(toolTip.description, (QStringLiteral("Session: ") + rows[i].label).toHtmlEscaped())
        << "hosts read it as markup";
  }
  ASSERT_GE(asked.size(), StatusNotifierItem::kIconSizes.size());
  asked.resize(StatusNotifierItem::kIconSizes.size());
  EXPECT_EQ(asked, StatusNotifierItem::kIconSizes) << "every size painted for itself";
}

TEST_F(StatusNotifierItemTest, ClicksCarryTheirPlaceAndTheMenuServesBothWays) {
  TrayStatusItem tray;
  std::vector<QString> ran;
  tray.setMenuActions({{QStringLiteral("Open Ovel"), [&] { ran.push_back(QStringLiteral("open")); }},
                       {QStringLiteral("Dashboard"), [&] { ran.push_back(QStringLiteral("dashboard")); }},
                       {},
                       {QStringLiteral("Quit_Ovel"), [&] { ran.push_back(QStringLiteral("quit")); }}});
  tray.setItems({content(Qt::red), content(Qt::blue)});
  ASSERT_TRUE(registrations(2));
  QString second = host->shownItems()[1];

  QSignalSpy clicks(&tray, &StatusItem::activated);
  ASSERT_TRUE(host->call(second, kItemPath, kItemInterface, QStringLiteral("Activate"), {30, 5}));
  ASSERT_TRUE(host->call(second, kItemPath, kItemInterface, QStringLiteral("Activate"), {0, 0}));
  ASSERT_EQ(clicks.size(), 2);
  EXPECT_EQ(clicks[0][0].toRect(), QRect(30, 5, 1, 1));
  EXPECT_TRUE(clicks[1][0].toRect().isEmpty()) << "no place given: open at the cursor";
  EXPECT_EQ(tray.anchor(), QRect()) << "the hot key, after a click without a place";

  auto layout = host->call(second, DBusMenuExporter::kPath, kMenuInterface, QStringLiteral("GetLayout"),
                           {0, -1, QStringList()});
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->signature(), QStringLiteral("u(ia{sv}av)"));
  auto root = demarshal<DBusMenuLayoutItem>(layout->arguments().at(1));
  EXPECT_EQ(root.properties.value("children-display").toString(), QStringLiteral("submenu"));
  QStringList labels;
  for (const auto& child : root.children)
    labels << (child.properties.value("type") == "separator" ? QStringLiteral("-")
                                                             : child.properties.value("label").toString());
  EXPECT_EQ(labels, QStringList({"Open Ovel", "Dashboard", "-", "Quit__Ovel"}));

  ASSERT_TRUE(host->call(second, DBusMenuExporter::kPath, kMenuInterface, QStringLiteral("Event"),
                         {2, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u}));
  ASSERT_TRUE(waitUntil([&] { return !ran.empty(); }));
  EXPECT_EQ(ran, std::vector<QString>{QStringLiteral("dashboard")});

  ASSERT_TRUE(host->call(second, kItemPath, kItemInterface, QStringLiteral("ContextMenu"), {40, 10}));
  QMenu* menu = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
  EXPECT_EQ(menu->actions().size(), 4);
  menu->close();
}

TEST_F(StatusNotifierItemTest, TheMenuAnswersEveryCallOfItsInterface) {
  TrayStatusItem tray;
  std::vector<QString> ran;
  tray.setMenuActions({{QStringLiteral("Open Ovel"), [&] { ran.push_back(QStringLiteral("open")); }},
                       {QStringLiteral("Settings"), [&] { ran.push_back(QStringLiteral("settings")); }}});
  tray.setItems({content(Qt::red)});
  ASSERT_TRUE(registrations(1));
  QString item = host->registered()[0];

  // A method whose types QtDBus cannot name is left out of the interface
  // without a word; hosts that call it get UnknownMethod.
  auto introspection = host->call(item, DBusMenuExporter::kPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                  QStringLiteral("Introspect"));
  ASSERT_TRUE(introspection);
  QString xml = introspection->arguments().at(0).toString();
  for (const char* method :
       {"GetLayout", "GetGroupProperties", "GetProperty", "Event", "EventGroup", "AboutToShow", "AboutToShowGroup"})
    EXPECT_TRUE(xml.contains(QStringLiteral("<method name=\"%1\">").arg(QLatin1String(method)))) << method;

  // XFCE's panel and others send clicks as a group; an unknown id comes back.
  DBusMenuEventList events = {{2, QStringLiteral("clicked"), QDBusVariant(QString()), 0},
                              {9, QStringLiteral("clicked"), QDBusVariant(QString()), 0}};
  auto group = host->call(item, DBusMenuExporter::kPath, kMenuInterface, QStringLiteral("EventGroup"),
                          {QVariant::fromValue(events)});
  ASSERT_TRUE(group) << "EventGroup is answered";
  EXPECT_EQ(demarshal<QList<int>>(group->arguments().at(0)), QList<int>{9});
  ASSERT_TRUE(waitUntil([&] { return !ran.empty(); }));
  EXPECT_EQ(ran, std::vector<QString>{QStringLiteral("settings")});

  auto aboutToShow = host->call(item, DBusMenuExporter::kPath, kMenuInterface, QStringLiteral("AboutToShowGroup"),
                                {QVariant::fromValue(QList<int>{0})});
  ASSERT_TRUE(aboutToShow) << "AboutToShowGroup is answered";
  EXPECT_EQ(aboutToShow->signature(), QStringLiteral("aiai"));
}

TEST_F(StatusNotifierItemTest, TheMenuAnswersWhatItDoesNotKnowAtOnce) {
  TrayStatusItem tray;
  tray.setMenuActions({{QStringLiteral("Open Ovel"), [] {}}});
  tray.setItems({content(Qt::red)});
  ASSERT_TRUE(registrations(1));
  QString item = host->registered()[0];
  auto property = [&](int id, const char* name) {
    return host->answer(item, DBusMenuExporter::kPath, kMenuInterface, QStringLiteral("GetProperty"),
                        {id, QLatin1String(name)});
  };

  auto label = property(1, "label");
  ASSERT_TRUE(label && label->type() == QDBusMessage::ReplyMessage);
  EXPECT_EQ(label->arguments().at(0).value<QDBusVariant>().variant().toString(), QStringLiteral("Open Ovel"));
  for (auto [id, name] : {std::pair{1, "no-such-property"}, std::pair{7, "label"}}) {
    SCOPED_TRACE(name);
    auto unknown = property(id, name);
    ASSERT_TRUE(unknown) << "an answer, not the caller's timeout";
    EXPECT_EQ(unknown->type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(unknown->errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
  }

  // Hosts tell the root when the menu opens and closes: it is no unknown item.
  DBusMenuEventList events = {{0, QStringLiteral("opened"), QDBusVariant(QString()), 0},
                              {0, QStringLiteral("closed"), QDBusVariant(QString()), 0}};
  auto group = host->call(item, DBusMenuExporter::kPath, kMenuInterface, QStringLiteral("EventGroup"),
                          {QVariant::fromValue(events)});
  ASSERT_TRUE(group);
  EXPECT_TRUE(demarshal<QList<int>>(group->arguments().at(0)).isEmpty());
}

TEST_F(StatusNotifierItemTest, HostsHearOfWhatChangedOnly) {
  TrayStatusItem tray;
  tray.setItems({content(Qt::red, QStringLiteral("42%"), QStringLiteral("100%"))});
  ASSERT_TRUE(registrations(1));
  QString item = host->registered()[0];

  // The same icon with a new label: the label signal and no icon signal.
  // Signals of one sender keep their order, so a NewIcon would come first.
  std::size_t from = host->itemSignals().size();
  tray.setItems({content(Qt::red, QStringLiteral("43%"), QStringLiteral("100%"))});
  ASSERT_TRUE(host->waitForSignal(item, QStringLiteral("XAyatanaNewLabel"), from));
  const auto& label = host->itemSignals().back();
  EXPECT_EQ(label.arguments, (QVariantList{QStringLiteral("43%"), QStringLiteral("100%")}));
  for (std::size_t i = from; i < host->itemSignals().size(); ++i)
    EXPECT_NE(host->itemSignals()[i].member, QStringLiteral("NewIcon"));

  from = host->itemSignals().size();
  tray.setItems({content(Qt::green, QStringLiteral("43%"), QStringLiteral("100%"))});
  ASSERT_TRUE(host->waitForSignal(item, QStringLiteral("NewIcon"), from));
  auto properties = host->properties(item);
  ASSERT_TRUE(properties);
  auto pixmaps = demarshal<StatusNotifierPixmaps>((*properties)["IconPixmap"]);
  ASSERT_FALSE(pixmaps.isEmpty());
  EXPECT_EQ(pixmaps.front().toImage().pixelColor(0, 0), QColor(Qt::green));
}

TEST_F(StatusNotifierItemTest, AnIconShownAlreadyIsNotPaintedAgain) {
  TrayStatusItem tray;
  std::vector<int> asked;
  auto keyed = [&](QColor color, const char* label, const char* key) {
    StatusItemContent item = content(color, QLatin1String(label), {}, &asked);
    item.iconKey = QLatin1String(key);
    return item;
  };
  tray.setItems({keyed(Qt::red, "42%", "red")});
  ASSERT_TRUE(registrations(1));
  QString item = host->registered()[0];
  ASSERT_EQ(asked.size(), StatusNotifierItem::kIconSizes.size());

  // Every recompute sets the items again: the same icon with the same or a
  // new label paints nothing.
  std::size_t from = host->itemSignals().size();
  tray.setItems({keyed(Qt::red, "42%", "red")});
  tray.setItems({keyed(Qt::red, "43%", "red")});
  ASSERT_TRUE(host->waitForSignal(item, QStringLiteral("XAyatanaNewLabel"), from));
  EXPECT_EQ(asked.size(), StatusNotifierItem::kIconSizes.size());

  tray.setItems({keyed(Qt::green, "43%", "green")});
  EXPECT_EQ(asked.size(), 2 * StatusNotifierItem::kIconSizes.size()) << "another key paints every size";
  EXPECT_TRUE(host->waitForSignal(item, QStringLiteral("NewIcon"), from));
}

TEST_F(StatusNotifierItemTest, ItemsStayAndShowTheLayoutInOrder) {
  TrayStatusItem tray;
  // What the host shows from left to right: each item's id and colour.
  auto shown = [&] {
    QStringList ids;
    std::vector<QColor> colors;
    for (const QString& item : host->shownItems()) {
      auto properties = host->properties(item);
      ids << (properties ? (*properties)["Id"].toString() : QStringLiteral("(no answer)"));
      auto pixmaps = properties ? demarshal<StatusNotifierPixmaps>((*properties)["IconPixmap"])
                                : StatusNotifierPixmaps();
      colors.push_back(pixmaps.isEmpty() ? QColor() : pixmaps.front().toImage().pixelColor(0, 0));
    }
    return std::pair(ids, colors);
  };
  struct Row {
    std::vector<QColor> colors;
    QStringList ids;
  } rows[] = {
      {{Qt::red, Qt::green, Qt::blue}, {"ovel-3", "ovel-2", "ovel"}},
      {{Qt::red}, {"ovel"}},
      {{Qt::red, Qt::blue}, {"ovel-2", "ovel"}},
      {{Qt::blue, Qt::red}, {"ovel-2", "ovel"}},
  };
  QString first;
  for (const auto& row : rows) {
    std::vector<StatusItemContent> contents;
    for (QColor color : row.colors) contents.push_back(content(color));
    tray.setItems(contents);
    EXPECT_TRUE(waitUntil([&] { return shown() == std::pair(row.ids, row.colors); }))
        << "in layout order, left to right: " << shown().first.join(QLatin1Char(' ')).toStdString();
    QString oldest = host->shownItems().back();
    if (first.isEmpty()) first = oldest;
    EXPECT_EQ(oldest, first) << "the first item stays all along";
  }
  EXPECT_EQ(host->registered().size(), 4) << "three items, then one added again: no other was made";
}

TEST_F(StatusNotifierItemTest, ItemsRegisterAgainWhenTheWatcherRestarts) {
  TrayStatusItem tray;
  tray.setItems({content(Qt::red), content(Qt::blue)});
  ASSERT_TRUE(registrations(2));
  QStringList items = host->shownItems();

  host.reset();
  EXPECT_TRUE(waitUntil([&] { return !tray.hasButton(); }));
  host.emplace();
  ASSERT_TRUE(host->ready());
  ASSERT_TRUE(registrations(2));
  EXPECT_EQ(host->shownItems(), items) << "the same items, in the same order";
  EXPECT_TRUE(waitUntil([&] { return tray.hasButton(); }));
}

TEST_F(StatusNotifierItemTest, TheButtonFollowsTheWatchersHost) {
  TrayStatusItem tray;
  tray.setItems({content(Qt::red)});
  ASSERT_TRUE(registrations(1));
  EXPECT_TRUE(waitUntil([&] { return tray.hasButton(); }));
  for (bool registered : {false, true, false}) {
    host->setHostRegistered(registered);
    EXPECT_TRUE(waitUntil([&] { return tray.hasButton() == registered; })) << registered;
  }
}

TEST_F(StatusNotifierItemTest, WithoutAWatcherTheXEmbedTrayStandsIn) {
  host.reset();
  TrayStatusItem tray;
  tray.setItems({content(Qt::red)});
  EXPECT_FALSE(tray.usesStatusNotifier());
  EXPECT_FALSE(tray.hasButton()) << "no XEmbed tray either, off screen";

  // A panel that starts later brings its watcher: the items move to it.
  host.emplace();
  ASSERT_TRUE(host->ready());
  ASSERT_TRUE(registrations(1));
  EXPECT_TRUE(tray.usesStatusNotifier());
}

}  // namespace
}  // namespace ovel

#include "tray/XEmbedTray.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace ovel {
namespace {

xcb_connection_t* x11Connection() {
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const std::string& name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.c_str()), nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

}  // namespace

XEmbedTrayWatch::XEmbedTrayWatch(QObject* parent) : QObject(parent) {
  xcb_connection_t* connection = x11Connection();
  if (!connection) return;
  manager_ = atom(connection, "MANAGER");
  xembed_ = atom(connection, "_XEMBED");
  int number = 0;
  for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(connection)); screen.rem; xcb_screen_next(&screen)) {
    selections_.push_back(atom(connection, "_NET_SYSTEM_TRAY_S" + std::to_string(number++)));
    // The message goes to clients that listen to the root's structure;
    // Qt listens already, and keeps the other events it asked for.
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, screen.data->root), nullptr),
        &std::free);
    if (attributes && !(attributes->your_event_mask & XCB_EVENT_MASK_STRUCTURE_NOTIFY)) {
      std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
      xcb_change_window_attributes(connection, screen.data->root, XCB_CW_EVENT_MASK, &mask);
    }
  }
  xcb_flush(connection);
  QCoreApplication::instance()->installNativeEventFilter(this);
}

bool XEmbedTrayWatch::trayRuns() const {
  xcb_connection_t* connection = x11Connection();
  if (!connection) return false;
  for (xcb_atom_t selection : selections_) {
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr), &std::free);
    if (owner && owner->owner != XCB_NONE) return true;
  }
  return false;
}

XEmbedTrayWatch::~XEmbedTrayWatch() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool XEmbedTrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t" || !manager_) return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE) return false;
  auto* client = static_cast<xcb_client_message_event_t*>(message);
  // The embedder tells the window it took with XEMBED_EMBEDDED_NOTIFY; we
  // embed nothing of our own, so only a tray sends it to us. Qt maps the
  // icon on it: left for Qt too.
  constexpr std::uint32_t kEmbeddedNotify = 0;
  if (client->type == xembed_ && client->format == 32 && client->data.data32[1] == kEmbeddedNotify) {
    emit iconEmbedded();
    return false;
  }
  bool trayManager = client->type == manager_ && client->format == 32 &&
                     std::find(selections_.begin(), selections_.end(), client->data.data32[1]) != selections_.end();
  // Qt docks its icons on the same message: it is left for Qt to see too.
  if (trayManager) emit trayStarted();
  return false;
}

}  // namespace ovel

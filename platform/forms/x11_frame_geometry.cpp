#include "x11_frame_geometry.h"

#include "x11_atom.h"
#include "x11_reply.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace vantrel {
namespace {

// _NET_WM_STATE's client message: add a state.
constexpr uint32_t kNetWmStateAdd = 1;
// The source of a request: a normal application.
constexpr uint32_t kSourceApplication = 1;
// WM_NORMAL_HINTS: its first field holds the flags; these say that a
// resize increment and a base size are given.
constexpr uint32_t kSizeHintsResizeIncrement = 1u << 6;
constexpr uint32_t kSizeHintsBaseSize = 1u << 8;
constexpr uint32_t kSizeHintsFields = 18;

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t Root(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

xcb_window_t Id(QWidget& window) { return static_cast<xcb_window_t>(window.winId()); }

// The first `count` 32-bit values of a property, if it holds that many.
std::optional<std::array<uint32_t, 4>> Property4(xcb_connection_t* connection, xcb_window_t window, const char* name,
                                                 xcb_atom_t type) {
    const auto cookie = xcb_get_property(connection, 0, window, InternX11Atom(connection, name), type, 0, 4);
    const auto reply = Owned(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 16) return std::nullopt;
    std::array<uint32_t, 4> values{};
    std::memcpy(values.data(), xcb_get_property_value(reply.get()), sizeof values);
    return values;
}

} // namespace

std::optional<QMargins> X11FrameExtents(QWidget& window) {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return std::nullopt;
    const auto values = Property4(connection, Id(window), "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
    if (!values) return std::nullopt;
    const auto [left, right, top, bottom] = *values;
    return QMargins(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom));
}

std::optional<QRect> X11ClientRect(QWidget& window) {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return std::nullopt;
    const xcb_window_t id = Id(window);
    const auto size = Owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr));
    const auto at = Owned(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, id, Root(connection), 0, 0), nullptr));
    if (!size || !at) return std::nullopt;
    return QRect(at->dst_x, at->dst_y, size->width, size->height);
}

bool X11WindowManagerRuns() {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return false;
    const xcb_window_t root = Root(connection);
    const auto cookie = xcb_get_property(connection, 0, root, InternX11Atom(connection, "_NET_SUPPORTING_WM_CHECK"),
                                         XCB_ATOM_WINDOW, 0, 1);
    const auto reply = Owned(xcb_get_property_reply(connection, cookie, nullptr));
    return reply && xcb_get_property_value_length(reply.get()) == 4;
}

std::optional<QRect> X11WorkArea() {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr || !X11WindowManagerRuns()) return std::nullopt;
    const auto area = Property4(connection, Root(connection), "_NET_WORKAREA", XCB_ATOM_CARDINAL);
    if (!area) return std::nullopt;
    const auto [x, y, width, height] = *area;
    return QRect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(width), static_cast<int>(height));
}

std::optional<QRect> X11Screen() {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return std::nullopt;
    // The connection's setup keeps the size the screen had when it was
    // opened; the root's geometry is the size it has now.
    const xcb_window_t root = Root(connection);
    const auto size = Owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr));
    if (!size) return std::nullopt;
    return QRect(0, 0, size->width, size->height);
}

bool X11Maximized(QWidget& window) {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return false;
    const auto cookie =
        xcb_get_property(connection, 0, Id(window), InternX11Atom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 32);
    const auto reply = Owned(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->format != 32) return false;
    const auto* states = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    const xcb_atom_t vertical = InternX11Atom(connection, "_NET_WM_STATE_MAXIMIZED_VERT");
    const xcb_atom_t horizontal = InternX11Atom(connection, "_NET_WM_STATE_MAXIMIZED_HORZ");
    return std::count(states, states + count, vertical) > 0 && std::count(states, states + count, horizontal) > 0;
}

void RequestX11Maximized(QWidget& window) {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return;
    xcb_client_message_event_t request = {};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = Id(window);
    request.type = InternX11Atom(connection, "_NET_WM_STATE");
    request.data.data32[0] = kNetWmStateAdd;
    request.data.data32[1] = InternX11Atom(connection, "_NET_WM_STATE_MAXIMIZED_VERT");
    request.data.data32[2] = InternX11Atom(connection, "_NET_WM_STATE_MAXIMIZED_HORZ");
    request.data.data32[3] = kSourceApplication;
    xcb_send_event(connection, 0, Root(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(connection);
}

namespace {

// Under a scale factor Qt gives every window a resize increment of the
// factor rounded (2 device pixels at 1.5 and at 2), and window managers
// that honour it cut an odd size short by a pixel. The client rectangle
// asked for is exact, so the increment goes.
void DropSizeIncrement(xcb_connection_t* connection, xcb_window_t window) {
    const auto cookie = xcb_get_property(connection, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0,
                                         kSizeHintsFields);
    const auto reply = Owned(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return;
    std::array<uint32_t, kSizeHintsFields> hints{};
    const auto length = std::min<size_t>(static_cast<size_t>(xcb_get_property_value_length(reply.get())), sizeof hints);
    std::memcpy(hints.data(), xcb_get_property_value(reply.get()), length);
    if ((hints[0] & (kSizeHintsResizeIncrement | kSizeHintsBaseSize)) == 0) return;
    hints[0] &= ~(kSizeHintsResizeIncrement | kSizeHintsBaseSize);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, static_cast<uint32_t>(length / 4), hints.data());
}

} // namespace

void RequestX11ClientRect(QWidget& window, const QRect& client) {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return;
    DropSizeIncrement(connection, Id(window));
    const std::array<uint32_t, 4> values{static_cast<uint32_t>(client.x()), static_cast<uint32_t>(client.y()),
                                         static_cast<uint32_t>(client.width()),
                                         static_cast<uint32_t>(client.height())};
    xcb_configure_window(connection, Id(window),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values.data());
    xcb_flush(connection);
}

} // namespace vantrel

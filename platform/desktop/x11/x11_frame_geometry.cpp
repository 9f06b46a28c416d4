#include "x11_frame_geometry.h"

#include "x11_reply.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vantrel {
namespace {

// _NET_WM_STATE's client message: add a state.
constexpr uint32_t kNetWmStateAdd = 1;
// The source of a request: a normal application.
constexpr uint32_t kSourceApplication = 1;
// WM_NORMAL_HINTS: its first field holds the flags; these say that a
// resize increment, a base size, a smallest and a largest size are given.
constexpr uint32_t kSizeHintsResizeIncrement = 1u << 6;
constexpr uint32_t kSizeHintsBaseSize = 1u << 8;
constexpr uint32_t kSizeHintsMinSize = 1u << 4;
constexpr uint32_t kSizeHintsMaxSize = 1u << 5;
constexpr uint32_t kSizeHintsFields = 18;
// Where WM_NORMAL_HINTS keeps the smallest and the largest size.
constexpr size_t kMinWidth = 5, kMinHeight = 6, kMaxWidth = 7, kMaxHeight = 8;
// The most states a window is read to carry.
constexpr uint32_t kMostStates = 32;

xcb_window_t Root(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

std::optional<QMargins> FrameOf(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 32 || xcb_get_property_value_length(reply) < 16) return std::nullopt;
    std::array<uint32_t, 4> values{};
    std::memcpy(values.data(), xcb_get_property_value(reply), sizeof values);
    const auto [left, right, top, bottom] = values;
    return QMargins(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom));
}

bool MaximizedIn(const xcb_get_property_reply_t* reply, const X11Atoms& atoms) {
    if (reply == nullptr || reply->format != 32) return false;
    const auto* states = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    const auto* end = states + xcb_get_property_value_length(reply) / 4;
    return std::find(states, end, atoms.netWmStateMaximizedVert) != end &&
           std::find(states, end, atoms.netWmStateMaximizedHorz) != end;
}

// Sends the window manager a request about `window`: a client message to the
// root, which the window manager hears as the one redirecting it.
void SendToWindowManager(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                         const std::array<uint32_t, 5>& data) {
    xcb_client_message_event_t request = {};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = window;
    request.type = type;
    std::copy(data.begin(), data.end(), request.data.data32);
    xcb_send_event(connection, 0, Root(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(connection);
}

} // namespace

// Under a scale factor Qt gives every window a resize increment of the
// factor rounded (2 device pixels at 1.5 and at 2), and window managers
// that honour it cut an odd size short by a pixel: the client size asked
// for is exact, so the increment goes. The smallest and largest size are
// that size, so that no window manager offers to resize or maximize the
// window (kwin reads only these, not the Motif hints, for a window of a
// given type, and would show a maximize button and resize handles).
void FixX11ClientSize(xcb_connection_t* connection, xcb_window_t window, QSize size) {
    const auto cookie = xcb_get_property(connection, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0,
                                         kSizeHintsFields);
    const auto reply = Owned(xcb_get_property_reply(connection, cookie, nullptr));
    std::array<uint32_t, kSizeHintsFields> hints{};
    if (reply && reply->format == 32) {
        const auto length =
            std::min<size_t>(static_cast<size_t>(xcb_get_property_value_length(reply.get())), sizeof hints);
        std::memcpy(hints.data(), xcb_get_property_value(reply.get()), length);
    }
    auto fixed = hints;
    fixed[0] = (fixed[0] & ~(kSizeHintsResizeIncrement | kSizeHintsBaseSize)) | kSizeHintsMinSize | kSizeHintsMaxSize;
    fixed[kMinWidth] = fixed[kMaxWidth] = static_cast<uint32_t>(size.width());
    fixed[kMinHeight] = fixed[kMaxHeight] = static_cast<uint32_t>(size.height());
    if (fixed == hints) return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, kSizeHintsFields, fixed.data());
}

std::optional<X11WindowLook> LookAtX11Window(xcb_connection_t* connection, const X11Atoms& atoms,
                                             xcb_window_t window) {
    const auto geometryCookie = xcb_get_geometry(connection, window);
    const auto placeCookie = xcb_translate_coordinates(connection, window, Root(connection), 0, 0);
    const auto attributesCookie = xcb_get_window_attributes(connection, window);
    const auto frameCookie = xcb_get_property(connection, 0, window, atoms.netFrameExtents, XCB_ATOM_CARDINAL, 0, 4);
    const auto stateCookie = xcb_get_property(connection, 0, window, atoms.netWmState, XCB_ATOM_ATOM, 0, kMostStates);
    const auto geometry = Owned(xcb_get_geometry_reply(connection, geometryCookie, nullptr));
    const auto place = Owned(xcb_translate_coordinates_reply(connection, placeCookie, nullptr));
    const auto attributes = Owned(xcb_get_window_attributes_reply(connection, attributesCookie, nullptr));
    const auto frame = Owned(xcb_get_property_reply(connection, frameCookie, nullptr));
    const auto state = Owned(xcb_get_property_reply(connection, stateCookie, nullptr));
    if (!geometry || !place || !attributes) return std::nullopt;
    return X11WindowLook{QRect(place->dst_x, place->dst_y, geometry->width, geometry->height),
                         attributes->map_state == XCB_MAP_STATE_VIEWABLE, FrameOf(frame.get()),
                         MaximizedIn(state.get(), atoms)};
}

void RequestX11FrameExtents(xcb_connection_t* connection, const X11Atoms& atoms, xcb_window_t window) {
    SendToWindowManager(connection, window, atoms.netRequestFrameExtents, {});
}

std::optional<QMargins> X11FrameExtents(xcb_connection_t* connection, const X11Atoms& atoms, xcb_window_t window) {
    const auto cookie = xcb_get_property(connection, 0, window, atoms.netFrameExtents, XCB_ATOM_CARDINAL, 0, 4);
    return FrameOf(Owned(xcb_get_property_reply(connection, cookie, nullptr)).get());
}

void RequestX11Maximized(xcb_connection_t* connection, const X11Atoms& atoms, xcb_window_t window) {
    SendToWindowManager(connection, window, atoms.netWmState,
                        {kNetWmStateAdd, atoms.netWmStateMaximizedVert, atoms.netWmStateMaximizedHorz,
                         kSourceApplication, 0});
}

void RequestX11ClientRect(xcb_connection_t* connection, xcb_window_t window, const QRect& client) {
    FixX11ClientSize(connection, window, client.size());
    const std::array<uint32_t, 4> values{static_cast<uint32_t>(client.x()), static_cast<uint32_t>(client.y()),
                                         static_cast<uint32_t>(client.width()),
                                         static_cast<uint32_t>(client.height())};
    xcb_configure_window(connection, window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values.data());
    xcb_flush(connection);
}

} // namespace vantrel

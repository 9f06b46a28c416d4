#include "x11_window_hints.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace vantrel {
namespace {

// The Motif window-manager hints, as window managers read them.
constexpr uint32_t kMwmHintsFunctions = 1u << 0;
constexpr uint32_t kMwmHintsDecorations = 1u << 1;
constexpr uint32_t kMwmFuncMove = 1u << 2;
constexpr uint32_t kMwmFuncClose = 1u << 5;
constexpr uint32_t kMwmDecorBorder = 1u << 1;
constexpr uint32_t kMwmDecorTitle = 1u << 3;
constexpr uint32_t kMwmDecorMenu = 1u << 4;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace

void ApplyX11WindowHints(QWidget& window, const WindowSettings& settings) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());

    if (settings.toolWindow) {
        const xcb_atom_t motifHints = Atom(connection, "_MOTIF_WM_HINTS");
        const std::array<uint32_t, 5> hints{kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove | kMwmFuncClose,
                                            kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu, 0, 0};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, motifHints, motifHints, 32, hints.size(),
                            hints.data());
    }
    if (!settings.showInTaskbar) {
        // Qt merges its own states into what is already set when it maps the
        // window, so this one survives the first show.
        const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
        const xcb_atom_t skipTaskbar = Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &skipTaskbar);
    }
    xcb_flush(connection);
}

std::optional<QMargins> X11FrameExtents(QWidget& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t extents = Atom(connection, "_NET_FRAME_EXTENTS");
    const auto cookie = xcb_get_property(connection, 0, id, extents, XCB_ATOM_CARDINAL, 0, 4);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16) return std::nullopt;
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    // left, right, top, bottom
    return QMargins(static_cast<int>(values[0]), static_cast<int>(values[2]), static_cast<int>(values[1]),
                    static_cast<int>(values[3]));
}

bool RequestX11FrameExtents(QWidget& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t check = Atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const auto cookie = xcb_get_property(connection, 0, root, check, XCB_ATOM_WINDOW, 0, 1);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || xcb_get_property_value_length(reply.get()) != 4) return false;

    xcb_client_message_event_t request = {};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = static_cast<xcb_window_t>(window.winId());
    request.type = Atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(connection);
    return true;
}

} // namespace vantrel

#include "x11_window_hints.h"

#include "x11_atom.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <cstring>
#include <cstdlib>
#include <memory>
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

} // namespace

void ApplyX11WindowHints(QWidget& window, const WindowSettings& settings) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());

    // The server itself fills the window with the form's background colour
    // where nothing has been shown yet: between mapping and the first frame,
    // which waits for the activation's rings, the window is navy, not
    // whatever the screen held. (Qt creates its windows with no background.)
    const uint32_t background = ToPixel(settings.backColour) & 0xFFFFFFu; // a 24-bit TrueColor pixel
    xcb_change_window_attributes(connection, id, XCB_CW_BACK_PIXEL, &background);

    if (settings.toolWindow) {
        const xcb_atom_t motifHints = InternX11Atom(connection, "_MOTIF_WM_HINTS");
        const std::array<uint32_t, 5> hints{kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove | kMwmFuncClose,
                                            kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu, 0, 0};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, motifHints, motifHints, 32, hints.size(),
                            hints.data());
    }
    if (!settings.showInTaskbar) {
        // Qt merges its own states into what is already set when it maps the
        // window, so this one survives the first show.
        const xcb_atom_t state = InternX11Atom(connection, "_NET_WM_STATE");
        const xcb_atom_t skipTaskbar = InternX11Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &skipTaskbar);
    }
    xcb_flush(connection);
}

} // namespace vantrel

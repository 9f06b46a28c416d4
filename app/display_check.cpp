#include "display_check.h"

#include <cstdlib>
#include <string_view>
#include <xcb/xcb.h>

namespace vantrel {
namespace {

std::string_view Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

} // namespace

std::optional<std::string> DisplayProblem() {
    const std::string_view platform = Environment("QT_QPA_PLATFORM");
    // Only the X11 platform is probed here; any other that Qt is told to use
    // (offscreen, wayland) reports its own problems.
    if (!platform.empty() && !platform.starts_with("xcb")) return std::nullopt;
    if (platform.empty() && !Environment("WAYLAND_DISPLAY").empty()) return std::nullopt;

    const std::string_view display = Environment("DISPLAY");
    if (display.empty()) return "no display to open: DISPLAY is not set";
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed) return "cannot open display \"" + std::string(display) + "\"";
    return std::nullopt;
}

} // namespace vantrel

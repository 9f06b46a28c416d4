#include "display_check.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace vantrel {
namespace {

std::string_view Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

bool X11Reachable() {
    if (Environment("DISPLAY").empty()) return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reached;
}

// Whether a Wayland compositor listens where WAYLAND_DISPLAY points: an
// absolute socket path, or a name in XDG_RUNTIME_DIR.
bool WaylandReachable() {
    const std::string_view display = Environment("WAYLAND_DISPLAY");
    if (display.empty()) return false;
    const std::string path = display.starts_with('/')
                                 ? std::string(display)
                                 : std::string(Environment("XDG_RUNTIME_DIR")) + "/" + std::string(display);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool reached = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return reached;
}

DisplayProblem X11Problem() {
    const std::string_view display = Environment("DISPLAY");
    if (display.empty()) return {"no display to open: DISPLAY is not set"};
    return {"cannot open display \"" + std::string(display) + "\""};
}

} // namespace

std::variant<DisplayPlatform, DisplayProblem> ChooseDisplay() {
    const std::string_view named = Environment("QT_QPA_PLATFORM");
    if (!named.empty()) {
        // Any other platform the user names (offscreen, wayland) reports its
        // own problems.
        if (named.starts_with("xcb") && !X11Reachable()) return X11Problem();
        return DisplayPlatform{};
    }
    if (X11Reachable()) return DisplayPlatform{"xcb"};
    if (WaylandReachable()) return DisplayPlatform{"wayland"};
    return X11Problem();
}

} // namespace vantrel

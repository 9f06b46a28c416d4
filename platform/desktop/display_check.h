#pragma once

#include <string>
#include <variant>

namespace vantrel {

// The window-system platform to ask Qt for: "xcb" or "wayland", or empty
// to leave the choice to Qt (the user named a platform).
struct DisplayPlatform {
    std::string name;
};

// Why no window can be shown here.
struct DisplayProblem {
    std::string reason;
};

// Where the program shows its window. X11 comes first: its window kind,
// frame and taskbar hint hold there, also through XWayland on a Wayland
// desktop. Native Wayland is used only where no X server can be reached. A
// platform the user has named (QT_QPA_PLATFORM) is kept; only an X11 one
// is checked. Checked before Qt starts, because Qt aborts (and dumps core)
// when its window system cannot be opened.
std::variant<DisplayPlatform, DisplayProblem> ChooseDisplay();

} // namespace vantrel

#pragma once

// The real program on a real X desktop: Xvfb on a free display with a window
// manager, the program started there with its sound going to a raw PCM file
// (SDL's disk driver), and a small X client that reads window properties,
// the screen, the cursor, the selection and the refreshes. Every wait is for
// an event, bounded by a generous time-out; every process started here is
// killed with its process group when its owner goes.

#include <gtest/gtest.h>
#include <xcb/present.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <poll.h>
#include <regex>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace desktop {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// Polls `done` until it holds or `timeout` has passed.
template <typename Done> bool WaitUntil(Done&& done, Ms timeout, Ms interval = Ms(20)) {
    for (const auto deadline = Clock::now() + timeout; !done(); std::this_thread::sleep_for(interval))
        if (Clock::now() >= deadline) return false;
    return true;
}

inline constexpr const char* kTitle = "Vantrel Credits";
inline constexpr const char* kTrackName = "Until The Dub.mp3";
inline constexpr int kAudioRate = 44100; // SDL's disk driver: 16-bit stereo frames
inline const fs::path kProgram = VANTREL_PROGRAM; // as built, its track beside it

inline std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// A fresh directory, removed with everything in it when the object goes.
struct TempDir {
    std::string pattern = (fs::temp_directory_path() / "desktop-XXXXXX").string();
    fs::path path = ::mkdtemp(pattern.data()) ?: throw std::runtime_error("mkdtemp failed");
    ~TempDir() { fs::remove_all(path, ignored); }
    fs::path operator/(const std::string& name) const { return path / name; }
    std::error_code ignored;
};

using Env = std::map<std::string, std::string>;

// The test's environment without anything that picks a display, a Qt
// platform, an audio driver or a desktop, with `set` on top.
inline Env CleanEnv(const Env& set = {}) {
    Env env;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (const char* equals = std::strchr(*entry, '=')) env[std::string(*entry, equals - *entry)] = equals + 1;
    static const std::regex kPicking("QT_.*|SDL_.*|.*DISPLAY|XDG_SESSION_TYPE|XDG_CURRENT_DESKTOP|XAUTHORITY|DESKTOP_SESSION");
    std::erase_if(env, [](const auto& e) { return std::regex_match(e.first, kPicking); });
    for (const auto& [name, value] : set) env[name] = value;
    return env;
}

// A started process, leader of its own process group, which is killed when
// the object goes. Its output goes to the given files, or to /dev/null.
class Child {
public:
    Child(std::vector<std::string> argv, const Env& env, const fs::path& out = {}, const fs::path& err = {}) {
        std::vector<std::string> entries;
        for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
        std::vector<char*> args, envp;
        for (auto& arg : argv) args.push_back(arg.data());
        for (auto& entry : entries) envp.push_back(entry.data());
        args.push_back(nullptr), envp.push_back(nullptr);
        if ((m_pid = ::fork()) < 0) throw std::runtime_error("fork failed");
        // Also from here, so that killing the group right away finds it.
        if (m_pid > 0) { ::setpgid(m_pid, m_pid); return; }
        ::setpgid(0, 0);
        for (const auto& [fd, path] : {std::pair{STDIN_FILENO, fs::path()}, {STDOUT_FILENO, out}, {STDERR_FILENO, err}})
            ::dup2(::open(path.empty() ? "/dev/null" : path.c_str(), fd ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY, 0600), fd);
        ::execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    ~Child() { m_status || (::kill(-m_pid, SIGKILL), ::kill(m_pid, SIGKILL), ::waitpid(m_pid, nullptr, 0)); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    void Signal(int signal) const { ::kill(m_pid, signal); }
    // Its waitpid status, once it has ended within `timeout`.
    std::optional<int> WaitFor(Ms timeout) {
        int raw = 0;
        WaitUntil([&] { return m_status || (::waitpid(m_pid, &raw, WNOHANG) == m_pid && (m_status = raw)); }, timeout, Ms(5));
        return m_status;
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};
inline bool Clean(std::optional<int> status) { return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0; }

struct Rect { int x = 0, y = 0, width = 0, height = 0; };

// Pixels as 0x00RRGGBB, row by row.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    const uint32_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
};
// The rings are drawn in colours with little red and less green; the white
// text over them is the only thing brighter.
inline bool IsRingColour(uint32_t pixel) { return (pixel >> 16 & 0xff) <= 40 && (pixel >> 8 & 0xff) <= 15; }
inline bool IsWhite(uint32_t pixel) { return pixel == 0xffffff; }

// Per row of an image, which of its pixels are pure white: the text's core,
// the same wherever the text stands over whichever rings.
using WhiteMask = std::vector<std::vector<bool>>;
inline WhiteMask WhiteOf(const Image& image) {
    WhiteMask rows(image.height);
    for (int y = 0; y < image.height; ++y)
        std::ranges::transform(image.Row(y), image.Row(y + 1), std::back_inserter(rows[y]), IsWhite);
    return rows;
}

// How many pixels (up to `most`) the text moved up from `earlier` to
// `later`: the shift that maps every row with white onto the same pattern,
// if exactly one does; none when there is too little text to tell.
inline std::optional<int> UpwardShift(const WhiteMask& earlier, const WhiteMask& later, int most) {
    std::optional<int> found;
    for (int shift = 0; shift <= most; ++shift) {
        int mismatched = 0, white = 0;
        for (size_t y = shift; y < earlier.size(); ++y)
            mismatched += earlier[y] != later[y - shift], white += std::ranges::count(earlier[y], true);
        if (white < 200 || (mismatched == 0 && found)) return std::nullopt;
        if (mismatched == 0) found = shift;
    }
    return found;
}

template <typename T> std::unique_ptr<T, decltype(&std::free)> Owned(T* reply) { return {reply, &std::free}; }

// One connection to an X server.
class X {
public:
    explicit X(const std::string& display) : m_c(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(m_c) != 0) throw std::runtime_error("cannot connect to " + display);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_root = screen->root, m_screen = {0, 0, screen->width_in_pixels, screen->height_in_pixels};
    }
    ~X() { xcb_disconnect(m_c); }
    xcb_connection_t* get() const { return m_c; }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t Atom(const std::string& name) {
        auto reply = Owned(xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, name.size(), name.c_str()), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    // The property's bytes, if it is set in the given format (8 or 32 bits).
    std::optional<std::string> Property(xcb_window_t window, xcb_atom_t property, int format = 8) {
        auto reply = Owned(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16), nullptr));
        if (!reply || reply->type == XCB_ATOM_NONE || reply->format != format) return std::nullopt;
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
        return std::string(bytes, bytes + xcb_get_property_value_length(reply.get()));
    }
    std::optional<std::vector<uint32_t>> Property32(xcb_window_t window, const std::string& name) {
        const auto bytes = Property(window, Atom(name), 32);
        if (!bytes) return std::nullopt;
        std::vector<uint32_t> values(bytes->size() / 4);
        return std::memcpy(values.data(), bytes->data(), bytes->size()), values;
    }
    // Whether an atom list property holds the named atom.
    bool Has(xcb_window_t window, const std::string& name, const std::string& atom) {
        return std::ranges::count(Property32(window, name).value_or(std::vector<uint32_t>{}), Atom(atom)) > 0;
    }
    std::string Title(xcb_window_t window) { return Property(window, Atom("_NET_WM_NAME")).value_or(""); }
    bool Managed() { return Property32(m_root, "_NET_SUPPORTING_WM_CHECK").has_value(); }
    std::vector<xcb_window_t> ClientList() { return Property32(m_root, "_NET_CLIENT_LIST").value_or(std::vector<uint32_t>{}); }
    // Windows on screen with the program's title and a _NET_WM_WINDOW_TYPE
    // (_UTILITY for its main window, _DIALOG for a report): managed ones,
    // or top-level ones where no window manager runs.
    std::vector<xcb_window_t> ProgramWindows(const std::string& type) {
        std::vector<xcb_window_t> windows = Managed() ? ClientList() : Children(m_root);
        // A window manager that lists none of its clients (weston's): the clients inside its frames.
        if (Managed() && !Property32(m_root, "_NET_CLIENT_LIST"))
            for (xcb_window_t frame : Children(m_root)) std::ranges::copy(Children(frame), std::back_inserter(windows));
        std::erase_if(windows, [&](xcb_window_t window) {
            return Title(window) != kTitle || !Has(window, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_" + type) ||
                   !Viewable(window).value_or(false);
        });
        return windows;
    }
    // A window's children; the root's are, where a window manager runs, its
    // frames and the windows it does not manage.
    std::vector<xcb_window_t> Children(xcb_window_t window) {
        auto tree = Owned(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
        const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
        return {children, children + (tree ? xcb_query_tree_children_length(tree.get()) : 0)};
    }
    // Whether the window exists and, if so, whether it is on screen.
    std::optional<bool> Viewable(xcb_window_t window) {
        auto attributes = Owned(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr));
        return attributes ? std::optional(attributes->map_state == XCB_MAP_STATE_VIEWABLE) : std::nullopt;
    }
    // The client area, in root coordinates.
    std::optional<Rect> Geometry(xcb_window_t window) {
        auto size = Owned(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
        auto at = Owned(xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr));
        if (!size || !at) return std::nullopt;
        return Rect{at->dst_x, at->dst_y, size->width, size->height};
    }
    // The window manager's _NET_WORKAREA, or the screen where none runs.
    Rect WorkArea() {
        const auto a = Property32(m_root, "_NET_WORKAREA");
        return a && a->size() >= 4 && Managed() ? Rect{int((*a)[0]), int((*a)[1]), int((*a)[2]), int((*a)[3])} : m_screen;
    }
    // The frame around a client, as its window manager announces it in
    // _NET_FRAME_EXTENTS (mutter's frame window reaches further, taking in
    // borders that are invisible but for the pointer); the client itself
    // where no window manager runs. Nothing while a manager announces none.
    std::optional<Rect> Frame(xcb_window_t window) {
        const std::optional<Rect> client = Geometry(window);
        if (!client || !Managed()) return client;
        const auto extents = Property32(window, "_NET_FRAME_EXTENTS");
        if (!extents || extents->size() < 4) return std::nullopt;
        const int left = (*extents)[0], right = (*extents)[1], top = (*extents)[2], bottom = (*extents)[3];
        return Rect{client->x - left, client->y - top, client->width + left + right, client->height + top + bottom};
    }
    // How far the edges of the frame around a client are from those of `a`,
    // at most: 0 when it covers `a` exactly.
    int FrameOff(xcb_window_t window, const Rect& a) {
        const std::optional<Rect> f = Frame(window);
        if (!f) return m_screen.width;
        return std::max({std::abs(f->x - a.x), std::abs(f->y - a.y), std::abs(f->x + f->width - a.x - a.width),
                         std::abs(f->y + f->height - a.y - a.height)});
    }
    // What the screen shows in `area` (within the screen); or, from a window
    // (`from`, in its own coordinates), what it holds, also where a
    // compositor shows it and the root holds nothing of it (XWayland).
    Image Capture(const Rect& area, xcb_drawable_t from = XCB_NONE) {
        auto reply = Owned(xcb_get_image_reply(m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, from ?: m_root, area.x,
                                                                  area.y, area.width, area.height, ~0u), nullptr));
        // On the 24-bit screen Xvfb is started with: 32 bits a pixel.
        const size_t count = static_cast<size_t>(area.width) * area.height;
        if (!reply || static_cast<size_t>(xcb_get_image_data_length(reply.get())) < count * 4) return {};
        Image image{area.width, area.height, std::vector<uint32_t>(count)};
        std::memcpy(image.pixels.data(), xcb_get_image_data(reply.get()), count * 4);
        for (uint32_t& pixel : image.pixels) pixel &= 0xffffff;
        return image;
    }
    // Asks the client to close the window, as a window manager's close
    // button does (WM_DELETE_WINDOW).
    void RequestClose(xcb_window_t window) {
        xcb_client_message_event_t request{};
        request.response_type = XCB_CLIENT_MESSAGE;
        request.format = 32;
        request.window = window;
        request.type = Atom("WM_PROTOCOLS");
        request.data.data32[0] = Atom("WM_DELETE_WINDOW");
        request.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&request));
        xcb_flush(m_c);
    }
    // Whether the cursor shows any pixel that is not fully transparent.
    bool CursorVisible() {
        Owned(xcb_xfixes_query_version_reply(m_c, xcb_xfixes_query_version(m_c, 5, 0), nullptr)); // needed first
        auto reply = Owned(xcb_xfixes_get_cursor_image_reply(m_c, xcb_xfixes_get_cursor_image(m_c), nullptr));
        const uint32_t* argb = reply ? xcb_xfixes_get_cursor_image_cursor_image(reply.get()) : nullptr;
        return reply && std::any_of(argb, argb + xcb_xfixes_get_cursor_image_cursor_image_length(reply.get()),
                                    [](uint32_t pixel) { return (pixel >> 24) != 0; });
    }
    // The next event of a type (of X Present's for `presentEvent`), within a second.
    std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> NextEvent(int type, uint32_t presentEvent = 0) {
        xcb_flush(m_c);
        pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
        for (const auto deadline = Clock::now() + Ms(1000); Clock::now() < deadline; ::poll(&fd, 1, 5))
            while (auto event = Owned(xcb_poll_for_event(m_c)))
                if ((event->response_type & 0x7f) == type && (!presentEvent ||
                    reinterpret_cast<xcb_present_complete_notify_event_t*>(event.get())->event == presentEvent))
                    return event;
        return Owned<xcb_generic_event_t>(nullptr);
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    Rect m_screen;
};

// Whether a client area shows the rings, judged from a strip a quarter of
// the way down across its middle half, where they are from the first frame
// on and neither the text (for its first seconds) nor a centred message box
// reach: hundreds of rings in random blues, so many colours, none brighter
// than a ring, little plain navy left. A window not painted yet shows one
// flat colour or what was there before.
inline bool ShowsRings(X& x, const Rect& c, xcb_drawable_t from = XCB_NONE) {
    const auto strip = x.Capture({c.x + c.width / 4, c.y + c.height / 4, std::max(2, c.width / 2), 4}, from).pixels;
    return std::ranges::all_of(strip, IsRingColour) && std::ranges::count(strip, 0x000080u) * 2 < long(strip.size()) &&
           std::set<uint32_t>(strip.begin(), strip.end()).size() >= 16;
}

// The main window: a tool window showing the rings (the scene window, shown
// for a moment at start-up, never does), read from the screen or, with
// `ownPixels`, where a compositor shows it and the root holds nothing of it
// (XWayland), from its own pixels. The program has placed it before it
// paints the first frame, so it stays where it is found. `look` runs before
// every look.
inline xcb_window_t FindMainWindow(X& x, bool ownPixels = false, const std::function<void()>& look = [] {}) {
    xcb_window_t seen = 0;
    WaitUntil([&] {
        look();
        for (xcb_window_t window : x.ProgramWindows("UTILITY")) {
            const Rect c = x.Geometry(window).value_or(Rect{});
            if (ownPixels ? ShowsRings(x, {0, 0, c.width, c.height}, window) : ShowsRings(x, c)) seen = window;
        }
        return seen != 0;
    }, Ms(30000), Ms(1));
    return seen;
}

// How well the picture mirrors itself left to right (`acrossWidth`) or top
// to bottom through a line within a pixel of its middle, along its middle
// row or column and leaving out the text (pixels within 6 of pure white, in
// x and in y: its antialiased edge too): the fraction of pixel pairs alike
// for the best such line.
inline double Mirror(const Image& image, bool acrossWidth) {
    const int length = acrossWidth ? image.width : image.height;
    auto at = [&](int i) -> std::optional<uint32_t> {
        const int x = acrossWidth ? i : image.width / 2, y = acrossWidth ? image.height / 2 : i;
        for (int row = std::max(0, y - 6); row <= std::min(image.height - 1, y + 6); ++row)
            if (std::any_of(image.Row(row) + std::max(0, x - 6), image.Row(row) + std::min(image.width, x + 7), IsWhite))
                return std::nullopt;
        return image.At(x, y);
    };
    double best = 0;
    for (int sum = length - 3; sum <= length + 1; ++sum) { // pixels i and sum - i mirror about (sum + 1) / 2
        size_t compared = 0, alike = 0;
        for (int i = sum / 2 + 1; i < length && sum - i >= 0; ++i)
            if (at(i) && at(sum - i)) ++compared, alike += at(i) == at(sum - i);
        best = std::max(best, compared > 0 ? double(alike) / compared : 0.0);
    }
    return best;
}

// Rows at the top and bottom where a line may come into view or leave it.
inline constexpr int kEdgeRows = 8;

// Where the first whole line of text in `image` lies (a band of rows with
// pure white, clear of the top and bottom edges); nothing while none shows.
struct Line { int top, bottom, left, right; };
inline std::optional<Line> FirstWholeLine(const Image& image) {
    const auto white = [&](int y) { return std::any_of(image.Row(y), image.Row(y + 1), IsWhite); };
    for (int y = kEdgeRows; y < image.height - kEdgeRows; ++y) {
        if (!white(y) || white(y - 1)) continue;
        int bottom = y;
        while (bottom + 1 < image.height && white(bottom + 1)) ++bottom;
        if (bottom >= image.height - kEdgeRows) return std::nullopt;
        int left = image.width, right = 0;
        for (int row = y; row <= bottom; ++row)
            for (int x = 0; x < image.width; ++x)
                if (IsWhite(image.At(x, row))) left = std::min(left, x), right = std::max(right, x);
        return Line{y, bottom, left, right};
    }
    return std::nullopt;
}

// A whole line is centred on the client (by its advance width: the ink may
// sit off by its side bearings), and, where asked, so are the rings. Rings
// drawn before the window moved keep the centre they were drawn around.
inline void ExpectCentredOn(X& x, const Rect& client, bool rings) {
    // A frame shown while the window was still being fitted may be off;
    // the lines settle on the centre once it is done.
    std::optional<Line> line;
    Image image;
    const auto centred = [&] {
        return line && std::abs((line->left + line->right) / 2.0 - client.width / 2.0) <= 3.5;
    };
    EXPECT_TRUE(WaitUntil([&] { return line = FirstWholeLine(image = x.Capture(client)), centred(); },
                          Ms(20000), Ms(100)))
        << (line ? "the line in rows " + std::to_string(line->top) + " to " + std::to_string(line->bottom) +
                       " runs from " + std::to_string(line->left) + " to " + std::to_string(line->right)
                 : std::string("no whole line of text on screen"));
    if (!rings) return;
    EXPECT_GE(Mirror(image, true), 0.95) << "the rings are not centred across";
    EXPECT_GE(Mirror(image, false), 0.95) << "the rings are not centred down";
}

// A D-Bus session bus of a test's own, its socket in `dir`.
struct SessionBus {
    explicit SessionBus(const fs::path& dir) : socket(dir / "bus") {
        if (!WaitUntil([&] { return fs::exists(socket); }, Ms(10000))) throw std::runtime_error("no session bus");
    }
    const fs::path socket;
    const std::string address = "unix:path=" + socket.string();
    Child daemon{{"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address}, CleanEnv()};
};

// The X Present extension's reports for a window: the refreshes waits asked
// for, and those at which the program's frames were shown.
class Refreshes {
public:
    Refreshes(X& x, xcb_window_t window) : m_x(x), m_window(window), m_eventId(xcb_generate_id(x.get())) {
        xcb_present_select_input(x.get(), m_eventId, window, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
    }
    // Asks for the report of refresh `msc` (0: the current one), which comes
    // at once when `msc` has passed already.
    void Ask(uint64_t msc) { xcb_present_notify_msc(m_x.get(), m_window, ++m_serial, msc, 0, 0); }
    struct Report { uint64_t msc = 0, ustUs = 0; }; // the refresh, and when it was (monotonic clock)
    // Waits for the report asked for last, noting the frames reported before it.
    std::optional<Report> Wait() {
        while (auto event = m_x.NextEvent(XCB_GE_GENERIC, m_eventId)) {
            const auto* complete = reinterpret_cast<xcb_present_complete_notify_event_t*>(event.get());
            if (complete->kind == XCB_PRESENT_COMPLETE_KIND_PIXMAP) frames[complete->msc] = complete->ust;
            else if (complete->serial == m_serial) return Report{complete->msc, complete->ust};
        }
        return std::nullopt;
    }
    // Waits for refresh `msc` (0: the current one); returns the refresh reported.
    uint64_t Now(uint64_t msc = 0) { return Ask(msc), Wait().value_or(Report{}).msc; }
    std::map<uint64_t, uint64_t> frames; // the program's: refresh shown at -> when the server copied it

private:
    X& m_x;
    xcb_window_t m_window;
    uint32_t m_eventId, m_serial = 0;
};

// The text rises one pixel a refresh; a busy machine may drop a frame now
// and then, but it never moves more than a pixel per refresh.
// `client` is in the coordinates of `source` (the screen's by default);
// the refreshes are the window's, and keep the program's frames they report.
inline void ExpectTextRisesAPixelARefresh(X& x, Refreshes& refreshes, const Rect& client,
                                          xcb_drawable_t source = XCB_NONE) {
    constexpr int kSpan = 6; // refreshes
    const Rect band{client.x + client.width / 2 - 450, client.y, 900, client.height};
    std::vector<double> perRefresh;
    for (int pair = 0; pair < 7; ++pair) {
        const uint64_t from = refreshes.Now();
        const WhiteMask before = WhiteOf(x.Capture(band, source));
        const uint64_t to = refreshes.Now(from + kSpan);
        const auto shift = UpwardShift(before, WhiteOf(x.Capture(band, source)), 2 * kSpan);
        if (shift && to > from) perRefresh.push_back(double(*shift) / double(to - from));
    }
    ASSERT_GE(perRefresh.size(), 3u) << "too little text on screen to follow";
    std::ranges::sort(perRefresh);
    EXPECT_GE(perRefresh[perRefresh.size() / 2], 0.7);
    EXPECT_LE(perRefresh[perRefresh.size() / 2], 1.0 + 1.0 / kSpan);
}

// A window manager for a test desktop, whether a panel of its own shrinks
// the work area (the desktop waits until it has), and whether it publishes
// a work area at all (kwin's does only once a panel reserves an edge).
// An empty argv: no window manager.
struct WindowManager { std::string name; std::vector<std::string> argv; bool panel = false, workArea = true; };
inline const WindowManager kOpenbox{"openbox", {"openbox", "--sm-disable"}};

// A monitor of a test desktop, as RandR is told of it. One monitor may hold
// the server's only output; the others hold none.
struct TestMonitor { std::string name; Rect rect; bool primary = false, holdsOutput = false; };

// A desktop of its own for a test: a 1920x1080 Xvfb, a window manager and a
// connection to look at it. Xvfb gets `server` options, and the words of
// VANTREL_TEST_XVFB_OPTIONS (e.g. "-extension MIT-SHM", which takes the
// program off the X Present path); VANTREL_TEST_XVFB_PREFIX runs it through
// another command (e.g. "unshare --ipc": a server that cannot reach the
// program's shared memory, as a forwarded display or one outside a sandbox).
// Given `monitors`, the screen is as large as they are together and split
// into them before the window manager starts.
class Desktop {
public:
    explicit Desktop(const WindowManager& manager = kOpenbox, std::vector<std::string> server = {},
                     const std::vector<TestMonitor>& monitors = {}) {
        if (!monitors.empty()) m_size = Rect{};
        for (const TestMonitor& monitor : monitors)
            m_size.width = std::max(m_size.width, monitor.rect.x + monitor.rect.width),
            m_size.height = std::max(m_size.height, monitor.rect.y + monitor.rect.height);
        // Xvfb writes the number of the display it found free to its output
        // once it accepts connections.
        server.insert(server.begin(), {"Xvfb", "-displayfd", "1", "-screen", "0",
                                       std::to_string(m_size.width) + "x" + std::to_string(m_size.height) + "x24",
                                       "-nolisten", "tcp", "-noreset"});
        std::istringstream options(std::getenv("VANTREL_TEST_XVFB_OPTIONS") ?: "");
        for (std::string word; options >> word;) server.push_back(word);
        std::istringstream prefix(std::getenv("VANTREL_TEST_XVFB_PREFIX") ?: "");
        server.insert(server.begin(), std::istream_iterator<std::string>(prefix), {});
        m_server.emplace(std::move(server), CleanEnv(), m_dir / "display", m_dir / "xvfb.log");
        std::string number;
        if (!WaitUntil([&] { return (number = ReadFile(m_dir / "display")).ends_with('\n'); }, Ms(20000)))
            throw std::runtime_error("Xvfb did not start: " + ReadFile(m_dir / "xvfb.log"));
        m_display = ":" + number.substr(0, number.size() - 1);
        m_x.emplace(m_display);
        for (const TestMonitor& monitor : monitors)
            if (!SetMonitor(monitor)) throw std::runtime_error("xrandr could not add monitor " + monitor.name);
        if (manager.argv.empty()) return;
        m_windowManager.emplace(manager.argv, ToolEnvironment(), fs::path(), m_dir / "wm.log");
        if (!WaitUntil([&] { return x().Managed() && (!manager.workArea || x().Property32(x().root(), "_NET_WORKAREA")) &&
                                    (!manager.panel || PanelShown()); }, Ms(20000)))
            throw std::runtime_error(manager.name + " did not start: " + ReadFile(m_dir / "wm.log"));
    }
    // RandR's monitor, as xrandr --setmonitor takes it (sizes in millimetres
    // at 96 dots per inch).
    bool SetMonitor(const TestMonitor& m) {
        const auto mm = [](int pixels) { return std::to_string(pixels * 254 / 960); };
        const std::string geometry = std::to_string(m.rect.width) + "/" + mm(m.rect.width) + "x" +
                                     std::to_string(m.rect.height) + "/" + mm(m.rect.height) + "+" +
                                     std::to_string(m.rect.x) + "+" + std::to_string(m.rect.y);
        return Tool({"xrandr", "--setmonitor", (m.primary ? "*" : "") + m.name, geometry,
                     m.holdsOutput ? "screen" : "none"});
    }
    bool RemoveMonitor(const std::string& name) { return Tool({"xrandr", "--delmonitor", name}); }
    bool PanelShown() { return x().WorkArea().height < m_size.height; }
    const std::string& Display() const { return m_display; }
    X& x() { return *m_x; }
    Env Environment(Env set = {}) const { return set["DISPLAY"] = m_display, CleanEnv(set); }
    // Runs xdotool or wmctrl here; whether it succeeded.
    bool Tool(const std::vector<std::string>& argv) const { return Clean(Child(argv, Environment()).WaitFor(Ms(10000))); }
    // An empty configuration and home: the window manager's and the panel's
    // defaults, whatever the tester's, and nothing written to the tester's.
    // A runtime folder of their own too (kwin's), never the tester's.
    Env ToolEnvironment() const {
        return Environment({{"XDG_CONFIG_HOME", m_dir / "config"}, {"HOME", m_dir.path},
                            {"XDG_RUNTIME_DIR", m_runtime.path}});
    }
private:
    TempDir m_dir, m_runtime;
    Rect m_size{0, 0, 1920, 1080}; // of the screen
    std::string m_display;
    std::optional<Child> m_server, m_windowManager;
    std::optional<X> m_x;
};

// The program started on a desktop, its sound written to a file of its own.
class Program {
public:
    explicit Program(Desktop& desktop, std::vector<std::string> command = {kProgram}, const Env& set = {})
        : m_desktop(desktop) {
        // No session bus: D-Bus must not start one (it would outlive the test).
        Env env = set; // over these:
        env.merge(Env{{"XDG_RUNTIME_DIR", m_runtime.path}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                      {"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", audioPath()}});
        m_child.emplace(std::move(command), desktop.Environment(env), m_dir / "stdout.txt", m_dir / "stderr.txt");
    }
    Child& process() { return *m_child; }
    fs::path audioPath() const { return m_dir / "sound.pcm"; }
    std::string Stdout() const { return ReadFile(m_dir / "stdout.txt"); }
    std::string Stderr() const { return ReadFile(m_dir / "stderr.txt"); }
    // The sound written so far: per frame, the louder channel's magnitude.
    std::vector<int> AudioLevels() const {
        const std::string bytes = ReadFile(audioPath());
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2); // little-endian, as the host
        std::vector<int> levels(samples.size() / 2);
        for (size_t frame = 0; frame < levels.size(); ++frame)
            levels[frame] = std::max(std::abs(samples[2 * frame]), std::abs(samples[2 * frame + 1]));
        return levels;
    }
    double AudioSeconds() const { return double(ReadFile(audioPath()).size()) / (kAudioRate * 4); }

    // The main window, as FindMainWindow finds it. `soundFirst`: whether the
    // sound had begun when it was found.
    xcb_window_t WaitForMainWindow(bool* soundFirst = nullptr) {
        return FindMainWindow(m_desktop.x(), false, [&] { soundFirst && (*soundFirst = fs::exists(audioPath())); });
    }
    // The window manager's close, as its close button.
    bool Close(xcb_window_t window) { return m_desktop.Tool({"wmctrl", "-i", "-c", std::to_string(window)}); }
    // Ends the program with `end`: it must exit with status 0 within `limit`.
    template <typename End> void ExpectCleanExit(End&& end, Ms limit = Ms(5000)) {
        end();
        EXPECT_TRUE(Clean(m_child->WaitFor(limit))) << "no status 0 in time; stderr:\n" << Stderr();
    }

private:
    Desktop& m_desktop;
    TempDir m_dir, m_runtime; // mkdtemp makes them the owner's alone
    std::optional<Child> m_child;
};

} // namespace desktop

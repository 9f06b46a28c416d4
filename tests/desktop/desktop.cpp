#include "desktop.h"

#include <gtest/gtest.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace desktop {
namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> Owned(T* reply) {
    return {reply, &std::free};
}

} // namespace

fs::path ProgramPath() { return VANTREL_PROGRAM; }
fs::path ShortTrackPath() { return VANTREL_SHORT_TRACK; }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TempDir::TempDir(const std::string& label) {
    std::string pattern = (fs::temp_directory_path() / ("desktop-" + label + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern + " failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

fs::path CopyProgram(const TempDir& dir, const std::optional<fs::path>& track) {
    const fs::path binary = dir / ProgramPath().filename().string();
    fs::copy_file(ProgramPath(), binary);
    if (track) fs::copy_file(*track, dir / kTrackName);
    return binary;
}

Env CleanEnv() {
    Env env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (const size_t equals = text.find('='); equals != std::string::npos)
            env[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME",
                             "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                             "QT_ENABLE_HIGHDPI_SCALING", "QT_FONT_DPI", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE",
                             "SDL_DISKAUDIODELAY", "XDG_SESSION_TYPE", "XAUTHORITY", "DESKTOP_SESSION",
                             "XDG_CURRENT_DESKTOP"})
        env.erase(name);
    return env;
}

std::string ExitStatus::Describe() const {
    if (exited) return "exit status " + std::to_string(code);
    return signal != 0 ? "signal " + std::to_string(signal) + " (" + strsignal(signal) + ")" : "still running";
}

Child::Child(std::vector<std::string> argv, const Env& env, const fs::path& out, const fs::path& err, int keepFd) {
    std::vector<std::string> entries;
    for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
    std::vector<char*> args, envp;
    for (std::string& arg : argv) args.push_back(arg.data());
    for (std::string& entry : entries) envp.push_back(entry.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);

    m_startedAt = Clock::now();
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::setpgid(0, 0);
        auto redirect = [](int target, const fs::path& path, int flags) {
            const int fd = ::open(path.empty() ? "/dev/null" : path.c_str(), flags, 0600);
            if (fd < 0 || ::dup2(fd, target) < 0) _exit(126);
        };
        redirect(STDIN_FILENO, {}, O_RDONLY);
        redirect(STDOUT_FILENO, out, O_WRONLY | O_CREAT | O_TRUNC);
        redirect(STDERR_FILENO, err, O_WRONLY | O_CREAT | O_TRUNC);
        if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    // Also from this side, so that killing the group right away finds it.
    ::setpgid(m_pid, m_pid);
}

bool Child::Reap(bool block) {
    int status = 0;
    pid_t got;
    while (!m_status && (got = ::waitpid(m_pid, &status, block ? 0 : WNOHANG)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        m_status = ExitStatus{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                              WIFSIGNALED(status) ? WTERMSIG(status) : 0};
    }
    return m_status.has_value();
}

std::optional<ExitStatus> Child::WaitFor(Ms timeout) {
    WaitUntil([&] { return Reap(false); }, timeout, Ms(5));
    return m_status;
}

void Child::Signal(int signal) {
    if (!m_status) ::kill(m_pid, signal);
}

void Child::Kill() {
    if (m_status) return;
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
    Reap(true);
}

void PrintTo(const Rect& rect, std::ostream* out) {
    *out << rect.width << 'x' << rect.height << '+' << rect.x << '+' << rect.y;
}

Rect SampleStrip(const Rect& client) {
    // Half the width: at any size it crosses hundreds of pixels of radius.
    const int half = std::max(1, client.width / 4);
    return Rect{client.x + client.width / 2 - half, client.y + client.height / 4, 2 * half, 4};
}

Strip Classify(const Image& strip) {
    size_t navy = 0, rings = 0;
    std::set<uint32_t> colours;
    for (uint32_t pixel : strip.pixels) {
        navy += pixel == kNavy;
        rings += IsRingColour(pixel);
        if (colours.size() < 16) colours.insert(pixel);
    }
    const size_t all = strip.pixels.size();
    if (all > 0 && navy == all) return Strip::Navy;
    // Hundreds of rings in random blues cross the middle: many colours, none
    // brighter than a ring, little plain navy left. A window not painted yet
    // shows one flat colour or what was there before.
    if (all > 0 && rings == all && navy * 2 < all && colours.size() >= 16) return Strip::Rings;
    return Strip::Unpainted;
}

const char* Name(Strip state) {
    return state == Strip::Navy ? "navy" : state == Strip::Rings ? "rings" : "not painted";
}

// ---------------------------------------------------------------------- X

X::X(const std::string& display) {
    int screen = 0;
    m_c = xcb_connect(display.c_str(), &screen);
    if (xcb_connection_has_error(m_c) != 0) {
        xcb_disconnect(m_c);
        throw std::runtime_error("cannot connect to X display " + display);
    }
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(m_c));
    while (screen-- > 0) xcb_screen_next(&roots);
    m_root = roots.data->root;
    m_width = roots.data->width_in_pixels;
    m_height = roots.data->height_in_pixels;
}

xcb_atom_t X::Atom(const std::string& name) {
    if (const auto known = m_atoms.find(name); known != m_atoms.end()) return known->second;
    auto reply = Owned(xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, name.size(), name.c_str()), nullptr));
    return m_atoms[name] = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::optional<std::string> X::Property(xcb_window_t window, xcb_atom_t property, int format) {
    auto reply = Owned(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != format) return std::nullopt;
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(bytes, xcb_get_property_value_length(reply.get())); // in bytes
}

std::optional<std::vector<uint32_t>> X::Property32(xcb_window_t window, const std::string& name) {
    const auto bytes = Property(window, Atom(name), 32);
    if (!bytes) return std::nullopt;
    std::vector<uint32_t> values(bytes->size() / 4);
    std::memcpy(values.data(), bytes->data(), values.size() * 4);
    return values;
}

std::vector<std::string> X::AtomNames(xcb_window_t window, const std::string& name) {
    std::vector<std::string> names;
    for (uint32_t atom : Property32(window, name).value_or(std::vector<uint32_t>{})) {
        auto reply = Owned(xcb_get_atom_name_reply(m_c, xcb_get_atom_name(m_c, atom), nullptr));
        if (reply) names.emplace_back(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
    }
    return names;
}

std::string X::Title(xcb_window_t window) {
    if (auto title = Property(window, Atom("_NET_WM_NAME"), 8)) return *title;
    return Property(window, XCB_ATOM_WM_NAME, 8).value_or("");
}

pid_t X::Pid(xcb_window_t window) {
    const auto pid = Property32(window, "_NET_WM_PID");
    return pid && !pid->empty() ? static_cast<pid_t>(pid->front()) : 0;
}

std::vector<xcb_window_t> X::ClientList() { return Property32(m_root, "_NET_CLIENT_LIST").value_or(std::vector<uint32_t>{}); }

std::vector<xcb_window_t> X::ProgramWindows(const std::string& type, bool viewableOnly) {
    std::vector<xcb_window_t> windows;
    for (xcb_window_t window : ClientList()) {
        const auto types = AtomNames(window, "_NET_WM_WINDOW_TYPE");
        if (Title(window) == kTitle && std::find(types.begin(), types.end(), type) != types.end() &&
            (!viewableOnly || Viewable(window)))
            windows.push_back(window);
    }
    return windows;
}

std::vector<xcb_window_t> X::WindowsOf(pid_t pid) {
    // Top-level windows are children of the root, or one or two levels down
    // inside a window manager's frame.
    std::set<xcb_window_t> found;
    std::vector<xcb_window_t> level{m_root};
    for (int depth = 0; depth < 3; ++depth) {
        std::vector<xcb_window_t> next;
        for (xcb_window_t parent : level)
            if (auto tree = Owned(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr))) {
                const xcb_window_t* children = xcb_query_tree_children(tree.get());
                next.insert(next.end(), children, children + xcb_query_tree_children_length(tree.get()));
            }
        for (xcb_window_t window : next)
            if (Pid(window) == pid) found.insert(window);
        level = std::move(next);
    }
    return {found.begin(), found.end()};
}

bool X::Exists(xcb_window_t window) {
    return Owned(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr)) != nullptr;
}

bool X::Viewable(xcb_window_t window) {
    auto reply = Owned(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::optional<Rect> X::Geometry(xcb_window_t window) {
    auto geometry = Owned(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
    auto origin = Owned(xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr));
    if (!geometry || !origin) return std::nullopt;
    return Rect{origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

Image X::Capture(const Rect& area) {
    const int x = std::clamp(area.x, 0, m_width), y = std::clamp(area.y, 0, m_height);
    const int width = std::clamp(area.x + area.width, 0, m_width) - x;
    const int height = std::clamp(area.y + area.height, 0, m_height) - y;
    if (width <= 0 || height <= 0) return {};
    auto reply = Owned(xcb_get_image_reply(
        m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, x, y, width, height, ~0u), nullptr));
    // On the 24-bit screen Xvfb is started with, 32 bits a pixel, blue first.
    const size_t count = static_cast<size_t>(width) * height;
    if (!reply || static_cast<size_t>(xcb_get_image_data_length(reply.get())) < count * 4) return {};
    Image image{width, height, std::vector<uint32_t>(count)};
    std::memcpy(image.pixels.data(), xcb_get_image_data(reply.get()), count * 4);
    for (uint32_t& pixel : image.pixels) pixel &= 0xffffff;
    return image;
}

std::optional<bool> X::CursorVisible() {
    // XFixes answers only once its version has been asked.
    Owned(xcb_xfixes_query_version_reply(m_c, xcb_xfixes_query_version(m_c, 5, 0), nullptr));
    auto reply = Owned(xcb_xfixes_get_cursor_image_reply(m_c, xcb_xfixes_get_cursor_image(m_c), nullptr));
    if (!reply) return std::nullopt;
    const uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    return std::any_of(argb, argb + xcb_xfixes_get_cursor_image_cursor_image_length(reply.get()),
                       [](uint32_t pixel) { return (pixel >> 24) != 0; });
}

std::optional<std::string> X::SelectionText(const std::string& selection) {
    if (m_selectionWindow == 0) {
        m_selectionWindow = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_selectionWindow, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    const xcb_atom_t property = Atom("DESKTOP_TEST_SELECTION");
    xcb_delete_property(m_c, m_selectionWindow, property);
    xcb_convert_selection(m_c, m_selectionWindow, Atom(selection), Atom("UTF8_STRING"), property, XCB_CURRENT_TIME);
    xcb_flush(m_c);
    std::optional<std::string> text;
    bool answered = false;
    WaitUntil(
        [&] {
            while (auto event = Owned(xcb_poll_for_event(m_c))) {
                if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) continue;
                const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event.get());
                if (notify->property != XCB_ATOM_NONE) text = Property(m_selectionWindow, property, 8);
                answered = true;
            }
            return answered;
        },
        Ms(2000), Ms(10));
    return text;
}

void X::ClearSelection(const std::string& selection) {
    xcb_set_selection_owner(m_c, XCB_NONE, Atom(selection), XCB_CURRENT_TIME);
    Exists(m_root); // a round trip: done before anything that follows
}

std::string X::DescribeWindows() {
    std::ostringstream text;
    text << "managed windows:";
    for (xcb_window_t window : ClientList()) {
        text << ' ' << window << " \"" << Title(window) << '"';
        for (const std::string& type : AtomNames(window, "_NET_WM_WINDOW_TYPE")) text << ' ' << type;
        if (const auto client = Geometry(window)) {
            text << (Viewable(window) ? " viewable " : " hidden ") << ::testing::PrintToString(*client) << ' '
                 << Name(Classify(Capture(SampleStrip(*client))));
        }
        text << ';';
    }
    return text.str();
}

// ---------------------------------------------------------------- Desktop

Desktop::Desktop() : m_dir("x") {
    // Xvfb writes the number of the display it found free to the file once
    // it accepts connections.
    const fs::path numberFile = m_dir / "display";
    const int fd = ::open(numberFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    m_server.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fd), "-screen", "0",
                                              "1920x1080x24", "-nolisten", "tcp", "-noreset"},
                     CleanEnv(), fs::path(), m_dir / "xvfb.log", fd);
    ::close(fd);
    std::string number;
    if (!WaitUntil([&] { return (number = ReadFile(numberFile)).ends_with('\n'); }, Ms(20000)))
        throw std::runtime_error("Xvfb did not start: " + ReadFile(m_dir / "xvfb.log"));
    m_display = ":" + number.substr(0, number.size() - 1);

    // An empty configuration home: openbox's defaults, whatever the tester has.
    Env env = CleanEnv();
    env["DISPLAY"] = m_display;
    env["XDG_CONFIG_HOME"] = (m_dir / "config").string();
    m_windowManager.emplace(std::vector<std::string>{"openbox", "--sm-disable"}, env, fs::path(),
                            m_dir / "openbox.log");
    m_x.emplace(m_display);
    const xcb_window_t root = m_x->root();
    if (!WaitUntil([&] { return m_x->Property32(root, "_NET_SUPPORTING_WM_CHECK") && m_x->Property32(root, "_NET_WORKAREA"); },
                   Ms(20000)))
        throw std::runtime_error("openbox did not start: " + ReadFile(m_dir / "openbox.log"));
}

bool Desktop::Tool(const std::vector<std::string>& argv) {
    Env env = CleanEnv();
    env["DISPLAY"] = m_display;
    Child tool(argv, env);
    const auto status = tool.WaitFor(Ms(10000));
    return status && status->Clean();
}

Env Desktop::ProgramEnv() const {
    const fs::path runtime = m_dir / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    Env env = CleanEnv();
    env["DISPLAY"] = m_display;
    env["XDG_RUNTIME_DIR"] = runtime.string();
    // No session bus: D-Bus must not start one for the program (it would
    // outlive the test).
    env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:";
    return env;
}

// ---------------------------------------------------------------- Program

Program::Program(Desktop& desktop, std::vector<std::string> command, const Env& extra)
    : m_desktop(desktop), m_dir("run") {
    Env env = desktop.ProgramEnv();
    env["SDL_AUDIODRIVER"] = "disk";
    env["SDL_DISKAUDIOFILE"] = audioPath().string();
    for (const auto& [name, value] : extra) env[name] = value;
    m_child.emplace(std::move(command), env, m_dir / "stdout.txt", m_dir / "stderr.txt");
}

double Program::AudioSeconds() const {
    std::error_code error;
    const auto bytes = fs::file_size(audioPath(), error);
    return error ? 0.0 : static_cast<double>(bytes) / (kAudioRate * kAudioFrameBytes);
}

std::optional<xcb_window_t> Program::WaitForMainWindow(Ms timeout) {
    X& x = m_desktop.x();
    // The scene window, a tool window too and shown for a moment at
    // start-up, never shows the rings.
    xcb_window_t seen = 0, last = 0;
    Rect where, placed;
    auto steadySince = Clock::now();
    const bool settled = WaitUntil(
        [&] {
            seen = 0;
            for (xcb_window_t window : x.ProgramWindows("_NET_WM_WINDOW_TYPE_UTILITY", true)) {
                const auto client = x.Geometry(window);
                if (client && Classify(x.Capture(SampleStrip(*client))) == Strip::Rings) seen = window, where = *client;
            }
            if (seen != last || where != placed) steadySince = Clock::now();
            last = seen, placed = where;
            return seen != 0 && Clock::now() - steadySince >= Ms(300);
        },
        timeout);
    return settled ? std::optional(seen) : std::nullopt;
}

void ExpectPromptCleanExit(Program& program, const std::function<void()>& end) {
    const auto endAt = Clock::now();
    end();
    const auto status = program.process().WaitFor(Ms(10000));
    ASSERT_TRUE(status.has_value()) << "still running 10 s after being told to end";
    EXPECT_TRUE(status->Clean()) << status->Describe() << "; stderr:\n" << program.Stderr();
    EXPECT_LE(MsSince(endAt), 3000.0);
}

std::vector<int> AudioLevels(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    std::vector<int> levels(bytes.size() / kAudioFrameBytes);
    for (size_t frame = 0; frame < levels.size(); ++frame)
        for (size_t channel = 0; channel < 2; ++channel) {
            int16_t sample;
            std::memcpy(&sample, bytes.data() + frame * kAudioFrameBytes + channel * 2, 2); // little-endian host
            levels[frame] = std::max(levels[frame], std::abs(static_cast<int>(sample)));
        }
    return levels;
}

} // namespace desktop

#include "desktop_harness.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <random>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace desktop {
namespace {

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
XReply<T> Owned(T* reply) {
    return XReply<T>(reply, &std::free);
}

std::runtime_error Failure(const std::string& what) {
    return std::runtime_error(what + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()));
}

ExitStatus DecodeStatus(int status) {
    ExitStatus decoded;
    if (WIFEXITED(status)) {
        decoded.exited = true;
        decoded.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        decoded.signal = WTERMSIG(status);
        decoded.coreDumped = WCOREDUMP(status);
    }
    return decoded;
}

void RedirectOrNull(int target, const std::filesystem::path& path) {
    const int fd = path.empty() ? ::open("/dev/null", O_WRONLY | O_CLOEXEC)
                                : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) _exit(126);
    if (::dup2(fd, target) < 0) _exit(126);
}

// Reads from a descriptor until end of file or the deadline; whether end of
// file was reached.
bool ReadUntilEnd(int fd, std::string& out, SteadyClock::time_point deadline) {
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) return false;
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        out.append(buffer, static_cast<size_t>(got));
    }
}

std::filesystem::path DefinedPath(const char* value) { return std::filesystem::path(value); }

} // namespace

double MillisecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

void SleepFor(Milliseconds duration) { std::this_thread::sleep_for(duration); }

std::filesystem::path ProgramPath() { return DefinedPath(VANTREL_PROGRAM); }
std::filesystem::path ProgramTrackPath() { return ProgramPath().parent_path() / kTrackFileName; }
std::filesystem::path ShortTrackPath() { return DefinedPath(VANTREL_SHORT_TRACK); }

// ---------------------------------------------------------------- TempDir

TempDir::TempDir(const std::string& label) {
    std::string pattern = (std::filesystem::temp_directory_path() / ("desktop-" + label + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw Failure("mkdtemp " + pattern);
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ------------------------------------------------------------- ExitStatus

std::string ExitStatus::Describe() const {
    if (exited) return "exit status " + std::to_string(code);
    if (signal != 0)
        return "signal " + std::to_string(signal) + " (" + strsignal(signal) + ")" + (coreDumped ? ", core dumped" : "");
    return "still running";
}

// ------------------------------------------------------------ Environment

Environment Environment::Clean() {
    Environment environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals == std::string::npos) continue;
        environment.m_variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME",
                             "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                             "QT_ENABLE_HIGHDPI_SCALING", "QT_FONT_DPI", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE",
                             "SDL_DISKAUDIODELAY", "XDG_SESSION_TYPE", "XAUTHORITY", "DESKTOP_SESSION",
                             "XDG_CURRENT_DESKTOP"})
        environment.Unset(name);
    return environment;
}

Environment& Environment::Set(const std::string& name, const std::string& value) {
    m_variables[name] = value;
    return *this;
}

Environment& Environment::Unset(const std::string& name) {
    m_variables.erase(name);
    return *this;
}

std::optional<std::string> Environment::Get(const std::string& name) const {
    const auto found = m_variables.find(name);
    if (found == m_variables.end()) return std::nullopt;
    return found->second;
}

std::vector<std::string> Environment::Entries() const {
    std::vector<std::string> entries;
    for (const auto& [name, value] : m_variables) entries.push_back(name + "=" + value);
    return entries;
}

// ------------------------------------------------------------------ Child

Child::Child(const ChildOptions& options) {
    if (options.argv.empty()) throw std::invalid_argument("no command");
    std::vector<std::string> argvText = options.argv;
    std::vector<std::string> envText = options.environment.Entries();
    std::vector<char*> argv, envp;
    for (std::string& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string& entry : envText) envp.push_back(entry.data());
    envp.push_back(nullptr);

    m_startedAt = SteadyClock::now();
    m_pid = ::fork();
    if (m_pid < 0) throw Failure("fork");
    if (m_pid == 0) {
        ::setpgid(0, 0);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
        RedirectOrNull(STDOUT_FILENO, options.stdoutPath);
        RedirectOrNull(STDERR_FILENO, options.stderrPath);
        if (options.inheritFd >= 0) ::fcntl(options.inheritFd, F_SETFD, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // A bare name is looked up on PATH, as a shell would.
        if (std::strchr(argv[0], '/') != nullptr) ::execve(argv[0], argv.data(), envp.data());
        else ::execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    // Also from this side, so that a kill of the group right away finds it.
    ::setpgid(m_pid, m_pid);
}

Child::~Child() {
    if (!m_status) Kill();
}

bool Child::Reap(bool block) {
    if (m_status) return true;
    int status = 0;
    for (;;) {
        const pid_t got = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
        if (got < 0 && errno == EINTR) continue;
        if (got == m_pid) {
            m_status = DecodeStatus(status);
            return true;
        }
        return false;
    }
}

bool Child::Running() { return !Reap(false); }

std::optional<ExitStatus> Child::WaitFor(Milliseconds timeout) {
    WaitUntil([&] { return Reap(false); }, timeout, Milliseconds(5));
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

ToolResult RunTool(const std::vector<std::string>& argv, const std::string& display, Milliseconds timeout) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw Failure("pipe");
    std::vector<std::string> argvText = argv;
    std::vector<std::string> envText = Environment::Clean().Set("DISPLAY", display).Entries();
    std::vector<char*> args, envp;
    for (std::string& arg : argvText) args.push_back(arg.data());
    args.push_back(nullptr);
    for (std::string& entry : envText) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const auto deadline = SteadyClock::now() + timeout;
    const pid_t pid = ::fork();
    if (pid < 0) throw Failure("fork");
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
        ::execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    ::close(pipeEnds[1]);
    ToolResult result;
    const bool finished = ReadUntilEnd(pipeEnds[0], result.output, deadline);
    ::close(pipeEnds[0]);
    if (!finished) ::kill(-pid, SIGKILL);
    int status = 0;
    // The tool has closed its output; it is about to end (or was killed).
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = DecodeStatus(status);
    return result;
}

std::string Rect::Describe() const {
    return std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y);
}

// ------------------------------------------------------------ XConnection

XConnection::XConnection(const std::string& display) {
    int screenNumber = 0;
    m_connection = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(m_connection) != 0) {
        xcb_disconnect(m_connection);
        throw std::runtime_error("cannot connect to X display " + display);
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
    m_root = screens.data->root;
    m_screenWidth = screens.data->width_in_pixels;
    m_screenHeight = screens.data->height_in_pixels;
}

XConnection::~XConnection() { xcb_disconnect(m_connection); }

xcb_atom_t XConnection::Atom(const std::string& name) {
    const auto cached = m_atoms.find(name);
    if (cached != m_atoms.end()) return cached->second;
    auto reply = Owned(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr));
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    m_atoms[name] = atom;
    return atom;
}

std::string XConnection::AtomName(xcb_atom_t atom) {
    auto reply = Owned(xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
    if (!reply) return {};
    return std::string(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
}

std::optional<std::vector<uint32_t>> XConnection::Property32(xcb_window_t window, const std::string& property) {
    auto reply = Owned(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, Atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 32) return std::nullopt;
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

std::vector<std::string> XConnection::AtomListProperty(xcb_window_t window, const std::string& property) {
    std::vector<std::string> names;
    if (const auto atoms = Property32(window, property))
        for (uint32_t atom : *atoms) names.push_back(AtomName(atom));
    return names;
}

std::optional<std::string> XConnection::TextProperty(xcb_window_t window, const std::string& property) {
    auto reply = Owned(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, Atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8) return std::nullopt;
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       xcb_get_property_value_length(reply.get()));
}

std::string XConnection::Title(xcb_window_t window) {
    if (auto name = TextProperty(window, "_NET_WM_NAME")) return *name;
    return TextProperty(window, "WM_NAME").value_or("");
}

std::optional<uint32_t> XConnection::Pid(xcb_window_t window) {
    const auto pid = Property32(window, "_NET_WM_PID");
    if (!pid || pid->empty()) return std::nullopt;
    return pid->front();
}

std::vector<xcb_window_t> XConnection::ClientList() {
    const auto clients = Property32(m_root, "_NET_CLIENT_LIST");
    return clients ? std::vector<xcb_window_t>(clients->begin(), clients->end()) : std::vector<xcb_window_t>();
}

std::optional<Rect> XConnection::WorkArea() {
    const auto area = Property32(m_root, "_NET_WORKAREA");
    if (!area || area->size() < 4) return std::nullopt;
    return Rect{static_cast<int>((*area)[0]), static_cast<int>((*area)[1]), static_cast<int>((*area)[2]),
                static_cast<int>((*area)[3])};
}

bool XConnection::Exists(xcb_window_t window) {
    auto reply =
        Owned(xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return reply != nullptr;
}

bool XConnection::Viewable(xcb_window_t window) {
    auto reply =
        Owned(xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::optional<Rect> XConnection::RootGeometry(xcb_window_t window) {
    const auto geometryCookie = xcb_get_geometry(m_connection, window);
    const auto translateCookie = xcb_translate_coordinates(m_connection, window, m_root, 0, 0);
    auto geometry = Owned(xcb_get_geometry_reply(m_connection, geometryCookie, nullptr));
    auto translated = Owned(xcb_translate_coordinates_reply(m_connection, translateCookie, nullptr));
    if (!geometry || !translated) return std::nullopt;
    return Rect{translated->dst_x, translated->dst_y, geometry->width, geometry->height};
}

std::optional<std::vector<uint32_t>> XConnection::FrameExtents(xcb_window_t window) {
    auto extents = Property32(window, "_NET_FRAME_EXTENTS");
    if (!extents || extents->size() != 4) return std::nullopt;
    return extents;
}

std::vector<xcb_window_t> XConnection::WindowsOf(pid_t pid) {
    std::vector<xcb_window_t> found;
    // Top-level windows are children of the root, or one or two levels down
    // inside a window manager's frame.
    std::vector<xcb_window_t> level{m_root};
    for (int depth = 0; depth < 3 && !level.empty(); ++depth) {
        std::vector<xcb_window_t> next;
        for (xcb_window_t parent : level) {
            auto tree = Owned(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, parent), nullptr));
            if (!tree) continue;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            next.insert(next.end(), children, children + xcb_query_tree_children_length(tree.get()));
        }
        for (xcb_window_t window : next) {
            const auto owner = Pid(window);
            if (owner && static_cast<pid_t>(*owner) == pid &&
                std::find(found.begin(), found.end(), window) == found.end())
                found.push_back(window);
        }
        level = std::move(next);
    }
    return found;
}

Image XConnection::Capture(const Rect& area) {
    const int x = std::clamp(area.x, 0, m_screenWidth);
    const int y = std::clamp(area.y, 0, m_screenHeight);
    const int right = std::clamp(area.x + area.width, 0, m_screenWidth);
    const int bottom = std::clamp(area.y + area.height, 0, m_screenHeight);
    Image image;
    if (right <= x || bottom <= y) return image;
    auto reply = Owned(xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), static_cast<uint16_t>(right - x), static_cast<uint16_t>(bottom - y),
                      ~0u),
        nullptr));
    if (!reply) return image;
    const int width = right - x;
    const int height = bottom - y;
    const size_t count = static_cast<size_t>(width) * height;
    // A 24-bit TrueColor screen (as Xvfb is started here) keeps each pixel in
    // 32 bits, least significant byte first.
    if (static_cast<size_t>(xcb_get_image_data_length(reply.get())) < count * 4) return image;
    const uint8_t* data = xcb_get_image_data(reply.get());
    image.width = width;
    image.height = height;
    image.pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        image.pixels[i] = static_cast<uint32_t>(data[4 * i]) | (static_cast<uint32_t>(data[4 * i + 1]) << 8) |
                          (static_cast<uint32_t>(data[4 * i + 2]) << 16);
    }
    return image;
}

std::optional<Image> XConnection::CursorImage() {
    if (!m_xfixesReady) {
        auto version = Owned(xcb_xfixes_query_version_reply(
            m_connection, xcb_xfixes_query_version(m_connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr));
        if (!version) return std::nullopt;
        m_xfixesReady = true;
    }
    auto reply = Owned(
        xcb_xfixes_get_cursor_image_reply(m_connection, xcb_xfixes_get_cursor_image(m_connection), nullptr));
    if (!reply) return std::nullopt;
    Image image;
    image.width = reply->width;
    image.height = reply->height;
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    image.pixels.assign(pixels, pixels + xcb_xfixes_get_cursor_image_cursor_image_length(reply.get()));
    return image;
}

std::optional<std::string> XConnection::SelectionText(const std::string& selection, Milliseconds timeout) {
    if (m_selectionWindow == 0) {
        m_selectionWindow = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_selectionWindow, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    const xcb_atom_t target = Atom("UTF8_STRING");
    const xcb_atom_t property = Atom("DESKTOP_TEST_SELECTION");
    xcb_delete_property(m_connection, m_selectionWindow, property);
    xcb_convert_selection(m_connection, m_selectionWindow, Atom(selection), target, property, XCB_CURRENT_TIME);
    xcb_flush(m_connection);

    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const bool notify = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
            const auto* selectionNotify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
            const bool ours = notify && selectionNotify->requestor == m_selectionWindow;
            const bool converted = ours && selectionNotify->property != XCB_ATOM_NONE;
            std::free(event);
            if (!ours) continue;
            if (!converted) return std::nullopt;
            auto reply = Owned(xcb_get_property_reply(
                m_connection,
                xcb_get_property(m_connection, 1, m_selectionWindow, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 65536),
                nullptr));
            if (!reply) return std::nullopt;
            return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                               xcb_get_property_value_length(reply.get()));
        }
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0 || xcb_connection_has_error(m_connection) != 0) return std::nullopt;
        pollfd entry{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        ::poll(&entry, 1, static_cast<int>(std::min<long>(left, 50)));
    }
}

void XConnection::ClearSelection(const std::string& selection) {
    xcb_set_selection_owner(m_connection, XCB_NONE, Atom(selection), XCB_CURRENT_TIME);
    Exists(m_root); // a round trip: done before anything that follows
}

// ---------------------------------------------------------------- XServer

XServer::XServer(int width, int height, const std::filesystem::path& logDirectory) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw Failure("pipe");
    ChildOptions options;
    // The server writes the number of the display it found free to the
    // descriptor, once it accepts connections.
    options.argv = {"Xvfb",       "-displayfd", std::to_string(ends[1]), "-screen", "0",
                    std::to_string(width) + "x" + std::to_string(height) + "x24",
                    "-nolisten",  "tcp",        "-noreset"};
    options.environment = Environment::Clean();
    options.stderrPath = logDirectory / "xvfb.log";
    options.inheritFd = ends[1];
    m_child.emplace(options);
    ::close(ends[1]);
    std::string number;
    ReadUntilEnd(ends[0], number, SteadyClock::now() + Milliseconds(20000));
    ::close(ends[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        throw std::runtime_error("Xvfb did not report a display; its log: " + ReadFile(logDirectory / "xvfb.log"));
    m_display = ":" + number;
}

// ---------------------------------------------------------- WindowManager

WindowManager::WindowManager(const std::string& display, const std::filesystem::path& workDirectory) {
    // An empty configuration home: openbox runs with the system's defaults,
    // whatever the person running the tests has configured.
    const auto configHome = workDirectory / "openbox-config";
    std::filesystem::create_directories(configHome);
    ChildOptions options;
    options.argv = {"openbox", "--sm-disable"};
    options.environment = Environment::Clean().Set("DISPLAY", display).Set("XDG_CONFIG_HOME", configHome.string());
    options.stderrPath = workDirectory / "openbox.log";
    m_child.emplace(options);

    XConnection x(display);
    const bool announced = WaitUntil(
        [&] {
            const auto check = x.Property32(x.root(), "_NET_SUPPORTING_WM_CHECK");
            return check && !check->empty() && x.WorkArea().has_value();
        },
        Milliseconds(20000));
    if (!announced)
        throw std::runtime_error("openbox did not start; its log: " + ReadFile(workDirectory / "openbox.log"));
}

// ---------------------------------------------------------------- Desktop

Desktop::Desktop(int width, int height) : m_dir("x") {
    m_server.emplace(width, height, m_dir.path());
    m_windowManager.emplace(display(), m_dir.path());
    m_x.emplace(display());
}

Desktop::~Desktop() {
    m_x.reset();
    m_windowManager.reset();
    m_server.reset();
}

Environment Desktop::ProgramEnvironment() const {
    const auto runtimeDir = m_dir / "runtime";
    std::filesystem::create_directories(runtimeDir);
    std::filesystem::permissions(runtimeDir, std::filesystem::perms::owner_all);
    // No session bus: D-Bus must not start one of its own for the program
    // (it would outlive the test).
    return Environment::Clean()
        .Set("DISPLAY", display())
        .Set("XDG_RUNTIME_DIR", runtimeDir.string())
        .Set("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

} // namespace desktop

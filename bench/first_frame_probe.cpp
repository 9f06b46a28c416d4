// Measures one run of the program on the X display named by DISPLAY (a
// desktop with a window manager, started by the caller), for
// scripts/bench-desktop:
//
//   first_frame_ms  from exec to the first composed frame on screen: the
//                   middle of the program's window showing rings rather than
//                   plain navy or nothing painted yet (with --shows navy, as
//                   for the plain Qt window the program is compared with:
//                   showing plain navy rather than nothing painted yet)
//   cpu_percent     the program's own CPU time (user + system) per second of
//                   running, in % of one core, over a window after start-up
//   peak_rss_mb     its peak resident memory (VmHWM) at the end of the run
//   server_cpu_percent  with --server-pid, the X server's CPU time over the
//                   same window, in % of one core: what drawing the frames
//                   costs on the server's side
//
// With --fresh-memory it only prints, with no display,
//   fresh_memory_ms  how long this machine takes to first write to 8 MB of
//                   memory fresh from the kernel (one 1920x1080 surface;
//                   the median of 5): the program writes two such surfaces
//                   before its first frame, a plain window one. Where a page
//                   fault is dear (about 10 us a page in some virtual
//                   machines, against well under one on bare hardware), it
//                   weighs on the ratio of the two.
//
// The program gets this probe's environment (the caller picks the audio
// driver). The probe polls the screen only until the first frame and sleeps
// while the CPU time is sampled, so as not to load the machine it measures.
// The program is ended with SIGTERM; how it exited is printed too. With
// --cpu-ms 0 only the first frame is measured, and the program is ended
// right after it without judging how it exits.
//
// Usage: vantrel-first-frame-probe [--program PATH] [--shows rings|navy]
//                                  [--settle-ms N] [--cpu-ms N] [--server-pid PID]
//        vantrel-first-frame-probe --fresh-memory

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename T>
std::unique_ptr<T, decltype(&std::free)> Owned(T* reply) {
    return {reply, &std::free};
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

xcb_atom_t Atom(xcb_connection_t* c, const std::string& name) {
    auto reply = Owned(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, name.size(), name.c_str()), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::vector<uint32_t> Property32(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    auto reply = Owned(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

constexpr uint32_t kNavy = 0x000080;

enum class Picture { Rings, Navy };

// Whether the window's client area shows the picture, in a strip across its
// middle, a quarter of the way down: the rings are many dark colours (ring
// colours keep red at 40 and green at 15 or less) with little plain navy
// left; navy is navy throughout. A window not painted yet shows one flat
// colour or what was there before.
bool Shows(Picture picture, xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
    auto geometry = Owned(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    auto origin = Owned(xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr));
    if (!geometry || !origin || geometry->width < 8) return false;
    const int half = geometry->width / 4;
    auto image = Owned(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, origin->dst_x + geometry->width / 2 - half,
                      origin->dst_y + geometry->height / 4, 2 * half, 4, ~0u),
        nullptr));
    if (!image) return false;
    // 32 bits a pixel on a 24-bit screen, blue first.
    const auto* pixels = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image.get()));
    const size_t count = xcb_get_image_data_length(image.get()) / 4;
    size_t navy = 0;
    std::set<uint32_t> colours;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t pixel = pixels[i] & 0xffffff;
        if (((pixel >> 16) & 0xff) > 40 || ((pixel >> 8) & 0xff) > 15) return false;
        navy += pixel == kNavy;
        colours.insert(pixel);
    }
    if (picture == Picture::Navy) return count > 0 && navy == count;
    return count > 0 && navy * 2 < count && colours.size() >= 16;
}

// The median of five first writes to one 1920x1080 surface's worth of
// memory fresh from the kernel; 0 where none can be had.
double FreshMemoryMs() {
    constexpr size_t kBytes = size_t{1920} * 1080 * 4;
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        void* memory = ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) return 0;
        const auto start = Clock::now();
        std::memset(memory, 0x80, kBytes);
        times.push_back(MsSince(start));
        ::munmap(memory, kBytes);
    }
    std::ranges::sort(times);
    return times[times.size() / 2];
}

// utime + stime of a process, in seconds.
std::optional<double> CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields after it are plain.
    const size_t afterName = text.rfind(')');
    if (afterName == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    unsigned long long ticks = 0;
    // Fields from 3 (state) on; utime and stime are 14 and 15.
    for (int index = 3; index <= 15 && fields >> field; ++index)
        if (index >= 14) ticks += std::stoull(field);
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::optional<double> PeakResidentMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024.0; // given in kB
    return std::nullopt;
}

// Whether the process ended within `timeout`; reaps it if so.
bool Ended(pid_t pid, std::chrono::milliseconds timeout, int& status) {
    const auto deadline = Clock::now() + timeout;
    do {
        if (::waitpid(pid, &status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < deadline);
    return false;
}

int Measure(const std::string& program, Picture picture, long settleMs, long cpuMs, pid_t serverPid) {
    const char* display = std::getenv("DISPLAY");
    xcb_connection_t* c = xcb_connect(display, nullptr);
    if (display == nullptr || xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot open the display named by DISPLAY\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t clients = Atom(c, "_NET_CLIENT_LIST"), pidAtom = Atom(c, "_NET_WM_PID");

    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0); // its own group, so that nothing it starts outlives the probe
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::setpgid(pid, pid);
    int status = 0;
    auto fail = [&](const char* why) {
        std::fprintf(stderr, "%s\n", why);
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return 1;
    };

    // The first frame: any managed window of the program showing the picture.
    std::optional<double> firstFrameMs;
    while (!firstFrameMs && MsSince(start) < 30000) {
        for (xcb_window_t window : Property32(c, root, clients)) {
            const auto owner = Property32(c, window, pidAtom);
            if (!owner.empty() && static_cast<pid_t>(owner[0]) == pid && Shows(picture, c, root, window)) {
                firstFrameMs = MsSince(start);
                break;
            }
        }
        if (::waitpid(pid, &status, WNOHANG) == pid) return fail("the program ended at start-up");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    xcb_disconnect(c);
    if (!firstFrameMs) return fail("no composed frame within 30 s");
    std::printf("first_frame_ms=%.1f\n", *firstFrameMs);
    std::fflush(stdout);
    if (cpuMs <= 0) {
        ::kill(-pid, SIGTERM);
        if (!Ended(pid, std::chrono::milliseconds(5000), status)) return fail("still running 5 s after SIGTERM");
        return 0;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    const auto cpuBefore = CpuSeconds(pid);
    const auto serverBefore = serverPid > 0 ? CpuSeconds(serverPid) : std::nullopt;
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(cpuMs));
    const auto cpuAfter = CpuSeconds(pid);
    const auto serverAfter = serverPid > 0 ? CpuSeconds(serverPid) : std::nullopt;
    const double wallSeconds = MsSince(wallBefore) / 1000.0;
    const auto peak = PeakResidentMb(pid);
    if (!cpuBefore || !cpuAfter || !peak || ::waitpid(pid, &status, WNOHANG) != 0)
        return fail("the program ended while it was measured");
    std::printf("cpu_percent=%.2f\n", 100.0 * (*cpuAfter - *cpuBefore) / wallSeconds);
    std::printf("peak_rss_mb=%.1f\n", *peak);
    if (serverBefore && serverAfter)
        std::printf("server_cpu_percent=%.2f\n", 100.0 * (*serverAfter - *serverBefore) / wallSeconds);

    ::kill(pid, SIGTERM);
    if (!Ended(pid, std::chrono::milliseconds(5000), status)) {
        std::printf("exit=still running after SIGTERM\n");
        return fail("still running 5 s after SIGTERM");
    }
    if (WIFEXITED(status)) std::printf("exit=status %d\n", WEXITSTATUS(status));
    else std::printf("exit=signal %d\n", WTERMSIG(status));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--fresh-memory") {
        std::printf("fresh_memory_ms=%.2f\n", FreshMemoryMs());
        return 0;
    }
    std::string program = VANTREL_PROGRAM;
    long settleMs = 2000, cpuMs = 10000;
    pid_t serverPid = 0;
    Picture picture = Picture::Rings;
    bool understood = argc % 2 == 1; // options and their values in pairs
    for (int i = 1; understood && i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--program") program = argv[i + 1];
        else if (option == "--shows" && std::string(argv[i + 1]) == "rings") picture = Picture::Rings;
        else if (option == "--shows" && std::string(argv[i + 1]) == "navy") picture = Picture::Navy;
        else if (option == "--settle-ms") settleMs = std::stol(argv[i + 1]);
        else if (option == "--cpu-ms") cpuMs = std::stol(argv[i + 1]);
        else if (option == "--server-pid") serverPid = static_cast<pid_t>(std::stol(argv[i + 1]));
        else understood = false;
    }
    if (!understood) {
        std::fprintf(stderr,
                     "usage: %s [--program PATH] [--shows rings|navy] [--settle-ms N] [--cpu-ms N] [--server-pid PID]\n",
                     argv[0]);
        return 2;
    }
    return Measure(program, picture, settleMs, cpuMs, serverPid);
}

// Measures one run of the program on the X display named by DISPLAY (a
// desktop with a window manager, started by the caller):
//
//   first_frame_ms  from exec to the first composed frame on screen: the
//                   client area's centre no longer plain navy but rings
//   cpu_percent     the program's own CPU time (user + system) per second of
//                   running, in % of one core, over a window after start-up
//   peak_rss_mb     its peak resident memory (VmHWM) at the end of the run
//
// The program gets this probe's environment (the caller picks the audio
// driver). The probe polls the screen only until the first frame is seen and
// sleeps while the CPU time is sampled, so that it does not load the machine
// it measures. The program is ended with SIGTERM; its exit is reported too.
//
// Usage: vantrel-first-frame-probe [--program PATH] [--settle-ms N] [--cpu-ms N] [--verbose]
// (--verbose: what the client area showed until the first frame, on stderr)

#include "startup_watch.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

extern char** environ;

namespace {

using namespace desktop;

// utime + stime of a process, in seconds.
std::optional<double> CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields after it are plain.
    const size_t afterName = text.rfind(')');
    if (afterName == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    // Fields from 3 (state) on; utime and stime are 14 and 15.
    unsigned long long utime = 0, stime = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) utime = std::stoull(field);
        if (index == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::optional<double> PeakResidentMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("VmHWM:")) continue;
        return std::stod(line.substr(6)) / 1024.0; // given in kB
    }
    return std::nullopt;
}

Environment CurrentEnvironment() {
    Environment environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos) environment.Set(text.substr(0, equals), text.substr(equals + 1));
    }
    return environment;
}

} // namespace

int main(int argc, char** argv) {
    std::string program = ProgramPath().string();
    long settleMs = 2000, cpuMs = 10000;
    bool verbose = false;
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--verbose") {
            verbose = true;
            --i;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n", option.c_str());
            return 2;
        }
        if (option == "--program") program = argv[i + 1];
        else if (option == "--settle-ms") settleMs = std::stol(argv[i + 1]);
        else if (option == "--cpu-ms") cpuMs = std::stol(argv[i + 1]);
        else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) {
        std::fprintf(stderr, "DISPLAY is not set\n");
        return 2;
    }

    try {
        StartupWatch watch(display);
        ChildOptions options;
        options.argv = {program};
        options.environment = CurrentEnvironment();
        Child child(options);
        const StartupTimeline timeline = watch.Follow(child.pid(), child.startedAt(), false, Milliseconds(30000),
                                                      std::chrono::microseconds(1000));
        if (!timeline.firstFrameMs) {
            std::fprintf(stderr, "no composed frame within 30 s; samples: %s\n", Describe(timeline.samples).c_str());
            return 1;
        }
        if (verbose) std::fprintf(stderr, "samples: %s\n", Describe(timeline.samples).c_str());
        std::printf("first_frame_ms=%.1f\n", *timeline.firstFrameMs);
        std::fflush(stdout);

        SleepFor(Milliseconds(settleMs));
        const auto cpuBefore = CpuSeconds(child.pid());
        const auto wallBefore = SteadyClock::now();
        SleepFor(Milliseconds(cpuMs));
        const auto cpuAfter = CpuSeconds(child.pid());
        const double wallSeconds = MillisecondsSince(wallBefore) / 1000.0;
        const auto peak = PeakResidentMb(child.pid());
        if (!cpuBefore || !cpuAfter || !peak || !child.Running()) {
            std::fprintf(stderr, "the program ended while it was measured\n");
            return 1;
        }
        std::printf("cpu_percent=%.2f\n", 100.0 * (*cpuAfter - *cpuBefore) / wallSeconds);
        std::printf("peak_rss_mb=%.1f\n", *peak);

        child.Signal(SIGTERM);
        const auto status = child.WaitFor(Milliseconds(5000));
        std::printf("exit=%s\n", status ? status->Describe().c_str() : "still running after SIGTERM");
        return status && status->exited && status->code == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

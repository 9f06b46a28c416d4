#include "program_run.h"

#include "screen_checks.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace desktop {

ProgramRun::ProgramRun(Desktop& desktop, ProgramOptions options)
    : m_desktop(desktop), m_dir("run"), m_audioPath(m_dir / "sound.pcm") {
    ChildOptions child;
    child.argv = options.wrapper;
    child.argv.push_back(options.binary.string());
    child.argv.insert(child.argv.end(), options.arguments.begin(), options.arguments.end());
    child.environment = desktop.ProgramEnvironment();
    child.environment.Set("SDL_AUDIODRIVER", "disk").Set("SDL_DISKAUDIOFILE", m_audioPath.string());
    for (const auto& [name, value] : options.extraEnvironment) child.environment.Set(name, value);
    child.stdoutPath = m_dir / "stdout.txt";
    child.stderrPath = m_dir / "stderr.txt";
    m_child.emplace(child);
}

std::uintmax_t ProgramRun::AudioBytes() const {
    std::error_code error;
    const auto size = std::filesystem::file_size(m_audioPath, error);
    return error ? 0 : size;
}

std::optional<xcb_window_t> ProgramRun::WaitForMainWindow(Milliseconds timeout) {
    XConnection& x = m_desktop.x();
    // The main window is the tool window that shows the rings: the scene
    // window, a tool window too and shown for a moment at start-up, never
    // does. Settled means the same window in the same place for a while (the
    // program fits its frame onto the work area after showing it).
    std::optional<xcb_window_t> candidate;
    std::optional<Rect> placed;
    auto steadySince = SteadyClock::now();
    const auto deadline = SteadyClock::now() + timeout;
    while (SteadyClock::now() < deadline) {
        std::optional<xcb_window_t> showing;
        std::optional<Rect> where;
        for (xcb_window_t window : ManagedWindowsOfType(x, "_NET_WM_WINDOW_TYPE_UTILITY")) {
            if (!x.Viewable(window)) continue;
            const auto client = x.RootGeometry(window);
            if (client && ClassifyStrip(x.Capture(SampleStrip(*client))) == StripState::Rings) {
                showing = window;
                where = client;
                break;
            }
        }
        if (showing != candidate || where != placed) {
            candidate = showing;
            placed = where;
            steadySince = SteadyClock::now();
        } else if (candidate && SteadyClock::now() - steadySince >= Milliseconds(300)) {
            return candidate;
        }
        SleepFor(Milliseconds(20));
    }
    return std::nullopt;
}

bool ProgramRun::CloseWindow(xcb_window_t window) {
    return m_desktop.Tool({"wmctrl", "-i", "-c", std::to_string(window)}).ok();
}

ProgramCopy::ProgramCopy(const std::optional<std::filesystem::path>& track) : m_dir("program") {
    std::filesystem::copy_file(ProgramPath(), binary());
    if (track) std::filesystem::copy_file(*track, m_dir / kTrackFileName);
}

std::vector<xcb_window_t> ManagedWindowsOfType(XConnection& x, const std::string& type) {
    std::vector<xcb_window_t> windows;
    for (xcb_window_t window : x.ClientList()) {
        if (x.Title(window) != kProgramTitle) continue;
        const auto types = x.AtomListProperty(window, "_NET_WM_WINDOW_TYPE");
        if (std::find(types.begin(), types.end(), type) != types.end()) windows.push_back(window);
    }
    return windows;
}

std::string DescribeWindows(XConnection& x) {
    std::string text;
    for (xcb_window_t window : x.ClientList()) {
        text += std::to_string(window) + " \"" + x.Title(window) + "\"";
        for (const std::string& type : x.AtomListProperty(window, "_NET_WM_WINDOW_TYPE")) text += " " + type;
        text += x.Viewable(window) ? " viewable" : " not viewable";
        if (const auto client = x.RootGeometry(window)) {
            text += " " + client->Describe() + " strip ";
            text += Name(ClassifyStrip(x.Capture(SampleStrip(*client))));
        }
        text += "; ";
    }
    return text.empty() ? "no managed windows" : text;
}

std::vector<int> ReadPcmLevels(const std::filesystem::path& path) {
    const std::string bytes = ReadFile(path);
    std::vector<int> levels;
    levels.reserve(bytes.size() / kAudioBytesPerFrame);
    for (size_t i = 0; i + kAudioBytesPerFrame <= bytes.size(); i += kAudioBytesPerFrame) {
        int loudest = 0;
        for (int channel = 0; channel < kAudioChannels; ++channel) {
            const auto low = static_cast<uint8_t>(bytes[i + 2 * channel]);
            const auto high = static_cast<uint8_t>(bytes[i + 2 * channel + 1]);
            const auto sample = static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
            loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
        }
        levels.push_back(loudest);
    }
    return levels;
}

} // namespace desktop

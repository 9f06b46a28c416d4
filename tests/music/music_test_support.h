#pragma once

#include "media_backend.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-music-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::filesystem::path FixtureTrack() { return std::filesystem::path(VANTREL_FIXTURE_DIR) / "Until The Dub.mp3"; }
inline constexpr const char* kTrackFileName = "Until The Dub.mp3";

inline std::vector<char> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What the fake device's tracks report, and the log of every call made on them.
struct FakeDevice {
    std::vector<std::string> log;
    bool opens = true;
    int64_t lengthMs = 2000;
    int64_t positionMs = 0;
};

// A backend whose tracks do nothing but report and record (see FakeDevice).
class FakeBackend final : public MediaBackend {
public:
    explicit FakeBackend(FakeDevice& device) : m_device(device) {}

    std::unique_ptr<MediaTrack> Open(const std::string& path) override {
        m_device.log.push_back("open " + path);
        return m_device.opens ? std::make_unique<Track>(m_device) : nullptr;
    }

private:
    class Track final : public MediaTrack {
    public:
        explicit Track(FakeDevice& device) : m_device(device) {}
        ~Track() override { m_device.log.push_back("close"); }
        void Play(int64_t fromMs) override { m_device.log.push_back("play from " + std::to_string(fromMs)); }
        void Resume() override { m_device.log.push_back("play"); }
        void Stop() override { m_device.log.push_back("stop"); }
        int64_t PositionMs() override {
            m_device.log.push_back("position");
            return m_device.positionMs;
        }
        int64_t LengthMs() const override {
            m_device.log.push_back("length");
            return m_device.lengthMs;
        }

    private:
        FakeDevice& m_device;
    };

    FakeDevice& m_device;
};

} // namespace vantrel::testing

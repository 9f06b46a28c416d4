#include "track_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {
namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

// The size of a regular file of at most maxBytes, checked on the file
// already opened, so that the answer is about that very file.
std::optional<size_t> RegularFileSize(int fd, size_t maxBytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes) return std::nullopt;
    return static_cast<size_t>(info.st_size);
}

// Reads to the end of the file; false on a read error or past maxBytes.
bool ReadAll(int fd, size_t maxBytes, std::vector<uint8_t>& bytes) {
    for (;;) {
        const size_t used = bytes.size();
        bytes.resize(used + kReadChunkBytes);
        const ssize_t got = ::read(fd, bytes.data() + used, kReadChunkBytes);
        if (got < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        bytes.resize(used + static_cast<size_t>(got > 0 ? got : 0));
        if (got < 0 || bytes.size() > maxBytes) return false;
        if (got == 0) return true;
    }
}

} // namespace

std::optional<std::vector<uint8_t>> ReadRegularFile(const std::string& path, size_t maxBytes) {
    // Non-blocking so that a FIFO given in place of a file cannot stall the
    // open; it is refused right after by the regular-file check.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    const std::optional<size_t> size = file.get() >= 0 ? RegularFileSize(file.get(), maxBytes) : std::nullopt;
    if (!size) return std::nullopt;
    // Room for the whole file and the read that finds its end, so that the
    // buffer is never moved while it fills: each move would fault in fresh
    // pages, which cost a whole track's read several times over.
    std::vector<uint8_t> bytes;
    bytes.reserve(*size + kReadChunkBytes);
    if (!ReadAll(file.get(), maxBytes, bytes)) return std::nullopt;
    return bytes;
}

} // namespace vantrel

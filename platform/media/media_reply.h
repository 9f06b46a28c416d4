#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace vantrel {

// The caller's reply buffer of a media command: `length` characters
// including the terminating NUL. A command that fails leaves no reply text
// (the first character NUL); a reply is written only whole and
// NUL-terminated, never cut, never past the buffer.
class MediaReply {
public:
    MediaReply(char* buffer, uint32_t length) : m_buffer(buffer), m_length(length) { Clear(); }

    void Clear() {
        if (m_buffer != nullptr && m_length > 0) m_buffer[0] = '\0';
    }

    // False (and nothing written) when the text and its NUL do not fit.
    bool Write(std::string_view text) {
        if (m_buffer == nullptr || text.size() >= m_length) return false;
        std::memcpy(m_buffer, text.data(), text.size());
        m_buffer[text.size()] = '\0';
        return true;
    }

private:
    char* m_buffer = nullptr;
    uint32_t m_length = 0;
};

} // namespace vantrel

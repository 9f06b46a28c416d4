#pragma once

#include <string>
#include <thread>

namespace vantrel {

// Loads fontconfig's configuration and font caches and resolves one face, on
// a thread of its own, while Qt starts on the main thread: the first
// measure of a label's caption, which would otherwise load them itself,
// then finds them loaded. Fontconfig may be used from several threads at
// once; should Qt need it before the thread is done, either finishes the
// loading. The thread is joined when the warm-up goes.
class FontWarmUp {
public:
    explicit FontWarmUp(std::string family);
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

private:
    std::thread m_thread;
};

} // namespace vantrel

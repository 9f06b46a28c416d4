#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;
struct xcb_present_generic_event_t;

namespace vantrel {

// The program's own connection to the X server, for presenting frames. Qt
// reads its connection on a thread of its own and hands each event on to
// the main thread, so an event that paces the frames would wake two threads
// every refresh; the Present events of this connection are read on the main
// thread as soon as its socket has data, waking it alone.
class X11PresentConnection {
public:
    using Handler = std::function<void(const xcb_present_generic_event_t&)>;

    // The screen's pixels, as Open checks them: depth 24, 32 bits each.
    static constexpr uint8_t kDepth = 24;
    static constexpr uint8_t kBitsPerPixel = 32;

    // Opens a connection to the X server Qt shows its windows on (DISPLAY),
    // where that server offers what presenting frames needs: the Present
    // extension, MIT-SHM pixmaps, XFixes regions, and a 24-bit screen laid
    // out as the surfaces' images (32 bits a pixel, blue first). Null where
    // it lacks any of them (a forwarded or remote display has no MIT-SHM),
    // and where Qt shows its windows elsewhere than on X11.
    static std::unique_ptr<X11PresentConnection> Open();
    ~X11PresentConnection();
    X11PresentConnection(const X11PresentConnection&) = delete;
    X11PresentConnection& operator=(const X11PresentConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }

    // Hands the Present events selected with `eventId` to `handler`, until
    // Forget(eventId).
    void Listen(uint32_t eventId, Handler handler);
    void Forget(uint32_t eventId);
    // Reads, once the caller is done, the events that came in with a reply
    // this connection waited for: they wait in the connection's queue, and
    // the socket shows no more data for them.
    void ReadQueuedLater();

private:
    X11PresentConnection(xcb_connection_t* connection, uint8_t presentOpcode);
    void ReadEvents();

    xcb_connection_t* m_connection;
    uint8_t m_presentOpcode;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::vector<std::pair<uint32_t, Handler>> m_handlers;
};

} // namespace vantrel

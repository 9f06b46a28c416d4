#pragma once

#include "frame_pacer.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel {

class TimerScheduler;

// The memory of one buffer the display server shows: rows of 32-bit pixels
// laid out as the surface's image.
struct BufferMemory {
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
};

// What the frame presenter asks of the display server for one window. The
// server answers through FramePresenter::OnRefresh and OnIdle.
class PresentServer {
public:
    virtual ~PresentServer() = default;
    // Makes one more buffer of `size` device pixels (all of one size), the
    // next index; nothing when the server cannot.
    virtual std::optional<BufferMemory> AddBuffer(QSize size) = 0;
    // Lets go of every buffer made; those the server still shows stay with
    // it until it is done with them.
    virtual void ReleaseBuffers() = 0;
    // Shows buffer `index` at refresh `targetMsc` (at the next refresh if
    // that has passed, or, `atOnce`, right away), copying only `update`
    // (device pixels) into the window. The server reports the refresh it
    // was shown at, and when the buffer is free to be drawn into again. A
    // frame presented while a plain wait is out takes the wait's place:
    // only the frame's report comes.
    virtual void PresentBuffer(int index, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) = 0;
    // Asks for the report of refresh `targetMsc`, showing nothing.
    virtual void NotifyAt(uint64_t targetMsc) = 0;
    // Whether `image` lives in memory the server shares (a surface's, made
    // for it by the window): PresentImage shows it without copying it.
    virtual bool SharesImage(const QImage& image) const = 0;
    // Shows such an image as PresentBuffer shows a buffer; when the server
    // lets it go, it says so with FramePresenter::OnImageIdle.
    virtual void PresentImage(const QImage& image, const std::vector<QRect>& update, uint64_t targetMsc,
                              bool atOnce) = 0;
};

// Shows a surface's frames in a window through buffers the display server
// presents at chosen refreshes, and runs the frame timers on the display's
// refreshes (FramePacer).
//
// One request to the server is out at any time: a frame, or a plain wait
// for the next tick's refresh when there is no frame to show (the window
// is covered, a failure report holds the timers). Each report of a refresh
// may tick the timers, whose frame goes out at once, for the next tick's
// refresh. The one exception is a window just exposed while only a plain
// wait is out (the first frame, once the window has its size; a window
// uncovered), showing an image the server shares: its frame takes the
// wait's place and is shown as soon as the server has it, rather than a
// refresh after the wait's report. The next tick keeps its refresh, and
// frames stay a whole tick's refreshes apart. (A frame copied into a buffer
// keeps to the ticks: sent between two, its buffer could still be held when
// the next tick's frame is drawn, and a second buffer would be made.)
//
// A buffer is drawn into only once the server has let it go, and
// then only where the surface changed since that buffer was last drawn;
// the window is sent only the parts that changed since its last frame.
//
// A surface whose image the server shares is shown as it is, with no
// buffer: the tick that draws on it then waits until the server has let the
// last frame go (one that copies frames into the window has, by the next
// refresh). Other images are copied into buffers, made as they are needed:
// a server that lets a frame go by the time the next one is drawn needs
// only one, and a second is made the first time it still holds it. A window
// that is hidden gives its buffers back.
class FramePresenter {
public:
    static constexpr int kMostBuffers = 2;

    FramePresenter(PresentServer& server, TimerScheduler& timers);
    ~FramePresenter();
    FramePresenter(const FramePresenter&) = delete;
    FramePresenter& operator=(const FramePresenter&) = delete;

    // A new frame: `image` changed in `damage` (device pixels) since the last
    // one. A window that nothing of is on screen (`onScreen` false) is sent
    // nothing; when it shows again it is sent the whole image. The image
    // must outlive the presenter, or the next call.
    void Show(const QImage& image, const std::vector<QRect>& damage, bool onScreen);
    // The window lost what it showed: the whole image goes with the next
    // frame.
    void ShowAll(const QImage& image);
    // The window is to show nothing but the colour the server fills it with
    // itself: nothing is sent, and the clock runs as for a frame.
    void ShowBackground();
    // The window was hidden: no frame, no tick, until it is shown again.
    void Stop();

    // Reports of the server.
    void OnRefresh(uint64_t msc, uint64_t ustUs, bool frameSkipped);
    void OnIdle(int index);
    void OnImageIdle();
    void OnWindowResized(QSize devicePixels);

private:
    void Start();
    bool MaySend() const { return m_out == Out::Nothing || (m_exposed && m_imageShared && m_out == Out::Wait); }
    void SendFrame();
    void KeepClock();
    int IdleBuffer();
    void FitBuffers(QSize size);
    void ReleaseBuffers();
    void MarkStale(const QRect& rect);
    void CopyStaleTiles(int index);

    PresentServer& m_server;
    FramePacer m_pacer;

    // The request to the server that is out: none, a plain wait, a frame,
    // or a frame that took a plain wait's place.
    enum class Out : uint8_t { Nothing, Wait, Frame, FrameAtOnce };

    bool m_running = false;
    Out m_out = Out::Nothing;
    bool m_exposed = false;     // the window lost what it showed, and no frame went since
    uint64_t m_lastFrameMsc = 0; // the refresh the last frame reported was shown at
    bool m_frameReady = false;  // a frame waits to be sent
    bool m_wholeWindow = true;  // the next frame updates the whole window
    bool m_onScreen = true;
    const QImage* m_image = nullptr;
    bool m_imageShared = false; // m_image is shown as it is
    bool m_imageHeld = false;   // the server has not let the image shown last go
    std::vector<QRect> m_update; // for the frame waiting, device pixels

    struct Buffer {
        BufferMemory memory;
        bool busy = false;          // shown and not let go yet
        std::vector<uint8_t> stale; // per surface tile: changed since drawn
    };
    std::vector<Buffer> m_buffers;
    QSize m_bufferSize;
    int m_tileColumns = 0;
    int m_tileRows = 0;
    int m_lastDrawn = -1;
};

} // namespace vantrel

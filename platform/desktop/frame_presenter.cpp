#include "frame_presenter.h"

#include "surface.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vantrel {
namespace {

constexpr int kTileWidth = Surface::kTileWidth;   // device pixels
constexpr int kTileHeight = Surface::kTileHeight; // device pixels
constexpr int kBytesPerPixel = 4;
constexpr size_t kMostUpdateRects = 4096;

} // namespace

// The update list never grows past its reserve: a frame allocates nothing.
FramePresenter::FramePresenter(PresentServer& server, TimerScheduler& timers) : m_server(server), m_pacer(timers) {
    m_update.reserve(kMostUpdateRects);
}

FramePresenter::~FramePresenter() { Stop(); }

void FramePresenter::Start() {
    if (m_running) return;
    m_running = true;
    m_pacer.Start();
}

void FramePresenter::Stop() {
    m_running = false;
    m_frameReady = false;
    m_pacer.Stop();
    ReleaseBuffers();
}

void FramePresenter::Show(const QImage& image, const std::vector<QRect>& damage, bool onScreen) {
    m_image = &image;
    m_imageShared = m_server.SharesImage(image);
    if (!m_frameReady) m_update.clear();
    for (const QRect& rect : damage) MarkStale(rect);
    // Frames held back for long (the server keeps every buffer) are sent as
    // one whole update rather than a list that grows without end.
    if (m_update.size() + damage.size() > kMostUpdateRects) {
        m_update.clear();
        m_wholeWindow = true;
    } else {
        m_update.insert(m_update.end(), damage.begin(), damage.end());
    }
    // A window that has been covered is sent everything once it shows again.
    if (!onScreen) m_wholeWindow = true;
    m_onScreen = onScreen;
    m_frameReady = true;
    Start();
    if (MaySend()) SendFrame();
    KeepClock();
}

void FramePresenter::ShowAll(const QImage& image) {
    m_wholeWindow = true;
    m_exposed = true;
    Show(image, {}, true);
}

void FramePresenter::ShowBackground() {
    m_wholeWindow = true;
    m_frameReady = false;
    m_onScreen = true;
    Start();
    KeepClock();
}

void FramePresenter::OnRefresh(uint64_t msc, uint64_t ustUs, bool frameSkipped) {
    const Out out = std::exchange(m_out, Out::Nothing);
    if (out == Out::Frame || out == Out::FrameAtOnce) m_lastFrameMsc = msc;
    if (frameSkipped) m_wholeWindow = true;
    if (!m_running) return;
    // A tick draws on the image shown: never while the server reads it. The
    // frame it composes goes out from Show. A frame shown at once came out
    // of the refreshes' order: its report is the clock's only from the next
    // tick's refresh on, and until then a frame waiting waits for that tick.
    const bool clockReport = out != Out::FrameAtOnce || msc >= m_pacer.RefreshClock().NextTickMsc();
    if (clockReport) m_pacer.OnRefresh(msc, ustUs, !(m_imageShared && m_imageHeld));
    if (clockReport && m_running && m_frameReady && m_out == Out::Nothing) SendFrame();
    KeepClock();
}

// With no frame out, the clock keeps going on a plain wait for the next
// tick's refresh.
void FramePresenter::KeepClock() {
    if (!m_running || m_out != Out::Nothing) return;
    m_server.NotifyAt(m_pacer.RefreshClock().NextTickMsc());
    m_out = Out::Wait;
}

void FramePresenter::OnIdle(int index) {
    if (index >= 0 && index < static_cast<int>(m_buffers.size())) m_buffers[index].busy = false;
}

void FramePresenter::OnImageIdle() {
    m_imageHeld = false;
    m_pacer.RunHeldTick();
    if (m_running && m_frameReady && MaySend()) SendFrame();
}

void FramePresenter::OnWindowResized(QSize devicePixels) {
    // New buffers are made at the surface's size with the next frame.
    if (devicePixels != m_bufferSize) ReleaseBuffers();
}

void FramePresenter::ReleaseBuffers() {
    if (m_buffers.empty()) return;
    m_server.ReleaseBuffers();
    m_buffers.clear();
    m_lastDrawn = -1;
    m_wholeWindow = true;
}

// Sends the frame waiting: an image the server shares as it is, once the
// server has let the last frame go; any other copied into a buffer the
// server has let go of, with none free on the next refresh. A covered
// window gets nothing. A frame that takes a plain wait's place is shown as
// soon as the server can; it, and the frame after it, come a whole tick's
// refreshes after the frame before at the soonest, as every frame does.
void FramePresenter::SendFrame() {
    if (m_image == nullptr || m_image->isNull()) return;
    if (!m_onScreen) {
        m_frameReady = false;
        return;
    }
    int index = -1;
    if (m_imageShared) {
        if (m_imageHeld) return; // goes once the server lets the last one go
    } else {
        FitBuffers(m_image->size());
        index = IdleBuffer();
        if (index < 0) return;
        CopyStaleTiles(index);
    }
    if (m_wholeWindow) {
        m_update.assign(1, m_image->rect());
        m_wholeWindow = false;
    }
    if (m_update.empty()) {
        m_frameReady = false;
        return;
    }
    m_frameReady = false;
    m_exposed = false;
    const bool atOnce = m_out == Out::Wait;
    m_out = atOnce ? Out::FrameAtOnce : Out::Frame;
    const FrameClock& clock = m_pacer.RefreshClock();
    const uint64_t soonest = m_lastFrameMsc + static_cast<uint64_t>(clock.TickRefreshes());
    const uint64_t targetMsc = atOnce ? soonest : std::max(clock.TargetMsc(m_pacer.NowUs()), soonest);
    if (m_imageShared) {
        m_imageHeld = true;
        m_server.PresentImage(*m_image, m_update, targetMsc, atOnce);
    } else {
        m_buffers[index].busy = true;
        m_lastDrawn = index;
        m_server.PresentBuffer(index, m_update, targetMsc, atOnce);
    }
}

// The buffer drawn last if it is free (it needs the least copying), else
// any free one, else a new one while there may be more; -1 when the server
// holds them all or can make none.
int FramePresenter::IdleBuffer() {
    if (m_lastDrawn >= 0 && !m_buffers[m_lastDrawn].busy) return m_lastDrawn;
    for (size_t index = 0; index < m_buffers.size(); ++index) {
        if (!m_buffers[index].busy) return static_cast<int>(index);
    }
    if (m_buffers.size() >= static_cast<size_t>(kMostBuffers)) return -1;
    const std::optional<BufferMemory> memory = m_server.AddBuffer(m_bufferSize);
    if (!memory) return -1;
    const size_t tiles = static_cast<size_t>(m_tileColumns) * static_cast<size_t>(m_tileRows);
    m_buffers.push_back({*memory, false, std::vector<uint8_t>(tiles, 1)});
    return static_cast<int>(m_buffers.size()) - 1;
}

void FramePresenter::FitBuffers(QSize size) {
    if (size == m_bufferSize) return;
    ReleaseBuffers();
    m_bufferSize = size;
    m_tileColumns = (size.width() + kTileWidth - 1) / kTileWidth;
    m_tileRows = (size.height() + kTileHeight - 1) / kTileHeight;
    m_wholeWindow = true;
}

void FramePresenter::MarkStale(const QRect& rect) {
    const QRect clipped = rect.intersected(QRect(QPoint(), m_bufferSize));
    if (clipped.isEmpty()) return;
    for (Buffer& buffer : m_buffers) {
        for (int row = clipped.top() / kTileHeight; row <= clipped.bottom() / kTileHeight; ++row) {
            uint8_t* tiles = buffer.stale.data() + static_cast<size_t>(row) * m_tileColumns;
            std::fill(tiles + clipped.left() / kTileWidth, tiles + clipped.right() / kTileWidth + 1, 1);
        }
    }
}

// Copies the runs of stale tiles of each tile row from the image into the
// buffer, and marks them fresh.
void FramePresenter::CopyStaleTiles(int index) {
    Buffer& buffer = m_buffers[index];
    const QImage& image = *m_image;
    for (int row = 0; row < m_tileRows; ++row) {
        uint8_t* tiles = buffer.stale.data() + static_cast<size_t>(row) * m_tileColumns;
        for (int column = 0; column < m_tileColumns;) {
            if (!tiles[column]) {
                ++column;
                continue;
            }
            const int first = column;
            while (column < m_tileColumns && tiles[column]) tiles[column++] = 0;
            const int left = first * kTileWidth;
            const size_t bytes = static_cast<size_t>(std::min(column * kTileWidth, image.width()) - left) * kBytesPerPixel;
            const int bottom = std::min((row + 1) * kTileHeight, image.height());
            for (int y = row * kTileHeight; y < bottom; ++y) {
                std::memcpy(buffer.memory.bits + y * buffer.memory.bytesPerLine + left * kBytesPerPixel,
                            image.constScanLine(y) + left * kBytesPerPixel, bytes);
            }
        }
    }
}

} // namespace vantrel

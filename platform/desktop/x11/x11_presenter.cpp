#include "x11_presenter.h"

#include "x11_present_connection.h"
#include "x11_reply.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <thread>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <xcb/present.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace vantrel {
namespace {

constexpr uint8_t kDepth = X11PresentConnection::kDepth;
constexpr uint8_t kBitsPerPixel = X11PresentConnection::kBitsPerPixel;

xcb_connection_t* QtConnection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

} // namespace

struct X11Presenter::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t window = 0;
    uint32_t eventId = 0;
    xcb_xfixes_region_t update = 0;
};

// A pixmap whose pixels live in memory this program shares with the server.
struct X11Presenter::SharedPixmap {
    SharedPixmap(xcb_connection_t* connection, xcb_window_t window, QSize size) : c(connection) {
        const size_t bytes = static_cast<size_t>(size.width()) * size.height() * kBitsPerPixel / 8;
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) return;
        void* mapped = shmat(id, nullptr, 0);
        if (mapped != reinterpret_cast<void*>(-1)) {
            const xcb_shm_seg_t seg = xcb_generate_id(c);
            // Checked, so that the segment is marked for removal only once
            // the server holds it: it then goes when both let go of it.
            if (auto error = Owned(xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 0))); !error) {
                segment = seg;
                memory = static_cast<uchar*>(mapped);
                pixmap = xcb_generate_id(c);
                xcb_shm_create_pixmap(c, pixmap, window, size.width(), size.height(), kDepth, segment, 0);
                // The pages are given to the segment as they are first
                // touched: 8 MB at 1920x1080 is some 2000 faults, which would
                // all fall on the first frame drawn. A thread takes them
                // ahead; touching the memory meanwhile is safe, and what it
                // holds stays as it is.
                populating = std::thread([mapped, bytes] { madvise(mapped, bytes, MADV_POPULATE_WRITE); });
            } else {
                shmdt(mapped);
            }
        }
        shmctl(id, IPC_RMID, nullptr);
    }
    ~SharedPixmap() {
        if (populating.joinable()) populating.join();
        if (pixmap != 0) xcb_free_pixmap(c, pixmap);
        if (segment != 0) xcb_shm_detach(c, segment);
        if (memory != nullptr) shmdt(memory);
        xcb_flush(c);
    }
    SharedPixmap(const SharedPixmap&) = delete;
    SharedPixmap& operator=(const SharedPixmap&) = delete;

    xcb_connection_t* c;
    xcb_shm_seg_t segment = 0;
    xcb_pixmap_t pixmap = 0;
    uchar* memory = nullptr;
    std::thread populating; // faults the memory in ahead of the first frame
};

X11Presenter::X11Presenter(QWidget& window, X11PresentConnection& connection, TimerScheduler& timers)
    : m_connection(connection), m_x(std::make_unique<Connection>()), m_frames(*this, timers) {
    m_x->c = connection.get();
    m_x->window = static_cast<xcb_window_t>(window.winId());
    // Qt made the window on its own connection: once a reply there has come
    // back, the server knows the window, whatever it reads from this one.
    if (xcb_connection_t* qt = QtConnection()) Owned(xcb_get_input_focus_reply(qt, xcb_get_input_focus(qt), nullptr));
    m_x->eventId = xcb_generate_id(m_x->c);
    // Present reports every request on the window to every client that
    // listens, with the listener's own event id; only the serial tells ours.
    // Counting from an id of this client's keeps ours apart from the small
    // counts another client (an observer) would use.
    m_serial = m_x->eventId;
    connection.Listen(m_x->eventId, [this](const xcb_present_generic_event_t& event) { OnEvent(event); });
    xcb_present_select_input(m_x->c, m_x->eventId, m_x->window,
                             XCB_PRESENT_EVENT_MASK_CONFIGURE_NOTIFY | XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY |
                                 XCB_PRESENT_EVENT_MASK_IDLE_NOTIFY);
    m_x->update = xcb_generate_id(m_x->c);
    xcb_xfixes_create_region(m_x->c, m_x->update, 0, nullptr);
    xcb_flush(m_x->c);
}

X11Presenter::~X11Presenter() {
    m_connection.Forget(m_x->eventId);
    m_frames.Stop();
    xcb_xfixes_destroy_region(m_x->c, m_x->update);
    // The selection goes with the window; while the window lives, its
    // events stop here.
    xcb_present_select_input(m_x->c, m_x->eventId, m_x->window, XCB_PRESENT_EVENT_MASK_NO_EVENT);
    xcb_flush(m_x->c);
}

void X11Presenter::ReleaseBuffers() { m_buffers.clear(); }

std::optional<BufferMemory> X11Presenter::AddBuffer(QSize size) {
    auto buffer = std::make_unique<SharedPixmap>(m_x->c, m_x->window, size);
    if (buffer->memory == nullptr) return std::nullopt;
    const BufferMemory memory{buffer->memory, static_cast<qsizetype>(size.width()) * kBitsPerPixel / 8};
    m_buffers.push_back(std::move(buffer));
    // Making it waited for a reply, which may have brought events along.
    m_connection.ReadQueuedLater();
    return memory;
}

QImage X11Presenter::SurfaceImage(QSize size) {
    auto pixmap = std::make_shared<SharedPixmap>(m_x->c, m_x->window, size);
    if (pixmap->memory == nullptr) return {};
    // Making it waited for a reply, which may have brought events along.
    m_connection.ReadQueuedLater();
    m_surface = pixmap;
    m_surfacePixmap = pixmap->pixmap;
    // The image keeps the pixmap, and with it the memory, for as long as
    // the image lives.
    auto* kept = new std::shared_ptr<SharedPixmap>(std::move(pixmap));
    return QImage((*kept)->memory, size.width(), size.height(), size.width() * kBitsPerPixel / 8, QImage::Format_RGB32,
                  [](void* info) { delete static_cast<std::shared_ptr<SharedPixmap>*>(info); }, kept);
}

bool X11Presenter::SharesImage(const QImage& image) const {
    const auto surface = m_surface.lock();
    return surface && surface->memory == image.constBits();
}

// Only an image SharesImage has found is presented so: it keeps the pixmap.
void X11Presenter::PresentImage(const QImage&, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) {
    m_heldImage = m_surfacePixmap;
    PresentPixmap(m_heldImage, update, targetMsc, atOnce);
}

void X11Presenter::PresentBuffer(int index, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) {
    PresentPixmap(m_buffers[index]->pixmap, update, targetMsc, atOnce);
}

void X11Presenter::PresentPixmap(xcb_pixmap_t pixmap, const std::vector<QRect>& update, uint64_t targetMsc,
                                 bool atOnce) {
    m_rectangles.resize(update.size() * sizeof(xcb_rectangle_t));
    auto* rectangles = reinterpret_cast<xcb_rectangle_t*>(m_rectangles.data());
    for (size_t i = 0; i < update.size(); ++i) {
        rectangles[i] = {static_cast<int16_t>(update[i].x()), static_cast<int16_t>(update[i].y()),
                         static_cast<uint16_t>(update[i].width()), static_cast<uint16_t>(update[i].height())};
    }
    xcb_xfixes_set_region(m_x->c, m_x->update, static_cast<uint32_t>(update.size()), rectangles);
    // Copied into the window at the target refresh, never torn across two;
    // a target that has passed waits for the next refresh. A frame shown at
    // once (the first after an expose, over the window's background) is
    // copied as soon as the server has it, whatever the refresh.
    const uint32_t options = XCB_PRESENT_OPTION_COPY | (atOnce ? XCB_PRESENT_OPTION_ASYNC : 0);
    xcb_present_pixmap(m_x->c, m_x->window, pixmap, ++m_serial, XCB_NONE, m_x->update, 0, 0, XCB_NONE, XCB_NONE,
                       XCB_NONE, options, targetMsc, 0, 0, 0, nullptr);
    xcb_flush(m_x->c);
}

void X11Presenter::NotifyAt(uint64_t targetMsc) {
    xcb_present_notify_msc(m_x->c, m_x->window, ++m_serial, targetMsc, 0, 0);
    xcb_flush(m_x->c);
}

void X11Presenter::OnEvent(const xcb_present_generic_event_t& event) {
    switch (event.evtype) {
    case XCB_PRESENT_EVENT_COMPLETE_NOTIFY: {
        const auto& complete = reinterpret_cast<const xcb_present_complete_notify_event_t&>(event);
        if (complete.serial != m_serial) return; // another client's request
        m_frames.OnRefresh(complete.msc, complete.ust, complete.mode == XCB_PRESENT_COMPLETE_MODE_SKIP);
        return;
    }
    case XCB_PRESENT_EVENT_IDLE_NOTIFY: {
        const auto& idle = reinterpret_cast<const xcb_present_idle_notify_event_t&>(event);
        if (idle.pixmap == m_heldImage && m_heldImage != XCB_NONE) {
            m_heldImage = XCB_NONE;
            m_frames.OnImageIdle();
            return;
        }
        for (size_t index = 0; index < m_buffers.size(); ++index) {
            if (m_buffers[index]->pixmap == idle.pixmap) m_frames.OnIdle(static_cast<int>(index));
        }
        return;
    }
    case XCB_PRESENT_EVENT_CONFIGURE_NOTIFY: {
        const auto& configure = reinterpret_cast<const xcb_present_configure_notify_event_t&>(event);
        m_frames.OnWindowResized(QSize(configure.width, configure.height));
        return;
    }
    default:
        return;
    }
}

} // namespace vantrel

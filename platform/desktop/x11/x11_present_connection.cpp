#include "x11_present_connection.h"

#include "x11_reply.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/present.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace vantrel {
namespace {

// Whether 24-bit pixels travel as 32 bits with the blue byte first, as
// the surfaces' images hold them in memory on this machine.
bool ScreenMatchesImages(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (xcb_setup_roots_iterator(setup).data->root_depth != X11PresentConnection::kDepth) return false;
    const bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    if ((setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) != littleEndian) return false;
    for (auto format = xcb_setup_pixmap_formats_iterator(setup); format.rem != 0; xcb_format_next(&format)) {
        if (format.data->depth == X11PresentConnection::kDepth) {
            return format.data->bits_per_pixel == X11PresentConnection::kBitsPerPixel;
        }
    }
    return false;
}

// Whether the server reads the memory this program shares: a pixel written
// into a segment reads back from a pixmap the server made on it. A server
// elsewhere (a forwarded display) or in another IPC namespace (a sandbox)
// still lists MIT-SHM; it refuses the segment, or finds a different one
// under the same id.
bool ServerSeesOurMemory(xcb_connection_t* connection) {
    constexpr uint32_t kMarker = 0x00A5C31E;
    const int id = shmget(IPC_PRIVATE, sizeof kMarker, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* mapped = shmat(id, nullptr, 0);
    bool seen = false;
    if (mapped != reinterpret_cast<void*>(-1)) {
        std::memcpy(mapped, &kMarker, sizeof kMarker);
        const xcb_shm_seg_t segment = xcb_generate_id(connection);
        if (!Owned(xcb_request_check(connection, xcb_shm_attach_checked(connection, segment, id, 0)))) {
            const xcb_pixmap_t pixmap = xcb_generate_id(connection);
            const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
            xcb_shm_create_pixmap(connection, pixmap, root, 1, 1, X11PresentConnection::kDepth, segment, 0);
            const auto pixel = Owned(xcb_get_image_reply(
                connection, xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0, 1, 1, ~0u), nullptr));
            uint32_t read = 0;
            if (pixel && xcb_get_image_data_length(pixel.get()) >= static_cast<int>(sizeof read)) {
                std::memcpy(&read, xcb_get_image_data(pixel.get()), sizeof read);
                seen = (read & 0xFFFFFF) == kMarker;
            }
            xcb_free_pixmap(connection, pixmap);
            xcb_shm_detach(connection, segment);
        }
        shmdt(mapped);
    }
    shmctl(id, IPC_RMID, nullptr);
    return seen;
}

bool OffersPresenting(xcb_connection_t* connection) {
    for (xcb_extension_t* extension : {&xcb_present_id, &xcb_shm_id, &xcb_xfixes_id}) {
        const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection, extension);
        if (data == nullptr || !data->present) return false;
    }
    // The three versions are asked together: one round trip.
    const auto presentCookie =
        xcb_present_query_version(connection, XCB_PRESENT_MAJOR_VERSION, XCB_PRESENT_MINOR_VERSION);
    const auto shmCookie = xcb_shm_query_version(connection);
    const auto xfixesCookie =
        xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION);
    const auto present = Owned(xcb_present_query_version_reply(connection, presentCookie, nullptr));
    const auto shm = Owned(xcb_shm_query_version_reply(connection, shmCookie, nullptr));
    const auto xfixes = Owned(xcb_xfixes_query_version_reply(connection, xfixesCookie, nullptr));
    // Regions came with XFixes 2; pixmaps in shared memory are a choice of
    // the server's.
    return present && shm && xfixes && xfixes->major_version >= 2 && shm->shared_pixmaps != 0 &&
           ScreenMatchesImages(connection) && ServerSeesOurMemory(connection);
}

} // namespace

std::unique_ptr<X11PresentConnection> X11PresentConnection::Open() {
    if (QGuiApplication::platformName() != QLatin1String("xcb") || std::getenv("DISPLAY") == nullptr) return nullptr;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    // The extensions' data is asked for together too.
    for (xcb_extension_t* extension : {&xcb_present_id, &xcb_shm_id, &xcb_xfixes_id}) {
        xcb_prefetch_extension_data(connection, extension);
    }
    if (!OffersPresenting(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const uint8_t opcode = xcb_get_extension_data(connection, &xcb_present_id)->major_opcode;
    return std::unique_ptr<X11PresentConnection>(new X11PresentConnection(connection, opcode));
}

X11PresentConnection::X11PresentConnection(xcb_connection_t* connection, uint8_t presentOpcode)
    : m_connection(connection), m_presentOpcode(presentOpcode),
      m_readable(std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection), QSocketNotifier::Read)) {
    QObject::connect(m_readable.get(), &QSocketNotifier::activated, [this] { ReadEvents(); });
}

X11PresentConnection::~X11PresentConnection() {
    m_readable.reset();
    xcb_disconnect(m_connection);
}

void X11PresentConnection::Listen(uint32_t eventId, Handler handler) {
    m_handlers.emplace_back(eventId, std::move(handler));
}

void X11PresentConnection::Forget(uint32_t eventId) {
    std::erase_if(m_handlers, [eventId](const auto& entry) { return entry.first == eventId; });
}

void X11PresentConnection::ReadQueuedLater() {
    QTimer::singleShot(0, m_readable.get(), [this] { ReadEvents(); });
}

// Errors (a window already destroyed, say) and events of no listener are
// dropped. A handler may start or stop listening, so each event looks its
// handler up afresh and runs a copy of it.
void X11PresentConnection::ReadEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        const auto owned = Owned(event);
        const auto* present = reinterpret_cast<const xcb_present_generic_event_t*>(event);
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC || present->extension != m_presentOpcode) continue;
        const auto listener = std::find_if(m_handlers.begin(), m_handlers.end(),
                                           [present](const auto& entry) { return entry.first == present->event; });
        if (listener == m_handlers.end()) continue;
        const Handler handler = listener->second;
        handler(*present);
    }
    // A connection the server closed stays readable: stop watching it. Qt's
    // own connection fails alike, and Qt ends the program.
    if (xcb_connection_has_error(m_connection) != 0) m_readable->setEnabled(false);
}

} // namespace vantrel

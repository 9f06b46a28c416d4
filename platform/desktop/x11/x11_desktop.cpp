#include "x11_desktop.h"

#include "x11_reply.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstring>
#include <utility>
#include <xcb/randr.h>
#include <xcb/xinerama.h>

namespace vantrel {
namespace {

// The most hints a window manager's _NET_SUPPORTED is read for.
constexpr uint32_t kMostSupported = 1024;

xcb_window_t RootOf(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

std::vector<Monitor> RandrMonitors(xcb_connection_t* connection, xcb_window_t root) {
    const auto* extension = xcb_get_extension_data(connection, &xcb_randr_id);
    if (extension == nullptr || !extension->present) return {};
    const auto version = Owned(xcb_randr_query_version_reply(
        connection, xcb_randr_query_version(connection, XCB_RANDR_MAJOR_VERSION, XCB_RANDR_MINOR_VERSION), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 5)) return {};
    const auto reply = Owned(xcb_randr_get_monitors_reply(connection, xcb_randr_get_monitors(connection, root, 1), nullptr));
    if (!reply) return {};
    std::vector<Monitor> monitors;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0; xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& info = *it.data;
        if (info.width == 0 || info.height == 0) continue;
        monitors.push_back({QRect(info.x, info.y, info.width, info.height), info.name, info.primary != 0});
    }
    return monitors;
}

std::vector<Monitor> XineramaScreens(xcb_connection_t* connection) {
    const auto* extension = xcb_get_extension_data(connection, &xcb_xinerama_id);
    if (extension == nullptr || !extension->present) return {};
    const auto active = Owned(xcb_xinerama_is_active_reply(connection, xcb_xinerama_is_active(connection), nullptr));
    if (!active || active->state == 0) return {};
    const auto reply = Owned(xcb_xinerama_query_screens_reply(connection, xcb_xinerama_query_screens(connection), nullptr));
    if (!reply) return {};
    std::vector<Monitor> monitors;
    const xcb_xinerama_screen_info_t* screens = xcb_xinerama_query_screens_screen_info(reply.get());
    const int count = xcb_xinerama_query_screens_screen_info_length(reply.get());
    // Xinerama names no primary; its first screen is where desktops put
    // their panel and new windows.
    for (int i = 0; i < count; ++i) {
        if (screens[i].width == 0 || screens[i].height == 0) continue;
        monitors.push_back({QRect(screens[i].x_org, screens[i].y_org, screens[i].width, screens[i].height), 0, i == 0});
    }
    return monitors;
}

// The root window's size now; the connection's setup keeps the size it had
// when it was opened.
std::vector<Monitor> RootAsMonitor(xcb_connection_t* connection, xcb_window_t root) {
    const auto size = Owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr));
    if (!size) return {};
    return {Monitor{QRect(0, 0, size->width, size->height), 0, true}};
}

// A property of four 32-bit values, if the window has it.
std::optional<QRect> RectProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name) {
    const auto cookie = xcb_get_property(connection, 0, window, name, XCB_ATOM_CARDINAL, 0, 4);
    const auto reply = Owned(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 16) return std::nullopt;
    uint32_t values[4];
    std::memcpy(values, xcb_get_property_value(reply.get()), sizeof values);
    return QRect(static_cast<int>(values[0]), static_cast<int>(values[1]), static_cast<int>(values[2]),
                 static_cast<int>(values[3]));
}

// Adds `mask` to the events this connection hears of on `window`, keeping
// those Qt asked for on the same connection.
void SelectMore(xcb_connection_t* connection, xcb_window_t window, uint32_t mask) {
    const auto attributes =
        Owned(xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
    const uint32_t events = (attributes ? attributes->your_event_mask : 0) | mask;
    xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &events);
}

} // namespace

std::vector<Monitor> QueryX11Monitors(xcb_connection_t* connection, xcb_window_t root) {
    if (auto monitors = RandrMonitors(connection, root); !monitors.empty()) return monitors;
    if (auto monitors = XineramaScreens(connection); !monitors.empty()) return monitors;
    return RootAsMonitor(connection, root);
}

std::unique_ptr<X11Desktop> X11Desktop::Open() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
    return std::make_unique<X11Desktop>(x11->connection());
}

X11Desktop::X11Desktop(xcb_connection_t* connection)
    : m_connection(connection), m_root(RootOf(connection)), m_atoms(connection) {
    SelectMore(m_connection, m_root, XCB_EVENT_MASK_PROPERTY_CHANGE);
    ReadWindowManager();
    ReadMonitors();
    m_dispatch.setSingleShot(true);
    m_dispatch.setInterval(0);
    QObject::connect(&m_dispatch, &QTimer::timeout, [this] { Dispatch(); });
    FollowQtScreens();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11Desktop::~X11Desktop() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
}

QRect X11Desktop::ChosenMonitor() const {
    const auto monitor = m_monitors.Current();
    return monitor ? monitor->rect : QRect();
}

void X11Desktop::NoteShownAt(const QRect& client) {
    const QRect assumed = ChosenMonitor();
    m_monitors.ChooseFor(client);
    if (ChosenMonitor() != assumed) DesktopChanged(false);
}

void X11Desktop::Watch(xcb_window_t window, Listener& listener) { m_watched.push_back({window, &listener}); }

void X11Desktop::Unwatch(Listener& listener) {
    std::erase_if(m_watched, [&](const Watched& watched) { return watched.listener == &listener; });
}

void X11Desktop::ReadWindowManager() {
    const auto cookie = xcb_get_property(m_connection, 0, m_root, m_atoms.netSupportingWmCheck, XCB_ATOM_WINDOW, 0, 1);
    const auto reply = Owned(xcb_get_property_reply(m_connection, cookie, nullptr));
    m_windowManagerRuns = reply && xcb_get_property_value_length(reply.get()) == 4;
    m_workArea = m_windowManagerRuns ? RectProperty(m_connection, m_root, m_atoms.netWorkArea) : std::nullopt;
    m_announcesFrames = m_windowManagerRuns && Supports(m_atoms.netRequestFrameExtents);
}

bool X11Desktop::Supports(xcb_atom_t hint) const {
    const auto cookie = xcb_get_property(m_connection, 0, m_root, m_atoms.netSupported, XCB_ATOM_ATOM, 0, kMostSupported);
    const auto reply = Owned(xcb_get_property_reply(m_connection, cookie, nullptr));
    if (!reply || reply->format != 32) return false;
    const auto* hints = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const auto* end = hints + xcb_get_property_value_length(reply.get()) / 4;
    return std::find(hints, end, hint) != end;
}

void X11Desktop::ReadMonitors() { m_monitors.Update(QueryX11Monitors(m_connection, m_root)); }

// Qt hears of RandR's changes first and tells of them as screens that come,
// go or change; each is a reason to read the monitors again.
void X11Desktop::FollowQtScreens() {
    auto follow = [this](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, &m_dispatch, [this] { DesktopChanged(true); });
    };
    for (QScreen* screen : QGuiApplication::screens()) follow(screen);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, &m_dispatch, [this, follow](QScreen* screen) {
        follow(screen);
        DesktopChanged(true);
    });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, &m_dispatch, [this] { DesktopChanged(true); });
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &m_dispatch, [this] { DesktopChanged(true); });
}

void X11Desktop::DesktopChanged(bool monitors) {
    m_desktopChanged = true;
    m_monitorsChanged = m_monitorsChanged || monitors;
    m_dispatch.start();
}

bool X11Desktop::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // A window manager's own ConfigureNotify (sent, not made by the server)
    // carries the high bit.
    xcb_window_t window = XCB_WINDOW_NONE;
    switch (event->response_type & ~0x80) {
    case XCB_PROPERTY_NOTIFY: {
        const auto* property = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (property->window == m_root) {
            if (property->atom == m_atoms.netWorkArea || property->atom == m_atoms.netSupportingWmCheck)
                DesktopChanged(false);
            return false;
        }
        if (property->atom != m_atoms.netFrameExtents && property->atom != m_atoms.netWmState) return false;
        window = property->window;
        break;
    }
    case XCB_CONFIGURE_NOTIFY:
        window = reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window;
        break;
    case XCB_MAP_NOTIFY:
        window = reinterpret_cast<const xcb_map_notify_event_t*>(event)->window;
        break;
    default:
        return false;
    }
    for (Watched& watched : m_watched) {
        if (watched.window != window) continue;
        watched.changed = true;
        m_dispatch.start();
    }
    return false;
}

void X11Desktop::Dispatch() {
    const bool desktopChanged = std::exchange(m_desktopChanged, false);
    if (desktopChanged) {
        ReadWindowManager();
        if (std::exchange(m_monitorsChanged, false)) ReadMonitors();
    }
    // A listener told of a changed desktop looks at its window afresh anyway.
    for (Watched& watched : m_watched) {
        const bool windowChanged = std::exchange(watched.changed, false);
        if (desktopChanged) watched.listener->OnDesktopChanged();
        else if (windowChanged) watched.listener->OnWindowChanged();
    }
}

} // namespace vantrel

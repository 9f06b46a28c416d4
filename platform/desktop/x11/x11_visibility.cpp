#include "x11_visibility.h"

#include "x11_reply.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace vantrel {

X11VisibilityWatch::X11VisibilityWatch(QWidget& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    xcb_connection_t* connection = x11->connection();
    m_window = static_cast<uint32_t>(window.winId());
    // Qt does not ask for visibility events; add them to what it asks for.
    const auto cookie = xcb_get_window_attributes(connection, m_window);
    const auto attributes = Owned(xcb_get_window_attributes_reply(connection, cookie, nullptr));
    if (!attributes) return;
    const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    xcb_change_window_attributes(connection, m_window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11VisibilityWatch::~X11VisibilityWatch() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11VisibilityWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_VISIBILITY_NOTIFY) return false;
    const auto* visibility = reinterpret_cast<const xcb_visibility_notify_event_t*>(event);
    if (visibility->window == m_window) m_fullyObscured = visibility->state == XCB_VISIBILITY_FULLY_OBSCURED;
    return false;
}

} // namespace vantrel

#include "x11_blocked_close.h"

#include "form_window.h"
#include "x11_atom.h"

#include <QApplication>
#include <QWidget>
#include <utility>
#include <xcb/xcb.h>

namespace vantrel {
X11BlockedCloseWatch::X11BlockedCloseWatch(std::function<void()> onBlockedClose)
    : m_onBlockedClose(std::move(onBlockedClose)) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    m_protocols = InternX11Atom(x11->connection(), "WM_PROTOCOLS");
    m_deleteWindow = InternX11Atom(x11->connection(), "WM_DELETE_WINDOW");
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11BlockedCloseWatch::~X11BlockedCloseWatch() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11BlockedCloseWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE) return false;
    const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if (client->format != 32 || client->type != m_protocols || client->data.data32[0] != m_deleteWindow) return false;
    const QWidget* modal = QApplication::activeModalWidget();
    const QWidget* target = QWidget::find(static_cast<WId>(client->window));
    if (modal == nullptr || dynamic_cast<const FormWindow*>(target) == nullptr) return false;
    if (m_onBlockedClose) m_onBlockedClose();
    return true;
}

} // namespace vantrel

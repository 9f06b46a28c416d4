#include "x11_blocked_close.h"

#include "form_window.h"

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <xcb/xcb.h>

namespace vantrel {
namespace {

uint32_t InternAtom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<uint32_t>(XCB_ATOM_NONE);
}

} // namespace

X11BlockedCloseWatch::X11BlockedCloseWatch(std::function<void()> onBlockedClose)
    : m_onBlockedClose(std::move(onBlockedClose)) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    m_protocols = InternAtom(x11->connection(), "WM_PROTOCOLS");
    m_deleteWindow = InternAtom(x11->connection(), "WM_DELETE_WINDOW");
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

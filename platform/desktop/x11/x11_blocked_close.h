#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

namespace vantrel {

// Hears the window manager's close request (WM_DELETE_WINDOW: the close
// button, Alt+F4, a pager's close) for one of the program's windows while a
// modal message box blocks it. Qt drops a close request for a blocked window
// before any widget sees it, so without this a user could not close the
// program while a failure report is open. The request is handed to
// `onBlockedClose`, which must not unload anything at once: the handler that
// opened the report is still running. A close for the box itself, and any
// close while no box is open, takes Qt's ordinary way. Without X11 it hears
// nothing.
class X11BlockedCloseWatch final : public QAbstractNativeEventFilter {
public:
    explicit X11BlockedCloseWatch(std::function<void()> onBlockedClose);
    ~X11BlockedCloseWatch() override;
    X11BlockedCloseWatch(const X11BlockedCloseWatch&) = delete;
    X11BlockedCloseWatch& operator=(const X11BlockedCloseWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void()> m_onBlockedClose;
    uint32_t m_protocols = 0;   // the atom WM_PROTOCOLS
    uint32_t m_deleteWindow = 0; // the atom WM_DELETE_WINDOW
};

} // namespace vantrel

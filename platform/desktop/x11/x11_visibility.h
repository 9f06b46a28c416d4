#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>

class QWidget;

namespace vantrel {

// Tells whether an X11 window is fully covered by others, from the
// visibility events the X server sends for it. Without X11, or under a
// compositing window manager (which never reports a window as covered), it
// always answers no.
class X11VisibilityWatch final : public QAbstractNativeEventFilter {
public:
    explicit X11VisibilityWatch(QWidget& window);
    ~X11VisibilityWatch() override;
    X11VisibilityWatch(const X11VisibilityWatch&) = delete;
    X11VisibilityWatch& operator=(const X11VisibilityWatch&) = delete;

    bool FullyObscured() const { return m_fullyObscured; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    uint32_t m_window = 0;
    bool m_fullyObscured = false;
};

} // namespace vantrel

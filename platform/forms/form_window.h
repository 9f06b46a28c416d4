#pragma once

#include "form_host.h"

#include <QPointer>
#include <QWidget>

namespace vantrel {

// The top-level Qt window behind a form. It shows the form's surface and
// does nothing else when it paints; a close request goes to the form, which
// decides whether and when the window goes.
class FormWindow final : public QWidget {
public:
    FormWindow(const WindowSettings& settings, FormHostEvents& events);

    // The form is going: no event reaches it from now on.
    void Detach() { m_events = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    FormHostEvents* m_events;
    QColor m_background;
};

// Makes a FormWindow for each loaded form.
class WidgetHostFactory final : public FormHostFactory {
public:
    std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) override;
};

} // namespace vantrel

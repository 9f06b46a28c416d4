#pragma once

#include "colour.h"
#include "font_properties.h"
#include "form_host.h"
#include "label.h"
#include "surface.h"
#include "text_image.h"
#include "timer_control.h"

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace vantrel {

class Runtime;

// A form's stored design: its window settings, its font and its controls
// in their stored order.
struct FormDesign {
    WindowSettings window;
    FontAttributes font;
    std::vector<std::variant<TimerDesign, LabelDesign>> controls;
};

// A stored design's window: a maximized navy tool window with a close
// button only, kept out of the taskbar, with the client size (in twips, as
// the designer's 96-dots-per-inch screen measured it) it has when not
// maximized, and the platform's default font.
FormDesign MaximizedToolWindowDesign(std::string caption, int clientWidthTwips, int clientHeightTwips);

// What the graphics calls address for a form: its persistent surface, the
// colour that stands for "nothing drawn" on it, and the runtime's monitor.
struct DeviceContext {
    Surface* surface = nullptr;
    OleColour background = 0;
    ServiceMonitor* monitor = nullptr;
};
using HDC = DeviceContext*;

// A form of the forms runtime: a window (through its host) with a
// persistent drawing surface measured in twips, a controls collection and
// the events load, resize, activate and unload, raised one at a time.
// Subclasses override the events they handle.
class Form : private FormHostEvents {
public:
    Form(Runtime& runtime, FormDesign design);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Lifecycle. Load builds the controls and the surface, starts the
    // enabled timers and raises Form_Load. Show loads if needed, maps the
    // window and raises Form_Resize and Form_Activate. Unload raises
    // Form_Unload and, unless it cancels, stops the timers and closes the
    // window; the program ends when no form is loaded.
    void Load();
    void Show();
    void Hide();
    // The unload statement of a handler, a runtime service that can fail.
    void Unload();
    // What closing the window does: the same unload, asked by the user.
    void Close();
    bool Loaded() const { return m_loaded; }
    bool Visible() const;
    void SetVisible(bool visible);

    // The surface, in twips.
    float ScaleWidth() const;
    float ScaleHeight() const;
    HDC hDC();
    void SetDrawWidth(int16_t pixels);
    void SetForeColor(OleColour colour);
    void SetCurrentX(float twips);
    void SetCurrentY(float twips);
    FontProperties& Font();
    void Cls();
    void Circle(float x, float y, float radius);
    void Print(const std::string& text);
    void Refresh();

    // Read back by tests; the program itself only writes them.
    int16_t DrawWidth() const { return m_drawWidth; }
    OleColour ForeColor() const { return m_foreColour; }
    float CurrentX() const { return m_currentX; }
    float CurrentY() const { return m_currentY; }
    const std::string& Caption() const { return m_design.window.caption; }
    OleColour BackColor() const { return m_design.window.backColour; }

    // The controls collection, in stored order.
    const std::vector<Control*>& Controls() const;
    Label& LabelNamed(const std::string& name) const;
    Timer& TimerNamed(const std::string& name) const;

    Surface& DrawingSurface() override;
    double TwipsPerPixel() const;

protected:
    virtual void Form_Load() {}
    virtual void Form_Resize() {}
    virtual void Form_Activate() {}
    virtual void Form_Unload(int& cancel) { (void)cancel; }

    // Names the handler of a timer's event; the timer delivers it from load.
    // A name that no timer of the design has is a programming error: it
    // throws std::invalid_argument at once, before the form is ever loaded.
    void HandleTimer(const std::string& timerName, std::function<void()> handler);

    Runtime& Services() const { return m_runtime; }

private:
    void OnCloseRequested() override;
    void OnClientResized() override;
    bool FitSurfaceToClient(); // true when the surface was remade
    void RaiseResizeAndActivate();
    QSize ClientSizeLogical() const;
    double DevicePixelRatio() const;
    double DeviceScale() const; // device pixels per twip

    Runtime& m_runtime;
    FormDesign m_design;
    std::vector<std::pair<std::string, std::function<void()>>> m_timerHandlers;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::vector<Control*> m_controlOrder; // the same controls, as the collection hands them out
    std::unique_ptr<Surface> m_surface;
    std::unique_ptr<FormHost> m_host;
    DeviceContext m_deviceContext;
    TextImageCache m_textImages;
    FontProperties m_font;
    int16_t m_drawWidth = 1;
    OleColour m_foreColour = 0;
    float m_currentX = 0;
    float m_currentY = 0;
    bool m_loaded = false;
    bool m_visible = false;
    bool m_shown = false; // Show has raised the first resize event
};

} // namespace vantrel

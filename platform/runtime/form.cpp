#include "form.h"

#include "conversions.h"
#include "runtime.h"
#include "runtime_error.h"
#include "twips.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vantrel {
namespace {

template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

// Device pixels for a length in twips, rounded to the nearest pixel.
int64_t ToDevice(double twips, double deviceScale) {
    const double pixels = std::floor(twips * deviceScale + 0.5);
    if (!std::isfinite(pixels) || std::abs(pixels) > 1e15) Raise(errors::kOverflow);
    return static_cast<int64_t>(pixels);
}

} // namespace

FormDesign MaximizedToolWindowDesign(std::string caption, int clientWidthTwips, int clientHeightTwips) {
    FormDesign design;
    design.window.caption = std::move(caption);
    design.window.backColour = kNavy;
    design.window.designClientSize =
        QSize(clientWidthTwips / kDesignTwipsPerPixel, clientHeightTwips / kDesignTwipsPerPixel);
    design.window.maximized = true;
    design.window.toolWindow = true;
    design.window.showInTaskbar = false;
    design.font = FontAttributes{"Sans Serif", 8.25f};
    return design;
}

Form::Form(Runtime& runtime, FormDesign design)
    : m_runtime(runtime), m_design(std::move(design)), m_font(runtime.Monitor(), m_design.font) {}

Form::~Form() = default;

void Form::Load() {
    if (m_loaded) return;
    for (const auto& control : m_design.controls) {
        std::visit(Overloaded{
                       [&](const TimerDesign& timer) { m_controls.push_back(std::make_unique<Timer>(timer)); },
                       [&](const LabelDesign& label) {
                           m_controls.push_back(std::make_unique<Label>(m_runtime.Monitor(), label));
                       },
                   },
                   control);
        m_controlOrder.push_back(m_controls.back().get());
    }
    m_host = m_runtime.Hosts().Create(m_design.window, *this);
    for (Control* control : Controls()) {
        if (Label* label = control->AsLabel(); label != nullptr && label->AutoSize()) {
            label->FitToCaption(m_host->LogicalDpi());
        }
    }
    m_surface = std::make_unique<Surface>(QSize(), 1.0, ToPixel(BackColor()));
    FitSurfaceToClient();
    m_deviceContext = {m_surface.get(), BackColor(), &m_runtime.Monitor()};
    m_loaded = true;
    m_runtime.NoteLoaded(*this);
    for (Control* control : Controls()) {
        auto* timer = dynamic_cast<Timer*>(control);
        if (timer == nullptr) continue;
        for (const auto& [name, handler] : m_timerHandlers) {
            if (name == timer->Name()) timer->SetHandler(handler);
        }
        m_runtime.Timers().Add(*timer);
    }
    Form_Load();
}

void Form::HandleTimer(const std::string& timerName, std::function<void()> handler) {
    const bool designed = std::any_of(m_design.controls.begin(), m_design.controls.end(), [&](const auto& control) {
        const auto* timer = std::get_if<TimerDesign>(&control);
        return timer != nullptr && timer->name == timerName;
    });
    if (!designed) throw std::invalid_argument("no timer named \"" + timerName + "\" in the form's design");
    m_timerHandlers.emplace_back(timerName, std::move(handler));
}

void Form::Show() {
    Load();
    if (!m_loaded || m_visible) return;
    m_host->Show();
    m_visible = true;
    m_shown = true;
    FitSurfaceToClient();
    RaiseResizeAndActivate();
}

void Form::RaiseResizeAndActivate() {
    Form_Resize();
    if (m_loaded && m_visible) Form_Activate();
}

void Form::Hide() {
    if (!m_loaded || !m_visible) return;
    m_host->Hide();
    m_visible = false;
}

bool Form::Visible() const {
    m_runtime.Monitor().Use(Service::PropertyRead);
    return m_visible;
}

void Form::SetVisible(bool visible) {
    m_runtime.Monitor().Use(Service::PropertyWrite);
    if (visible) Show();
    else Hide();
}

void Form::Unload() {
    m_runtime.Monitor().Use(Service::FormUnload);
    Close();
}

void Form::Close() {
    if (!m_loaded) return;
    int cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0 || !m_loaded) return;
    for (Control* control : Controls()) {
        if (auto* timer = dynamic_cast<Timer*>(control)) m_runtime.Timers().Remove(*timer);
    }
    m_loaded = false;
    m_visible = false;
    m_shown = false;
    m_host.reset();
    m_deviceContext = {};
    m_surface.reset();
    m_controlOrder.clear();
    m_controls.clear();
    m_runtime.NoteUnloaded(*this);
}

void Form::OnCloseRequested() { Close(); }

// The surface follows the client area from the moment the window is
// mapped (a window manager may resize it before Show returns); the resize
// event only once Show has raised the first one. A form hidden since then
// still follows the screen (its maximized window takes the size the work
// area offers), and still hears of it.
void Form::OnClientResized() {
    if (!m_loaded) return;
    if (FitSurfaceToClient() && m_shown) Form_Resize();
}

bool Form::FitSurfaceToClient() {
    const QSize logical = ClientSizeLogical();
    const double ratio = DevicePixelRatio();
    const QSize device(static_cast<int>(std::ceil(logical.width() * ratio)),
                       static_cast<int>(std::ceil(logical.height() * ratio)));
    if (m_surface->Width() == device.width() && m_surface->Height() == device.height() &&
        m_surface->DevicePixelRatio() == ratio) {
        return false;
    }
    // What was drawn stays where it was, as far as the new size reaches;
    // the rest is background.
    const QRgb background = ToPixel(BackColor());
    auto resized =
        std::make_unique<Surface>(device, ratio, background, m_host ? m_host->SurfaceImage(device) : QImage());
    if (m_surface->DevicePixelRatio() == ratio && m_surface->PlainColour() != background) {
        resized->CopyFrom(*m_surface, device.width(), device.height(), background);
    }
    m_surface = std::move(resized);
    m_deviceContext.surface = m_surface.get();
    return true;
}

QSize Form::ClientSizeLogical() const {
    return m_host ? m_host->ClientSize() : m_design.window.designClientSize;
}

double Form::DevicePixelRatio() const { return m_host ? m_host->DevicePixelRatio() : 1.0; }

double Form::TwipsPerPixel() const { return kTwipsPerInch / (m_host ? m_host->LogicalDpi() : kDesignDotsPerInch); }

double Form::DeviceScale() const { return DevicePixelRatio() / TwipsPerPixel(); }

float Form::ScaleWidth() const {
    m_runtime.Monitor().Use(Service::PropertyRead);
    return static_cast<float>(ClientSizeLogical().width() * TwipsPerPixel());
}

float Form::ScaleHeight() const {
    m_runtime.Monitor().Use(Service::PropertyRead);
    return static_cast<float>(ClientSizeLogical().height() * TwipsPerPixel());
}

HDC Form::hDC() {
    m_runtime.Monitor().Use(Service::PropertyRead);
    if (!m_loaded) Raise(errors::kObjectRequired);
    return &m_deviceContext;
}

void Form::SetDrawWidth(int16_t pixels) {
    m_runtime.Monitor().Use(Service::PropertyWrite);
    if (pixels < 1) Raise(errors::kInvalidPropertyValue);
    m_drawWidth = pixels;
}

void Form::SetForeColor(OleColour colour) {
    m_runtime.Monitor().Use(Service::PropertyWrite);
    m_foreColour = colour;
}

void Form::SetCurrentX(float twips) {
    m_runtime.Monitor().Use(Service::PropertyWrite);
    m_currentX = twips;
}

void Form::SetCurrentY(float twips) {
    m_runtime.Monitor().Use(Service::PropertyWrite);
    m_currentY = twips;
}

FontProperties& Form::Font() {
    m_runtime.Monitor().Use(Service::PropertyRead);
    return m_font;
}

void Form::Cls() {
    m_runtime.Monitor().Use(Service::Clear);
    if (!m_loaded) Raise(errors::kObjectRequired);
    m_surface->Fill(ToPixel(BackColor()));
    m_currentX = 0;
    m_currentY = 0;
}

void Form::Circle(float x, float y, float radius) {
    m_runtime.Monitor().Use(Service::Circle);
    if (!m_loaded) Raise(errors::kObjectRequired);
    if (!(radius >= 0) || !std::isfinite(radius)) Raise(errors::kInvalidCall);
    const double scale = DeviceScale();
    const double centreX = std::floor(static_cast<double>(x) * scale);
    const double centreY = std::floor(static_cast<double>(y) * scale);
    if (!std::isfinite(centreX) || !std::isfinite(centreY) || std::abs(centreX) > 1e9 || std::abs(centreY) > 1e9) {
        Raise(errors::kOverflow);
    }
    // DrawWidth counts device pixels; the centre and radius are in twips.
    const CircleOutline outline{static_cast<int>(centreX), static_cast<int>(centreY), radius * scale, m_drawWidth};
    m_surface->StrokeCircle(outline, ToPixel(m_foreColour));
}

void Form::Print(const std::string& text) {
    m_runtime.Monitor().Use(Service::Print);
    if (!m_loaded) Raise(errors::kObjectRequired);
    const double scale = DeviceScale();
    const int64_t x = ToDevice(m_currentX, scale);
    const int64_t y = ToDevice(m_currentY, scale);
    if (x < -(int64_t{1} << 30) || x > (int64_t{1} << 30) || y < -(int64_t{1} << 30) || y > (int64_t{1} << 30)) {
        return; // far outside any surface: nothing of the text can show
    }
    const double dotsPerInch = (m_host ? m_host->LogicalDpi() : kDesignDotsPerInch) * DevicePixelRatio();
    // A line well above or below the surface is not even rendered: the roll
    // starts below the window, and the first frame need not wait for lines
    // that come into view seconds later. No glyph reaches more than its em
    // above the line's top, nor four below it.
    const double emPixels = m_font.Attributes().size * dotsPerInch / kPointsPerInch;
    if (static_cast<double>(y) - emPixels > m_surface->Height() || static_cast<double>(y) + 4 * emPixels < 0) return;
    const TextImage& glyphs = m_textImages.Get(text, m_font.Attributes(), m_foreColour, dotsPerInch);
    m_surface->DrawText(glyphs, static_cast<int>(x), static_cast<int>(y));
}

void Form::Refresh() {
    m_runtime.Monitor().Use(Service::Refresh);
    if (!m_loaded) Raise(errors::kObjectRequired);
    const std::vector<QRect>& damage = m_surface->TakeDamage();
    if (m_visible && !damage.empty()) m_host->Present(damage);
    if (m_surface->TakeShownTextsChange()) m_host->ShownTextsChanged();
}

const std::vector<Control*>& Form::Controls() const { return m_controlOrder; }

Label& Form::LabelNamed(const std::string& name) const {
    for (const auto& control : m_controls) {
        if (control->Name() == name && control->AsLabel() != nullptr) return *control->AsLabel();
    }
    Raise(errors::kObjectRequired);
}

Timer& Form::TimerNamed(const std::string& name) const {
    for (const auto& control : m_controls) {
        if (control->Name() == name) {
            if (auto* timer = dynamic_cast<Timer*>(control.get())) return *timer;
        }
    }
    Raise(errors::kObjectRequired);
}

Surface& Form::DrawingSurface() { return *m_surface; }

} // namespace vantrel

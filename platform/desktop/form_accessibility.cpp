#include "form_accessibility.h"

#include "form_window.h"
#include "surface.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace vantrel {
namespace {

class FormWindowAccessible;

// One line of text a window shows. It holds only its text: where the line
// is now, the window's interface reads from the surface.
class LineAccessible final : public QAccessibleInterface {
public:
    LineAccessible(const FormWindowAccessible& window, const std::string& text)
        : m_window(window), m_text(QString::fromStdString(text)) {}

    bool isValid() const override { return true; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text kind) const override { return kind == QAccessible::Name ? m_text : QString(); }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.readOnly = true;
        return state;
    }

private:
    const FormWindowAccessible& m_window;
    QString m_text;
};

// A form's window: a frame named by its caption, whose children are the
// lines its surface shows, top to bottom. The children follow the surface
// whenever they are asked for; a line that stays on screen keeps its
// interface.
class FormWindowAccessible final : public QAccessibleWidget {
public:
    explicit FormWindowAccessible(FormWindow* window) : QAccessibleWidget(window, QAccessible::Window) {}
    ~FormWindowAccessible() override {
        for (const Line& line : m_lines) QAccessible::deleteAccessibleInterface(line.id);
    }

    int childCount() const override {
        Follow(false);
        return static_cast<int>(m_lines.size());
    }
    QAccessibleInterface* child(int index) const override {
        Follow(false);
        return index >= 0 && static_cast<size_t>(index) < m_lines.size() ? m_lines[static_cast<size_t>(index)].line
                                                                          : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto found = std::ranges::find(m_lines, child, &Line::line);
        return found == m_lines.end() ? -1 : static_cast<int>(found - m_lines.begin());
    }

    // Brings the children in line with the surface; with `notify`, tells
    // the screen reader of each line that went and of each that came.
    void Follow(bool notify) const;
    // Where a child is on the screen now, in logical pixels.
    QRect LineRect(const QAccessibleInterface* line) const;

private:
    struct Line {
        std::string text;
        LineAccessible* line;
        QAccessible::Id id;
    };
    // The lines the surface shows, top to bottom, as they are read.
    std::vector<const Surface::ShownText*> Shown() const {
        const auto* window = static_cast<const FormWindow*>(widget()); // null once the window has gone
        const Surface* surface = window != nullptr ? window->DrawingSurface() : nullptr;
        std::vector<const Surface::ShownText*> shown;
        if (surface == nullptr) return shown;
        for (const Surface::ShownText& text : surface->ShownTexts()) shown.push_back(&text);
        std::ranges::stable_sort(shown, {}, [](const Surface::ShownText* text) { return text->rect.top(); });
        return shown;
    }
    static void Notify(LineAccessible* line, QAccessible::Event event) {
        QAccessibleEvent change(line, event);
        QAccessible::updateAccessibility(&change);
    }

    mutable std::vector<Line> m_lines; // what the screen reader was last given
};

void FormWindowAccessible::Follow(bool notify) const {
    const std::vector<const Surface::ShownText*> shown = Shown();
    auto sameText = [](const Surface::ShownText* shownText, const Line& line) { return shownText->text == line.text; };
    if (std::ranges::equal(shown, m_lines, sameText)) return;
    std::vector<Line> next;
    std::vector<bool> kept(m_lines.size(), false);
    std::vector<LineAccessible*> came;
    for (const Surface::ShownText* shownText : shown) {
        size_t old = 0;
        while (old < m_lines.size() && (kept[old] || m_lines[old].text != shownText->text)) ++old;
        if (old < m_lines.size()) {
            kept[old] = true;
            next.push_back(m_lines[old]);
            continue;
        }
        auto* line = new LineAccessible(*this, shownText->text);
        next.push_back({shownText->text, line, QAccessible::registerAccessibleInterface(line)});
        came.push_back(line);
    }
    for (size_t old = 0; old < m_lines.size(); ++old) {
        if (kept[old]) continue;
        if (notify) Notify(m_lines[old].line, QAccessible::ObjectDestroyed);
        QAccessible::deleteAccessibleInterface(m_lines[old].id);
    }
    m_lines = std::move(next);
    if (notify) {
        for (LineAccessible* line : came) Notify(line, QAccessible::ObjectCreated);
    }
}

QRect FormWindowAccessible::LineRect(const QAccessibleInterface* line) const {
    const int index = indexOfChild(line);
    const std::vector<const Surface::ShownText*> shown = Shown();
    if (index < 0 || static_cast<size_t>(index) >= shown.size()) return {};
    const Surface::ShownText& text = *shown[static_cast<size_t>(index)];
    if (text.text != m_lines[static_cast<size_t>(index)].text) return {};
    const double ratio = static_cast<const FormWindow*>(widget())->DrawingSurface()->DevicePixelRatio();
    const QRectF logical(QPointF(text.rect.topLeft()) / ratio, QSizeF(text.rect.size()) / ratio);
    return logical.toAlignedRect().translated(widget()->mapToGlobal(QPoint(0, 0)));
}

QWindow* LineAccessible::window() const { return m_window.window(); }
QAccessibleInterface* LineAccessible::parent() const { return const_cast<FormWindowAccessible*>(&m_window); }
QRect LineAccessible::rect() const { return m_window.LineRect(this); }

// The application with only its windows on screen as children: Qt's own
// lists every top-level window, hidden ones too.
class ApplicationAccessible final : public QAccessibleApplication {
public:
    int childCount() const override { return static_cast<int>(WindowsOnScreen().size()); }
    QAccessibleInterface* child(int index) const override {
        const std::vector<QAccessibleInterface*> windows = WindowsOnScreen();
        return index >= 0 && static_cast<size_t>(index) < windows.size() ? windows[static_cast<size_t>(index)]
                                                                           : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const std::vector<QAccessibleInterface*> windows = WindowsOnScreen();
        const auto found = std::ranges::find(windows, child);
        return found == windows.end() ? -1 : static_cast<int>(found - windows.begin());
    }

private:
    static std::vector<QAccessibleInterface*> WindowsOnScreen() {
        std::vector<QAccessibleInterface*> windows;
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (!window->isVisible() || window->type() == Qt::Popup || window->type() == Qt::Desktop) continue;
            QAccessibleInterface* root = window->accessibleRoot();
            if (root != nullptr && root->object() != nullptr) windows.push_back(root);
        }
        return windows;
    }
};

// Qt asks the factories for each class of an object, most derived first. A
// form's window has no class of Qt's own above QWidget, so it is told by
// its C++ type; Qt first asks from the window's constructor, once the type
// is FormWindow's.
QAccessibleInterface* FormAccessibleFactory(const QString&, QObject* object) {
    if (object != nullptr && object == QCoreApplication::instance()) return new ApplicationAccessible;
    if (auto* window = dynamic_cast<FormWindow*>(object)) return new FormWindowAccessible(window);
    return nullptr;
}

} // namespace

FormAccessibility::FormAccessibility() { QAccessible::installFactory(FormAccessibleFactory); }

FormAccessibility::~FormAccessibility() { QAccessible::removeFactory(FormAccessibleFactory); }

void FormAccessibility::NoteShownTextsChanged(FormWindow& window) {
    if (!QAccessible::isActive()) return;
    if (auto* accessible = dynamic_cast<FormWindowAccessible*>(QAccessible::queryAccessibleInterface(&window))) {
        accessible->Follow(true);
    }
}

} // namespace vantrel

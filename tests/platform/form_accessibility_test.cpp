// What a screen reader is given of the forms' real windows (Qt's offscreen
// platform here; the AT-SPI bus itself is the desktop test's).

#include "form.h"
#include "form_window.h"
#include "qt_message_box.h"
#include "test_support.h"

#include <QAccessible>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace vantrel {
namespace {

FormDesign WindowDesign(const std::string& caption) {
    FormDesign design;
    design.window.caption = caption;
    design.window.designClientSize = QSize(240, 120);
    design.font = FontAttributes{"Arial", 12, true};
    return design;
}

std::vector<std::pair<QAccessible::Role, QString>> Children(QAccessibleInterface* parent) {
    std::vector<std::pair<QAccessible::Role, QString>> children;
    for (int index = 0; index < parent->childCount(); ++index) {
        QAccessibleInterface* child = parent->child(index);
        children.emplace_back(child->role(), child->text(QAccessible::Name));
        EXPECT_EQ(parent->indexOfChild(child), index);
        EXPECT_EQ(child->parent(), parent);
    }
    return children;
}

void PrintAt(Form& form, float top, const std::string& text) {
    form.SetCurrentX(300);
    form.SetCurrentY(top);
    form.Print(text);
}

// The application's one top-level object is the form on screen, a window
// named by its caption; its children are the lines on screen, static texts
// named by their text, kept while they stay and placed where they are.
TEST(FormAccessibility, TheWindowOnScreenHoldsTheLinesItShows) {
    testing::EnsureApplication();
    ManualClock clock;
    RecordingMessageBox messages;
    WidgetHostFactory hosts; // makes the windows' interfaces from now on
    Runtime runtime(Runtime::Services{&clock, &messages, &hosts, nullptr, "/opt/vantrel"});
    Form hidden(runtime, WindowDesign("Scene")), shown(runtime, WindowDesign("Credits"));
    hidden.Show();
    hidden.Hide();
    shown.Show();
    QAccessibleInterface* application = QAccessible::queryAccessibleInterface(QCoreApplication::instance());
    ASSERT_NE(application, nullptr);
    ASSERT_EQ(Children(application), (std::vector{std::pair{QAccessible::Window, QString("Credits")}}));
    QAccessibleInterface* window = application->child(0);
    EXPECT_EQ(window->childCount(), 0);

    PrintAt(shown, 150, "Orsolak");
    PrintAt(shown, 900, "Programming");
    PrintAt(shown, 3000, "Below");
    shown.Refresh();
    EXPECT_EQ(Children(window), (std::vector{std::pair{QAccessible::StaticText, QString("Orsolak")},
                                             {QAccessible::StaticText, QString("Programming")}}));
    QAccessibleInterface* programming = window->child(1);
    const QRect onScreen = window->rect();
    EXPECT_TRUE(onScreen.contains(programming->rect())) << programming->rect().y();
    EXPECT_GE(programming->rect().top() - onScreen.top(), 60 - 2); // 900 twips down, less the ink's offset
    EXPECT_EQ(window->childAt(programming->rect().center().x(), programming->rect().center().y()), programming);

    shown.Cls();
    PrintAt(shown, 600, "Programming");
    shown.Refresh();
    EXPECT_EQ(Children(window), (std::vector{std::pair{QAccessible::StaticText, QString("Programming")}}));
    EXPECT_EQ(window->child(0), programming) << "a line that stays keeps its interface";

    // A failure report: Qt's critical box, its lines broken where the
    // prompt's CR LF are, beside the form on screen.
    QString text, title;
    std::vector<std::pair<QAccessible::Role, QString>> beside;
    QTimer::singleShot(0, [&] {
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) box = box ?: qobject_cast<QMessageBox*>(widget);
        if (!box) return ADD_FAILURE() << "no box";
        EXPECT_EQ(QApplication::activeModalWidget(), box);
        EXPECT_TRUE(box->icon() == QMessageBox::Critical && box->standardButtons() == QMessageBox::Ok);
        text = box->text(), title = box->windowTitle(), beside = Children(application);
        box->accept();
    });
    QtMessageBox().ShowCritical("Unexpected error in procedure: Form_Load\r\nError #53: File not found", "Credits");
    EXPECT_EQ(text, "Unexpected error in procedure: Form_Load\nError #53: File not found");
    EXPECT_EQ(title, "Credits");
    EXPECT_EQ(beside.size(), 2u);
    EXPECT_EQ(std::ranges::count(beside, std::pair{QAccessible::Window, QString("Credits")}), 1);
    shown.Close();
    hidden.Close();
    EXPECT_EQ(application->childCount(), 0);
}

} // namespace
} // namespace vantrel

// The yardstick for the program's first frame in scripts/bench-desktop: the
// least a Qt 6 program does to put a maximized navy window on the screen.
// The probe times it from exec to navy on screen, as it times the program
// from exec to rings on screen, so the ratio of the two is what the
// program's own work costs on top of Qt's and the window manager's.
// SIGTERM ends it.

#include <QApplication>
#include <QPalette>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Plain Qt window"));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 128));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.showMaximized();
    return QApplication::exec();
}

#include "qt_message_box.h"

#include <QMessageBox>

namespace vantrel {

void QtMessageBox::ShowCritical(const std::string& prompt, const std::string& title) {
    // The prompt separates its lines with CR LF; the label breaks on LF and
    // would draw the CR as a glyph.
    QString text = QString::fromStdString(prompt);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(title), text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace vantrel

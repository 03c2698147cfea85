#include "ui/dialogs/user_messages.h"

#include <QMessageBox>

namespace tavero::ui {

void MessageBoxes::show(const QString& text, bool warning) {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information,
                    QString::fromLatin1(kMessageCaption), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool MessageBoxes::askYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kMessageCaption), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace tavero::ui

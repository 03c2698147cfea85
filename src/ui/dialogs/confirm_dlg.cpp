#include "ui/dialogs/confirm_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tavero::ui {

namespace {

// The dialog's template is laid out in dialog units; at the program's 9-point font one unit is
// about 7/4 pixels across and 15/8 pixels down.
QRect fromDialogUnits(int x, int y, int w, int h) {
    return {x * 7 / 4, y * 15 / 8, w * 7 / 4, h * 15 / 8};
}

QString translatedText(const Translator& translate, std::string_view english) {
    return toQString(translate ? translate(english) : std::string(english));
}

} // namespace

CConfirmDlg::CConfirmDlg(QWidget* parent, const Translator& translate) : QDialog(parent) {
    setWindowTitle(translatedText(translate, "Confirm Password"));
    setFixedSize(fromDialogUnits(0, 0, 186, 66).size());

    auto* nameLabel = new QLabel(translatedText(translate, "UserName"), this);
    nameLabel->setGeometry(fromDialogUnits(22, 9, 40, 8).adjusted(0, -3, 0, 3));
    m_name = new QLineEdit(this);
    m_name->setGeometry(fromDialogUnits(63, 7, 90, 14));
    m_name->setMaxLength(kMaxChars);

    auto* passwordLabel = new QLabel(translatedText(translate, "Password"), this);
    passwordLabel->setGeometry(fromDialogUnits(22, 25, 40, 8).adjusted(0, -3, 0, 3));
    m_password = new QLineEdit(this);
    m_password->setGeometry(fromDialogUnits(63, 23, 90, 14));
    m_password->setMaxLength(kMaxChars);
    m_password->setEchoMode(QLineEdit::Password);

    m_ok = new QPushButton(translatedText(translate, "OK"), this);
    m_ok->setGeometry(fromDialogUnits(38, 45, 50, 14));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(translatedText(translate, "Cancel"), this);
    m_cancel->setGeometry(fromDialogUnits(97, 45, 50, 14));
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_name->setFocus();
}

std::string CConfirmDlg::userName() const {
    return m_name->text().toStdString();
}

std::string CConfirmDlg::password() const {
    return m_password->text().toStdString();
}

DialogPrompts::DialogPrompts(QWidget* parent, Translator translate, UserMessages& messages)
    : m_parent(parent), m_translate(std::move(translate)), m_messages(messages) {}

bool DialogPrompts::AskLogin(std::string& name, std::string& password) {
    CConfirmDlg dialog(m_parent, m_translate);
    m_open = &dialog;
    const int result = dialog.exec();
    m_open = nullptr;
    if (result != QDialog::Accepted) {
        return false;
    }
    name = dialog.userName();
    password = dialog.password();
    return true;
}

bool DialogPrompts::AskYesNo(std::string_view englishQuestion, std::string_view detail) {
    QString text = translatedText(m_translate, englishQuestion);
    if (!detail.empty()) {
        text += QLatin1Char(' ') + toQString(detail);
    }
    return m_messages.askYesNo(text);
}

void DialogPrompts::ShowMessage(std::string_view englishText) {
    m_messages.show(translatedText(m_translate, englishText), true);
}

} // namespace tavero::ui

// The login dialog asked before a card with users is played: a user name and a masked password,
// at most 15 characters each, both starting empty, with OK and Cancel. DialogPrompts puts it
// behind the card tools' prompt interface, together with the window's message boxes.
//
// Thread: UI thread only; the dialog is modal.
#pragma once

#include "cardtools/card_messages.h"
#include "ui/dialogs/user_messages.h"

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QPushButton;

namespace tavero::ui {

class CConfirmDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMaxChars = 15;

    CConfirmDlg(QWidget* parent, const Translator& translate);

    [[nodiscard]] std::string userName() const;
    [[nodiscard]] std::string password() const;
    [[nodiscard]] QLineEdit* nameEdit() const { return m_name; }
    [[nodiscard]] QLineEdit* passwordEdit() const { return m_password; }
    [[nodiscard]] QPushButton* okButton() const { return m_ok; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }

private:
    QLineEdit* m_name;
    QLineEdit* m_password;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// The card tools' questions as the window asks them: the login dialog, Yes/No boxes and
// message boxes, all translated.
class DialogPrompts final : public cardtools::CardToolPrompts {
public:
    DialogPrompts(QWidget* parent, Translator translate, UserMessages& messages);

    [[nodiscard]] bool AskLogin(std::string& name, std::string& password) override;
    [[nodiscard]] bool AskYesNo(std::string_view englishQuestion, std::string_view detail) override;
    void ShowMessage(std::string_view englishText) override;

    // The login dialog while it is open (tests answer it); null otherwise.
    [[nodiscard]] CConfirmDlg* openLogin() const { return m_open; }

private:
    QPointer<QWidget> m_parent;
    Translator m_translate;
    UserMessages& m_messages;
    QPointer<CConfirmDlg> m_open;
};

} // namespace tavero::ui

// Where the window tells and asks the person at the computer: plain message boxes with the
// application's caption, and Yes/No questions. Texts arrive translated. Tests replace it with one
// that records what was said instead of opening modal boxes.
//
// Thread: UI thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

namespace tavero::ui {

// Caption of every message box of the program.
inline constexpr const char* kMessageCaption = "Tavero2.exe";

// English text to the language in use.
using Translator = std::function<std::string(std::string_view)>;

[[nodiscard]] inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class UserMessages {
public:
    virtual ~UserMessages() = default;
    // A message with one OK button; `warning` picks the warning icon.
    virtual void show(const QString& text, bool warning) = 0;
    // A question with Yes and No, No being the default. True for Yes.
    [[nodiscard]] virtual bool askYesNo(const QString& text) = 0;
};

// Modal message boxes over `parent` (which may go away first).
class MessageBoxes final : public UserMessages {
public:
    explicit MessageBoxes(QWidget* parent) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void show(const QString& text, bool warning) override;
    [[nodiscard]] bool askYesNo(const QString& text) override;

private:
    QWidget* m_parent;
};

} // namespace tavero::ui

#pragma once
// The English texts this module shows to the user. They are the translation keys: the window
// passes them through the application's translation before showing them, the command-line tool
// prints them as they are.
//
// Thread: a sink is called on the thread that runs the operation (the UI thread).

#include <string_view>

namespace tavero::recorderconfig {

inline constexpr std::string_view kMsgWrongPassword =
    "Password Protected! Please input right password...";
inline constexpr std::string_view kMsgHalfSize =
    "Please enter Half-size characters for setting user name and password.";
inline constexpr std::string_view kMsgParkingFrameRate =
    "Parking video frame rate than video frame rate";
inline constexpr std::string_view kMsgSaveSectorFailed = "Save Disck Configuration Failed";
inline constexpr std::string_view kMsgUiModeChanged =
    "UI has been modified, please restart the program.";
inline constexpr std::string_view kMsgConfigDamaged = "Warning: last config is damaged";
inline constexpr std::string_view kMsgWifiPasswordShort = "Please Enter Min. 8 Digits.";
inline constexpr std::string_view kMsgWifiSaveFail = "Save Fail";

// Where user-facing messages go: a plain message box with one OK button in the window, a line
// on standard error in the command-line tool.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // englishText is one of the keys above (untranslated).
    virtual void ShowMessage(std::string_view englishText) = 0;
};

} // namespace tavero::recorderconfig

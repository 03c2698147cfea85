#pragma once
// The English texts the card tools show. They are translation keys: the window passes them
// through the application's translation, the command-line tool prints them as they are.

#include "recorderconfig/card_users.h"

#include <string_view>

namespace tavero::cardtools {

inline constexpr std::string_view kMsgSelectDevice = "Please Select a Device";
inline constexpr std::string_view kMsgPlayerOnDisk =
    "Error, Player's path is the same as this format disk";
inline constexpr std::string_view kMsgTooLowSpace = "Sorry, this disk is too low space";
inline constexpr std::string_view kMsgCloseFiles = "Please close all file in this disk, and retry";
inline constexpr std::string_view kMsgFormatFinished =
    "Format Finished, Please re-Insert This Disk";
inline constexpr std::string_view kMsgRestoreFinished =
    "Restore Disk Completed, Please re-Insert This Disk";
inline constexpr std::string_view kQuestionFormat = "Format this disk";
inline constexpr std::string_view kQuestionRestore = "Restore this disk";
inline constexpr std::string_view kTitleFormatTool = "Format Tool Dialog";
inline constexpr std::string_view kMsgCopyPlayerToLocal =
    "found Tavero2 data, but disk format error, please copy player to local disk, and retry";
inline constexpr std::string_view kQuestionForceFormat =
    "found Tavero2 data, but disk format error, force format";
inline constexpr std::string_view kMsgReinsert = "Please re-Insert this Disk.";
// Texts of this program's own, for failures the recorder's tools did not report.
inline constexpr std::string_view kMsgSystemDisk = "Error, this disk holds the running system";
inline constexpr std::string_view kMsgCannotOpen = "Cannot open this disk";
inline constexpr std::string_view kMsgWriteFailed =
    "Writing to this disk failed; the disk is not usable by the recorder, please retry";
inline constexpr std::string_view kMsgFileSystemFailed =
    "The disk was wiped, but creating its file system failed";

// Where the card tools ask and tell the person at the computer (UI thread): message boxes and
// the login dialog in the window, the terminal in the command-line tool.
class CardToolPrompts : public recorderconfig::LoginPrompt {
public:
    // A Yes/No question with No as the default: the translated question followed by detail,
    // which is shown untranslated (a device name). True for Yes.
    [[nodiscard]] virtual bool AskYesNo(std::string_view englishQuestion,
                                        std::string_view detail) = 0;
};

} // namespace tavero::cardtools

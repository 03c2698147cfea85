// Copying this program with its language files to a storage card, so that the card's recordings
// can be played on another computer: everything in the program's folder goes into "CarPlayer/"
// on the card (older copies overwritten, the uninstaller left out), the language files into
// "CarPlayer/Language/".
//
// Thread: UI thread (the configuration page's "Copy").
#pragma once

#include <string>
#include <string_view>

namespace tavero::app {

inline constexpr std::string_view kCarPlayerFolder = "CarPlayer/";
inline constexpr std::string_view kCannotCreateDirectoryText = "Cannot Create Directory: ";
// Files of this base name (any extension) are the uninstaller's and are not copied.
inline constexpr std::string_view kUninstallerName = "unins000";

struct CopyPlayerResult {
    std::string target; // card root + "CarPlayer/"
    // Say kCannotCreateDirectoryText (translated) followed by this path; empty: nothing to say.
    std::string cannotCreate;
    bool openTarget = false; // open `target` in the desktop's file browser
    int filesCopied = 0;
    int filesFailed = 0; // single files that could not be copied (not reported)
};

// cardRoot ends in "/". A program that already runs from the target folder copies nothing onto
// itself. Sub-folders of the program folder are not copied.
[[nodiscard]] CopyPlayerResult CopyPlayerToCard(const std::string& programFolder,
                                                const std::string& languageFolder,
                                                const std::string& cardRoot);

// True when the program's folder lies on the card under cardRoot: the card's "Copy" is offered
// only for a program that runs from elsewhere.
[[nodiscard]] bool ProgramRunsFromCard(const std::string& programFolder,
                                       const std::string& cardRoot);

} // namespace tavero::app

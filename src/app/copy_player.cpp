#include "app/copy_player.h"

#include <filesystem>
#include <system_error>

namespace tavero::app {
namespace {

namespace fs = std::filesystem;

// Creates one folder; an existing folder is fine.
bool MakeFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::create_directory(folder, ec)) {
        return true;
    }
    return !ec && fs::is_directory(folder, ec);
}

bool SameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

// Copies every regular file of `from` into `to`, replacing older copies.
void CopyFiles(const fs::path& from, const fs::path& to, bool skipUninstaller,
               CopyPlayerResult& result) {
    if (SameFolder(from, to)) {
        return; // the program runs from the copy: it is already there
    }
    std::error_code ec;
    for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) {
            continue;
        }
        const fs::path name = entry.path().filename();
        if (skipUninstaller && name.stem() == kUninstallerName) {
            continue;
        }
        std::error_code copyError;
        fs::copy_file(entry.path(), to / name, fs::copy_options::overwrite_existing, copyError);
        if (copyError) {
            ++result.filesFailed;
        } else {
            ++result.filesCopied;
        }
    }
}

} // namespace

bool ProgramRunsFromCard(const std::string& programFolder, const std::string& cardRoot) {
    if (cardRoot.empty()) {
        return false;
    }
    std::error_code ec;
    const fs::path program = fs::weakly_canonical(programFolder, ec);
    const fs::path root = fs::weakly_canonical(cardRoot, ec);
    if (ec) {
        return false;
    }
    // As folder texts ending in "/", so that "/media/card2/" is not under "/media/card/".
    std::string programText = program.string();
    std::string rootText = root.string();
    for (std::string* text : {&programText, &rootText}) {
        if (text->empty() || text->back() != '/') {
            *text += '/';
        }
    }
    return programText.starts_with(rootText);
}

CopyPlayerResult CopyPlayerToCard(const std::string& programFolder,
                                  const std::string& languageFolder, const std::string& cardRoot) {
    CopyPlayerResult result;
    result.target = cardRoot + std::string(kCarPlayerFolder);
    if (!MakeFolder(result.target)) {
        result.cannotCreate = result.target;
        return result;
    }
    CopyFiles(programFolder, result.target, true, result);
    const std::string languageTarget = result.target + "Language/";
    result.openTarget = true;
    if (!MakeFolder(languageTarget)) {
        result.cannotCreate = languageTarget;
        return result;
    }
    CopyFiles(languageFolder, languageTarget, false, result);
    return result;
}

} // namespace tavero::app

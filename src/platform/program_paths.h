// Where the program's own files live, and the file primitives its settings files need.
//
// Thread: free functions without shared state; callable from any thread. The settings store that
// uses them is owned by the UI thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::platform {

// Folders the program reads and writes its own files in. Every folder ends in "/".
struct ProgramPaths {
    // Folder of the running executable.
    std::string programFolder;
    // Folder for files the program writes ("Config.ini", snapshots): programFolder when the user
    // may write there (a build tree or an unpacked copy), else the per-user configuration folder.
    std::string writableFolder;
    // Folders searched, in order, for read-only data shipped with the program ("Language/"):
    // next to the executable first, then the install's share folder when the executable sits in
    // "<prefix>/bin/".
    std::vector<std::string> dataFolders;
};

// Every path in one folder: what tests and portable copies use.
[[nodiscard]] ProgramPaths programPathsInFolder(std::string folder);

// The decision behind discoverProgramPaths(), without touching the system.
// executablePath: absolute path of the executable; empty when unknown (the current folder is used).
// xdgConfigHome, home: the environment values; empty when unset.
[[nodiscard]] ProgramPaths resolveProgramPaths(std::string_view executablePath,
                                               bool programFolderWritable,
                                               std::string_view xdgConfigHome,
                                               std::string_view home);

// Paths of the running program, from "/proc/self/exe" and the environment.
[[nodiscard]] ProgramPaths discoverProgramPaths();

// Absolute path of the running executable; empty when it cannot be determined.
[[nodiscard]] std::string executablePath();

// True when the current user may create files in `folder`.
[[nodiscard]] bool isWritableFolder(const std::string& folder);

// Value of an environment variable; empty when unset.
[[nodiscard]] std::string environmentValue(const char* name);

// The user's home folder from $HOME, else from the password database; empty when unknown.
[[nodiscard]] std::string homeFolder();

// Appends "/" unless `folder` is empty or already ends in one.
[[nodiscard]] std::string withTrailingSlash(std::string folder);

struct FileError {
    int code = 0;       // errno of the failing call; 0 when the failure has no errno
    std::string detail; // the call that failed and the path it failed on
};

enum class ReadFileStatus { Ok, Missing, Failed, TooLarge };

// Reads a whole file of at most `maxBytes` into `bytes`. Missing means the file does not exist
// (not an error for settings files); Failed and TooLarge fill `error`.
[[nodiscard]] ReadFileStatus readWholeFile(const std::string& path, std::size_t maxBytes,
                                           std::string& bytes, FileError& error);

// Replaces the contents of `path` with `bytes` so that a reader sees either the old or the new
// contents, never a mix or an empty file: the bytes go to a temporary file in the same folder,
// are flushed to the disk, and the temporary file is renamed over `path`. A symbolic link at
// `path` is followed so the link itself survives. The old file's permission bits are kept; a new
// file gets rw-r--r--. On failure the old file is untouched and the temporary file removed.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view bytes,
                                       FileError& error);

// Creates `folder` and its missing parents; an existing folder is success.
[[nodiscard]] bool makeFolders(const std::string& folder, FileError& error);

} // namespace tavero::platform

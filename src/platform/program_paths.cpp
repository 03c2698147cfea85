#include "platform/program_paths.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tavero::platform {

namespace {

constexpr char kAppFolderName[] = "tavero/";
constexpr std::string_view kBinFolder = "/bin/";
constexpr mode_t kNewFileMode = 0644;

// Removes a temporary file on scope exit unless the rename that publishes it succeeded.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : m_path(std::move(path)) {}
    ~TempFileGuard() {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

    void keep() { m_path.clear(); }

private:
    std::string m_path;
};

bool fail(FileError& error, const char* call, const std::string& path) {
    error.code = errno;
    error.detail =
        std::string(call) + " " + path + ": " + std::generic_category().message(error.code);
    return false;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Follows a symbolic link so that renaming over the result replaces the file the link points to,
// not the link. A path that is not a link is returned unchanged.
bool resolveLink(const std::string& path, std::string& target, FileError& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        target = path;
        return true;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return fail(error, "realpath", path);
    }
    target = resolved;
    std::free(resolved);
    return true;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::string withTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

ProgramPaths programPathsInFolder(std::string folder) {
    folder = withTrailingSlash(std::move(folder));
    return ProgramPaths{folder, folder, {folder}};
}

ProgramPaths resolveProgramPaths(std::string_view executablePath, bool programFolderWritable,
                                 std::string_view xdgConfigHome, std::string_view home) {
    ProgramPaths paths;
    const auto slash = executablePath.rfind('/');
    paths.programFolder = slash == std::string_view::npos
                              ? std::string("./")
                              : std::string(executablePath.substr(0, slash + 1));

    // Without a per-user folder to fall back on, writes go to the program folder and fail there;
    // failed settings writes are ignored, and reads still find the shipped files.
    paths.writableFolder = paths.programFolder;
    if (!programFolderWritable) {
        if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/') {
            // A relative $XDG_CONFIG_HOME is invalid and must be ignored.
            paths.writableFolder = withTrailingSlash(std::string(xdgConfigHome)) + kAppFolderName;
        } else if (!home.empty()) {
            paths.writableFolder =
                withTrailingSlash(std::string(home)) + ".config/" + kAppFolderName;
        }
    }

    paths.dataFolders.push_back(paths.programFolder);
    const std::string_view folder = paths.programFolder;
    if (folder.size() > kBinFolder.size() && folder.ends_with(kBinFolder)) {
        const auto prefix = folder.substr(0, folder.size() - kBinFolder.size() + 1);
        paths.dataFolders.push_back(std::string(prefix) + "share/" + kAppFolderName);
    }
    return paths;
}

ProgramPaths discoverProgramPaths() {
    std::string exe = executablePath();
    if (exe.empty()) {
        std::error_code ec;
        exe = withTrailingSlash(std::filesystem::current_path(ec).string()) + "tavero";
    }
    return resolveProgramPaths(exe, isWritableFolder(folderOf(exe)),
                               environmentValue("XDG_CONFIG_HOME"), homeFolder());
}

std::string executablePath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    // The kernel marks an executable replaced on disk (an update while running) this way.
    constexpr std::string_view kDeleted = " (deleted)";
    if (buffer.ends_with(kDeleted)) {
        buffer.resize(buffer.size() - kDeleted.size());
    }
    return buffer;
}

bool isWritableFolder(const std::string& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string environmentValue(const char* name) {
    // Environment reads happen on the UI thread while nothing changes the environment.
    const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe)
    return value == nullptr ? std::string() : std::string(value);
}

std::string homeFolder() {
    std::string home = environmentValue("HOME");
    if (!home.empty()) {
        return home;
    }
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::string buffer(16384, '\0');
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        home = found->pw_dir;
    }
    return home;
}

ReadFileStatus readWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                             FileError& error) {
    bytes.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return ReadFileStatus::Missing;
        }
        fail(error, "open", path);
        return ReadFileStatus::Failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        fail(error, "fstat", path);
        return ReadFileStatus::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        fail(error, "open", path);
        return ReadFileStatus::Failed;
    }
    if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        error = FileError{EFBIG, path + " is larger than " + std::to_string(maxBytes) + " bytes"};
        return ReadFileStatus::TooLarge;
    }
    // The size is only a hint: the file may grow while it is read, so the limit is checked again.
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (bytes.size() > maxBytes) {
                error = FileError{EFBIG, path + " grew beyond " + std::to_string(maxBytes)};
                bytes.clear();
                return ReadFileStatus::TooLarge;
            }
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(error, "read", path);
            bytes.clear();
            return ReadFileStatus::Failed;
        }
        if (got == 0) {
            break;
        }
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    if (bytes.size() > maxBytes) {
        error = FileError{EFBIG, path + " grew beyond " + std::to_string(maxBytes)};
        bytes.clear();
        return ReadFileStatus::TooLarge;
    }
    return ReadFileStatus::Ok;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, FileError& error) {
    std::string target;
    if (!resolveLink(path, target, error)) {
        return false;
    }
    mode_t mode = kNewFileMode;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    }

    std::string tempPath = target + ".XXXXXX";
    UniqueFd fd(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return fail(error, "mkstemp", tempPath);
    }
    TempFileGuard guard(tempPath);
    if (!writeAll(fd.get(), bytes)) {
        return fail(error, "write", tempPath);
    }
    // Some file systems (FAT on a card) have no permission bits; keeping them is best effort.
    (void)::fchmod(fd.get(), mode);
    if (::fsync(fd.get()) != 0) {
        return fail(error, "fsync", tempPath);
    }
    if (!fd.close()) {
        return fail(error, "close", tempPath);
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        return fail(error, "rename", target);
    }
    guard.keep();

    // Makes the rename itself survive a power cut; the data is already safe either way, so a
    // failure here is not reported.
    UniqueFd folder(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) {
        (void)::fsync(folder.get());
    }
    return true;
}

bool makeFolders(const std::string& folder, FileError& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = FileError{ec.value(), "create folder " + folder + ": " + ec.message()};
        return false;
    }
    return true;
}

} // namespace tavero::platform

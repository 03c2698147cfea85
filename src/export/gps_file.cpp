#include "export/gps_file.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tavero::exporter {
namespace {

// Attempts at a free temporary name before giving up (leftovers of killed runs may exist).
constexpr int kTempNameAttempts = 16;

std::string Reason(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

bool WriteAll(int fd, std::string_view content, std::string& error) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = Reason("cannot write", errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& error) {
    const std::filesystem::path target(path);
    if (target.filename().empty()) {
        error = "not a file name";
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "is a directory";
        return false;
    }
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    platform::UniqueFd fd;
    std::string temp;
    for (int attempt = 0; attempt < kTempNameAttempts && !fd.valid(); ++attempt) {
        temp = (folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) +
                          "-" + std::to_string(attempt) + ".tmp"))
                   .string();
        // 0666 so the finished file gets the permissions the user's umask gives new files.
        fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.valid() && errno != EEXIST) {
            error = Reason(("cannot create a file in " + folder.string()).c_str(), errno);
            return false;
        }
    }
    if (!fd.valid()) {
        error = "cannot find a free temporary name in " + folder.string();
        return false;
    }
    bool ok = WriteAll(fd.get(), content, error);
    if (ok && ::fsync(fd.get()) != 0) {
        ok = false;
        error = Reason("cannot flush", errno);
    }
    // close() reports late write errors of some file systems (network, FUSE).
    if (::close(fd.release()) != 0 && ok) {
        ok = false;
        error = Reason("cannot write", errno);
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = Reason("cannot replace the file", errno);
    }
    if (!ok) {
        ::unlink(temp.c_str());
    }
    return ok;
}

} // namespace tavero::exporter

#include "job/run_temp_folder.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace job {

namespace {

constexpr const char *kOwnerFile = "owner.lock";

// Opens the owner's lock file of a run folder and takes its lock; -1 when the lock is held (the
// owner lives) or the file cannot be opened.
int takeOwnerLock(const std::filesystem::path &folder, bool create)
{
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT | O_EXCL : 0);
    const int fd = ::open((folder / kOwnerFile).c_str(), flags, 0600);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int sweepLeftRunFolders(const std::filesystem::path &parent)
{
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kRunFolderPrefix)) {
            continue;
        }
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode)
            || info.st_uid != ::geteuid()) {
            continue; // a link, a file, or another user's: never ours to remove
        }
        const int fd = takeOwnerLock(it->path(), false);
        if (fd < 0) {
            continue; // its owner still runs (or it has no lock file to tell)
        }
        std::error_code removeError;
        fs::remove_all(it->path(), removeError);
        ::close(fd);
        removed += removeError ? 0 : 1;
    }
    return removed;
}

std::unique_ptr<RunTempFolder> RunTempFolder::create(const std::filesystem::path &parent)
{
    std::error_code error;
    const std::filesystem::path base
        = parent.empty() ? std::filesystem::temp_directory_path(error) : parent;
    if (error || base.empty()) {
        return nullptr;
    }
    sweepLeftRunFolders(base);
    // mkdtemp makes the folder with mode 0700 under a name no other process can have chosen.
    std::string pattern = (base / (std::string(kRunFolderPrefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return nullptr;
    }
    const std::filesystem::path folder = pattern;
    const int fd = takeOwnerLock(folder, true);
    if (fd < 0) {
        std::filesystem::remove_all(folder, error);
        return nullptr;
    }
    std::optional<std::string> old;
    if (const char *tmpdir = std::getenv("TMPDIR")) {
        old = tmpdir;
    }
    ::setenv("TMPDIR", folder.c_str(), 1);
    return std::unique_ptr<RunTempFolder>(new RunTempFolder(folder, fd, std::move(old)));
}

RunTempFolder::RunTempFolder(
    std::filesystem::path path, int lockFd, std::optional<std::string> oldTmpdir)
    : m_path(std::move(path))
    , m_lockFd(lockFd)
    , m_oldTmpdir(std::move(oldTmpdir))
{
}

RunTempFolder::~RunTempFolder()
{
    if (m_oldTmpdir) {
        ::setenv("TMPDIR", m_oldTmpdir->c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
    ::close(m_lockFd);
}

} // namespace job

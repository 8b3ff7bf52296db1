#include "job/workshop_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace job {

namespace {

common::Error lockError(std::string message, const std::filesystem::path &file)
{
    return common::Error { common::ErrorKind::Io, std::move(message), file.string() };
}

// The holder's process id as it wrote it into the file; empty when unreadable.
std::string holderOf(int fd)
{
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    std::string pid(text, got > 0 ? static_cast<std::size_t>(got) : 0);
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) {
        pid.pop_back();
    }
    return pid;
}

} // namespace

common::Result<std::unique_ptr<WorkshopLock>> WorkshopLock::acquire(const std::filesystem::path &file)
{
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    // Close-on-exec: the server this run starts must not inherit the lock and hold it after the
    // run has ended.
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return lockError(std::string("cannot open the workshop's lock file: ") + std::strerror(errno),
            file);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        const std::string holder = holderOf(fd);
        ::close(fd);
        if (cause == EWOULDBLOCK) {
            return lockError("another repair is running on this workshop"
                    + (holder.empty() ? std::string() : " (process " + holder + ")")
                    + "; wait for it to end, or give this one another workshop (--workshop)",
                file.parent_path());
        }
        return lockError(std::string("cannot lock the workshop: ") + std::strerror(cause), file);
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The lock holds without the note; only the message of a second run lacks the pid.
    }
    return std::unique_ptr<WorkshopLock>(new WorkshopLock(fd));
}

WorkshopLock::~WorkshopLock()
{
    if (m_fd >= 0) {
        // Emptied before it is let go: a pid left in it would name a process long gone.
        (void)::ftruncate(m_fd, 0);
        ::close(m_fd);
    }
}

} // namespace job

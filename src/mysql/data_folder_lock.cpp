#include "mysql/data_folder_lock.h"

#include <fcntl.h>
#include <unistd.h>

namespace mysql {

namespace {

pid_t lockHolder(const std::filesystem::path &file)
{
    // Read-only, and never a lock of our own: closing a descriptor drops every POSIX lock the
    // process holds on that file, so taking one here could free the server's.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0; // the whole file
    const int asked = ::fcntl(fd, F_GETLK, &probe);
    ::close(fd);
    if (asked != 0 || probe.l_type == F_UNLCK) {
        return 0;
    }
    return probe.l_pid > 0 ? probe.l_pid : -1;
}

} // namespace

pid_t innodbLockHolder(const std::filesystem::path &dataFolder)
{
    for (const char *name : { "ibdata1", "ib_logfile0" }) {
        if (const pid_t holder = lockHolder(dataFolder / name); holder != 0) {
            return holder;
        }
    }
    return 0;
}

} // namespace mysql

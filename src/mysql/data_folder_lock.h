// Whether a server works on a data folder, told by the folder itself: InnoDB holds an fcntl write
// lock on its system tablespace and redo log for as long as it has them open, whatever its pid
// file says and however it was started.
#pragma once

#include <filesystem>
#include <sys/types.h>

namespace mysql {

// The pid of the process that holds InnoDB's lock on ibdata1 or ib_logfile0 in `dataFolder`;
// 0 when nobody holds it (or the files are not there), -1 when it is held by a process this
// program cannot see (another pid namespace).
pid_t innodbLockHolder(const std::filesystem::path &dataFolder);

} // namespace mysql

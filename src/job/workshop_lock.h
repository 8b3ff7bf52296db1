// WorkshopLock: one repair per workshop. An advisory lock (flock) on a file in the workshop
// folder, held for the whole run; the kernel lets go of it when the holder ends, however it
// ends, so a killed run never blocks the next one. The file names the holder's process.
#pragma once

#include "common/result.h"

#include <filesystem>
#include <memory>
#include <string>

namespace job {

class WorkshopLock
{
public:
    // Takes the lock on `file` (made, with its folder, when missing) without waiting. A run
    // that holds it already gives an Error naming that run's process and the folder.
    static common::Result<std::unique_ptr<WorkshopLock>> acquire(const std::filesystem::path &file);

    ~WorkshopLock();
    WorkshopLock(const WorkshopLock &) = delete;
    WorkshopLock &operator=(const WorkshopLock &) = delete;

private:
    explicit WorkshopLock(int fd) : m_fd(fd) { }
    int m_fd = -1;
};

} // namespace job

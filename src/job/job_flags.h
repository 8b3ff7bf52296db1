// JobFlags: the words through which the window and the running job talk to each other.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace job {

// Kept by the main window for the whole program. The integer flags are single atomic words
// written by one thread and read by the other; no lock is taken for them.
struct JobFlags
{
    std::atomic<int> stopRequested { 0 };
    std::atomic<int> scanSucceeded { 1 };
    std::atomic<int> folderInvalid { 0 };
    std::atomic<int> jobStarted { 0 };
    std::atomic<int> readyToStart { 1 };
    std::atomic<int> confirmAnswer { -1 };
    std::atomic<int> loginAllowed { 1 };
    // The user's own stop request. The finishing step clears stopRequested so that it is not cut
    // short; this copy survives it, so that a stopped job still ends as stopped.
    std::atomic<int> userStopRequested { 0 };

    std::string databaseFolder() const
    {
        std::lock_guard lock(m_textMutex);
        return m_databaseFolder;
    }
    void setDatabaseFolder(std::string folder)
    {
        std::lock_guard lock(m_textMutex);
        m_databaseFolder = std::move(folder);
    }
    std::string repairedPath() const
    {
        std::lock_guard lock(m_textMutex);
        return m_repairedPath;
    }
    void setRepairedPath(std::string path)
    {
        std::lock_guard lock(m_textMutex);
        m_repairedPath = std::move(path);
    }

    bool stopping() const { return stopRequested.load() != 0; }

private:
    mutable std::mutex m_textMutex;
    std::string m_databaseFolder;
    std::string m_repairedPath;
};

} // namespace job

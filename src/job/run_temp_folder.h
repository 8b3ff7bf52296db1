// RunTempFolder: the one private temporary folder (mode 0700) of a program run, under which
// every temporary file of its repairs lands (the program's TMPDIR points into it while it
// lives). It is removed when the run ends; one that a killed run left behind is removed by the
// next run, once the lock file inside shows that its owner is gone.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace job {

// "zarafa-repair-run-": the only names the sweep ever removes.
inline constexpr std::string_view kRunFolderPrefix = "zarafa-repair-run-";

class RunTempFolder
{
public:
    // Sweeps `parent` (the system's temporary folder when empty) of folders that earlier runs
    // left behind, then makes this run's folder and points TMPDIR into it. Nothing when it
    // cannot be made: the run then writes its temporary files where it would have anyway.
    // Call before any thread starts: it changes the environment.
    static std::unique_ptr<RunTempFolder> create(const std::filesystem::path &parent = {});

    // Removes the folder with everything in it and puts TMPDIR back.
    ~RunTempFolder();
    RunTempFolder(const RunTempFolder &) = delete;
    RunTempFolder &operator=(const RunTempFolder &) = delete;

    const std::filesystem::path &path() const { return m_path; }

private:
    RunTempFolder(std::filesystem::path path, int lockFd, std::optional<std::string> oldTmpdir);

    std::filesystem::path m_path;
    int m_lockFd = -1;
    std::optional<std::string> m_oldTmpdir;
};

// Removes the run folders under `parent` whose owner has ended (their lock is free), only those
// of this user and only by their own name pattern; how many it removed.
int sweepLeftRunFolders(const std::filesystem::path &parent);

} // namespace job

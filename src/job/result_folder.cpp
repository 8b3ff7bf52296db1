#include "job/result_folder.h"

#include "common/fresh_folder.h"

#include "mysql/child_process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace job {

namespace {

common::Error ioProblem(std::string message, const fs::path &where)
{
    return common::ioError(std::move(message), where.string());
}

// Room the copy leaves free: a filesystem filled to its last block helps nobody.
constexpr std::uintmax_t kSpareBytes = 16u << 20;

std::uintmax_t treeBytes(const fs::path &root, std::error_code &error)
{
    std::uintmax_t bytes = 0;
    if (!fs::is_directory(fs::symlink_status(root, error))) {
        return error ? 0 : fs::file_size(root, error);
    }
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error) && !error) {
            bytes += it->file_size(error);
        }
    }
    return bytes;
}

// The copied bytes on the disk before the original goes: a crash after the removal must not
// find the copy still in the page cache only.
common::Status syncFile(const fs::path &path, bool directory)
{
    const int fd = ::open(path.c_str(), (directory ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int cause = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return ioProblem(std::strerror(cause), path);
    }
    ::close(fd);
    return common::okStatus();
}

common::Status copyEntry(const fs::path &from, const fs::path &to)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(from, error);
    if (error) {
        return ioProblem(error.message(), from);
    }
    if (fs::is_symlink(status)) {
        fs::copy_symlink(from, to, error);
    } else if (fs::is_directory(status)) {
        fs::create_directory(to, error);
        if (!error) {
            fs::permissions(to, status.permissions(), error);
        }
    } else {
        fs::copy_file(from, to, error);
        if (!error) {
            return syncFile(to, false);
        }
    }
    return error ? common::Status(ioProblem(error.message(), to)) : common::okStatus();
}

common::Status copyTree(const fs::path &from, const fs::path &to)
{
    if (auto copied = copyEntry(from, to); !copied.ok()) {
        return copied;
    }
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(from, error))) {
        return common::okStatus();
    }
    for (fs::recursive_directory_iterator it(from, error), end; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        const fs::path target = to / fs::relative(it->path(), from);
        if (auto copied = copyEntry(it->path(), target); !copied.ok()) {
            return copied;
        }
    }
    if (error) {
        return ioProblem(error.message(), from);
    }
    return syncFile(to, true);
}

} // namespace

fs::path defaultOutputFolder()
{
    const char *home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : ".") / "zarafa-repair";
}

std::string runFolderName(std::time_t when)
{
    std::tm local {};
    ::localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "recovered-%Y-%m-%dT%H-%M-%S", &local);
    return text;
}

common::Result<fs::path> createRunFolder(const fs::path &outputFolder, std::time_t when)
{
    std::error_code error;
    fs::create_directories(outputFolder, error);
    if (error) {
        return ioProblem(error.message() + " (the output folder cannot be made)", outputFolder);
    }
    return common::createFreshFolder(outputFolder, runFolderName(when), 0700);
}

common::Status moveTree(const fs::path &from, const fs::path &to)
{
    std::error_code error;
    if (fs::exists(fs::symlink_status(to, error))) {
        return ioProblem("is in the way of " + from.string(), to);
    }
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return common::okStatus();
    }
    if (errno != EXDEV) {
        return ioProblem(std::strerror(errno) + std::string(" (moving ") + from.string() + ")",
            to);
    }
    const std::uintmax_t needed = treeBytes(from, error);
    if (error) {
        return ioProblem(error.message(), from);
    }
    const fs::space_info space = fs::space(to.parent_path(), error);
    if (error) {
        return ioProblem(error.message(), to.parent_path());
    }
    if (space.available < needed + kSpareBytes) {
        return ioProblem("not enough free space: " + std::to_string(needed) + " bytes needed, "
                + std::to_string(space.available) + " free",
            to.parent_path());
    }
    if (auto copied = copyTree(from, to); !copied.ok()) {
        fs::remove_all(to, error);
        return copied;
    }
    if (auto synced = syncFile(to.parent_path(), true); !synced.ok()) {
        return synced;
    }
    fs::remove_all(from, error);
    if (error) {
        return ioProblem(error.message() + " (the copy in " + to.string() + " is whole)", from);
    }
    return common::okStatus();
}

std::string serverVersionText()
{
    const auto program = mysql::findProgram({ "mariadbd", "mysqld" });
    if (!program) {
        return {};
    }
    std::string pattern = (fs::temp_directory_path() / "zarafa-repair-version-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    std::string line;
    if (mysql::runProgram({ *program, "--no-defaults", "--version" }, pattern) == 0) {
        std::ifstream in(pattern);
        std::getline(in, line);
    }
    ::unlink(pattern.c_str());
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

common::Status writeRecoveredReadme(const fs::path &recoveredFolder, const std::string &serverVersion)
{
    const std::string version = serverVersion.empty() ? "an unknown server version" : serverVersion;
    std::ostringstream text;
    text << "This folder is a MariaDB data folder with the rebuilt zarafa database.\n"
            "\n"
            "Made by: "
         << version
         << "\n"
            "\n"
            "A server starts on it only with that version of MariaDB or a newer one. To look at\n"
            "it, copy the whole folder to a place of its own and start a server on the copy:\n"
            "\n"
            "    cp -a \"Recovered Folder\" /srv/zarafa-check\n"
            "    mariadbd --no-defaults --datadir=/srv/zarafa-check \\\n"
            "        --socket=/srv/zarafa-check/mysqld.sock --skip-networking\n"
            "    mariadb --socket=/srv/zarafa-check/mysqld.sock --user=root zarafa\n"
            "\n"
            "(As root, give the copy to the mysql user first, chown -R mysql: /srv/zarafa-check,\n"
            "and add --user=mysql.)\n"
            "\n"
            "To put the data back on your Zarafa server, whatever its version (MySQL 5.0 to 8.4,\n"
            "MariaDB 5.5 to 11), load the portable zarafa.sql beside this folder, for example\n"
            "with \"zarafa-repair put-back --dump zarafa.sql --socket PATH\" or the mysql client.\n"
            "\n"
            "Never copy these files over the data folder of a running server: the server keeps\n"
            "its own copy of what it holds in memory and destroys both.\n";
    const fs::path path = recoveredFolder / kRecoveredReadmeName;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out) {
        return ioProblem("cannot be written", path);
    }
    return common::okStatus();
}

} // namespace job

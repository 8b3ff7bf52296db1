#include "mysql/move_journal.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace mysql {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 4> kStepNames = { "aside", "rebuilt", "back", "discard" };

std::string_view stepName(MoveStep step) { return kStepNames[static_cast<std::size_t>(step)]; }

std::optional<MoveStep> parseStep(std::string_view text)
{
    for (std::size_t i = 0; i < kStepNames.size(); ++i) {
        if (text == kStepNames[i]) {
            return static_cast<MoveStep>(i);
        }
    }
    return std::nullopt;
}

// "aside ibdata1" → step and name; the name may hold blanks.
std::optional<Manifest::Entry> parseEntry(std::string_view text, bool done)
{
    const auto blank = text.find(' ');
    if (blank == std::string_view::npos) {
        return std::nullopt;
    }
    const auto step = parseStep(text.substr(0, blank));
    if (!step) {
        return std::nullopt;
    }
    return Manifest::Entry { *step, std::string(text.substr(blank + 1)), done };
}

// Where the server's own copy is when a step is about to run, and after it ran.
OwnCopy before(MoveStep step) { return step == MoveStep::Aside ? OwnCopy::InDataFolder : OwnCopy::InOldData; }

OwnCopy after(MoveStep step) { return step == MoveStep::Back ? OwnCopy::InDataFolder : OwnCopy::InOldData; }

std::string errnoText() { return std::strerror(errno); }

} // namespace

bool sameFileName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

bool Manifest::wasPlanned(std::string_view name) const
{
    return std::ranges::any_of(planned, [&](const std::string &n) { return sameFileName(n, name); });
}

bool Manifest::wasMoved(std::string_view name) const
{
    return std::ranges::any_of(entries, [&](const Entry &entry) {
        return entry.done && entry.step == MoveStep::Aside && sameFileName(entry.name, name);
    });
}

OwnCopy Manifest::ownCopy(std::string_view name) const
{
    OwnCopy where = OwnCopy::InDataFolder;
    std::optional<MoveStep> pending;
    for (const Entry &entry : entries) {
        if (!sameFileName(entry.name, name)) {
            continue;
        }
        if (entry.done) {
            where = after(entry.step);
            pending.reset();
        } else {
            // A run writes an intent only after it settled where the file was, so an earlier
            // intent that never got its done is settled by this one.
            where = before(entry.step);
            pending = entry.step;
        }
    }
    if (pending == MoveStep::Aside || pending == MoveStep::Back) {
        std::error_code error;
        const bool inOldData = fs::exists(fs::symlink_status(oldDataFolder / name, error));
        where = inOldData ? OwnCopy::InOldData : OwnCopy::InDataFolder;
    }
    return where;
}

common::Result<Manifest> readManifest(const fs::path &oldDataFolder)
{
    std::ifstream file(oldDataFolder / kManifestName);
    if (!file) {
        return common::Error { common::ErrorKind::NotFound, "no journal of moves",
            oldDataFolder.string() };
    }
    Manifest manifest;
    manifest.oldDataFolder = oldDataFolder;
    std::string line;
    while (std::getline(file, line)) {
        const std::string_view text = line;
        if (text.starts_with("data=")) {
            manifest.dataFolder = line.substr(5);
        } else if (text.starts_with("plan=")) {
            manifest.planned.push_back(line.substr(5));
        } else if (text.starts_with("recovered=")) {
            manifest.recoveredFolder = line.substr(10);
        } else if (text.starts_with("intent=") || text.starts_with("done=")) {
            const bool done = text.starts_with("done=");
            if (auto entry = parseEntry(text.substr(done ? 5 : 7), done)) {
                manifest.entries.push_back(std::move(*entry));
            }
        } else if (text.starts_with("moved=")) {
            // Journals of earlier versions recorded only the finished moves aside.
            manifest.entries.push_back({ MoveStep::Aside, line.substr(6), true });
        } else if (text == "finished") {
            manifest.finished = true;
        }
        // A last line cut off by a kill has no newline and no meaning yet; it is ignored above
        // unless whole, and the look at the folders settles its move.
    }
    return manifest;
}

common::Status syncFolder(const fs::path &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return common::ioError("cannot open the folder to sync it: " + errnoText(), folder.string());
    }
    const int synced = ::fsync(fd);
    const std::string problem = synced != 0 ? errnoText() : std::string();
    ::close(fd);
    if (synced != 0) {
        return common::ioError("cannot sync the folder: " + problem, folder.string());
    }
    return common::okStatus();
}

MoveJournal::MoveJournal(int fd, fs::path path)
    : m_fd(fd)
    , m_path(std::move(path))
{
}

MoveJournal::MoveJournal(MoveJournal &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_path(std::move(other.m_path))
{
}

MoveJournal::~MoveJournal()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

common::Result<MoveJournal> MoveJournal::open(const fs::path &oldDataFolder)
{
    const fs::path path = oldDataFolder / kManifestName;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return common::ioError("cannot open the journal of moves: " + errnoText(), path.string());
    }
    return MoveJournal(fd, path);
}

common::Result<MoveJournal> MoveJournal::create(
    const fs::path &oldDataFolder, const fs::path &dataFolder, const std::vector<std::string> &planned)
{
    auto journal = open(oldDataFolder);
    if (!journal.ok()) {
        return journal.error();
    }
    std::string header = "zarafa-repair moves\ndata=" + dataFolder.string() + "\n";
    for (const std::string &name : planned) {
        header += "plan=" + name + "\n";
    }
    if (auto written = journal->append(header); !written.ok()) {
        return written.error();
    }
    // The journal's own entry and the OldData folder's entry in the data folder.
    for (const fs::path &folder : { oldDataFolder, dataFolder }) {
        if (auto synced = syncFolder(folder); !synced.ok()) {
            return synced.error();
        }
    }
    return journal;
}

common::Status MoveJournal::append(const std::string &line)
{
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(m_fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return common::ioError("cannot write the journal of moves: " + errnoText(), m_path.string());
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(m_fd) != 0) {
        return common::ioError("cannot sync the journal of moves: " + errnoText(), m_path.string());
    }
    return common::okStatus();
}

common::Status MoveJournal::intend(MoveStep step, std::string_view name)
{
    return append("intent=" + std::string(stepName(step)) + " " + std::string(name) + "\n");
}

common::Status MoveJournal::done(MoveStep step, std::string_view name)
{
    return append("done=" + std::string(stepName(step)) + " " + std::string(name) + "\n");
}

common::Status MoveJournal::recoveredFolder(const fs::path &folder)
{
    return append("recovered=" + folder.string() + "\n");
}

common::Status MoveJournal::finished() { return append("finished\n"); }

} // namespace mysql

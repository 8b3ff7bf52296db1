// MoveJournal: the record, kept in the OldData folder, of every move of the server's own files
// and of the rebuilt ones. Each move is written down as an intent before it happens and as done
// after it happened, each line forced to disk with the folders it touches, so that a kill
// between any two steps leaves a record from which the next run tells the server's own files
// from rebuilt ones:
//
//     zarafa-repair moves
//     data=/var/lib/mysql
//     plan=ibdata1                   names the backup set out to move
//     intent=aside ibdata1           about to move data/ibdata1 into OldData
//     done=aside ibdata1             it is there, and the folders are on disk
//     recovered=/var/lib/mysql/Recovered Folder (2011-3-7 14.5.9)
//     intent=rebuilt ibdata1         the rebuilt one goes into the Recovered Folder
//     intent=back ibdata1            the server's own goes back into the data folder
//     finished                       every one of the server's files is back
//
// A rename is atomic, so an intent without its done is settled by looking: the file is on one
// side or the other, never on both.
#pragma once

#include "common/result.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mysql {

// The journal's name inside an OldData folder.
inline constexpr std::string_view kManifestName = "zarafa-repair-moves.txt";

enum class MoveStep
{
    Aside, // a server file from the data folder into the OldData folder
    Rebuilt, // a rebuilt file from the data folder into the Recovered Folder
    Back, // a server file from the OldData folder back into the data folder
    Discard, // a file a restarted server made in place of a moved one, deleted or set aside
};

// Where the server's own copy of a file is.
enum class OwnCopy
{
    InDataFolder,
    InOldData,
};

bool sameFileName(std::string_view a, std::string_view b);

// The moves recorded in an OldData folder.
struct Manifest
{
    struct Entry
    {
        MoveStep step;
        std::string name;
        bool done; // false: the intent line
    };

    std::filesystem::path oldDataFolder;
    std::filesystem::path dataFolder;
    std::filesystem::path recoveredFolder; // empty until the finishing chose one
    std::vector<std::string> planned; // names the backup set out to move
    std::vector<Entry> entries; // in the order they were written
    bool finished = false; // the server's files were put back

    bool wasPlanned(std::string_view name) const;
    // Whether the backup's move of `name` into the OldData folder took place.
    bool wasMoved(std::string_view name) const;
    // Where the server's own `name` is now, from the journal and, for the one move a kill may
    // have cut off, from the OldData folder itself.
    OwnCopy ownCopy(std::string_view name) const;
};

common::Result<Manifest> readManifest(const std::filesystem::path &oldDataFolder);

// Appends to the journal of one OldData folder; every line is on disk when a call returns ok.
class MoveJournal
{
public:
    // Creates the journal with its header and plan, and puts the new OldData folder itself on
    // disk, before anything moves.
    static common::Result<MoveJournal> create(const std::filesystem::path &oldDataFolder,
        const std::filesystem::path &dataFolder, const std::vector<std::string> &planned);
    static common::Result<MoveJournal> open(const std::filesystem::path &oldDataFolder);

    MoveJournal(MoveJournal &&other) noexcept;
    MoveJournal &operator=(MoveJournal &&) = delete;
    MoveJournal(const MoveJournal &) = delete;
    ~MoveJournal();

    common::Status intend(MoveStep step, std::string_view name);
    common::Status done(MoveStep step, std::string_view name);
    common::Status recoveredFolder(const std::filesystem::path &folder);
    common::Status finished();

private:
    MoveJournal(int fd, std::filesystem::path path);
    common::Status append(const std::string &line);

    int m_fd;
    std::filesystem::path m_path;
};

// Forces a folder's entries to disk, so that a rename in it survives a power cut.
common::Status syncFolder(const std::filesystem::path &folder);

} // namespace mysql

#include "innodb/tablespace_set.h"

#include "innodb/page_compressed.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace innodb {

namespace {

constexpr std::string_view kIbdSuffix = ".ibd";
constexpr std::string_view kFrmSuffix = ".frm";

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return lowerAscii(x) == lowerAscii(y);
    });
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix)
{
    return text.size() > suffix.size()
        && equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// The .ibd files of the database folder, keyed by their base name in lower case (a Windows
// server with lower_case_table_names stores names in lower case, its .frm files may not be).
std::map<std::string, std::string> listIbdFiles(const std::string &folder)
{
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (endsWithIgnoringCase(name, kIbdSuffix) && entry.is_regular_file(error)) {
            files.emplace(lowerCase(name.substr(0, name.size() - kIbdSuffix.size())), name);
        }
    }
    return files;
}

// The table part of a dictionary name: "zarafa/stores" -> "stores".
std::string_view tablePart(std::string_view dictionaryName)
{
    const auto slash = dictionaryName.find('/');
    return slash == std::string_view::npos ? dictionaryName : dictionaryName.substr(slash + 1);
}

const frm::FrmTableEntry *definitionOfFile(
    const std::vector<frm::FrmTableEntry> &definitions, std::string_view baseName)
{
    for (const auto &definition : definitions) {
        std::string_view file = definition.fileName;
        if (endsWithIgnoringCase(file, kFrmSuffix)) {
            file.remove_suffix(kFrmSuffix.size());
        }
        if (equalsIgnoringCase(file, baseName)
            || equalsIgnoringCase(tablePart(definition.dictionaryName), baseName)) {
            return &definition;
        }
    }
    return nullptr;
}

// The size of a regular file that could not be opened, for the log's size line; 0 otherwise.
std::uint64_t regularFileSize(const std::string &path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(status)) {
        return 0;
    }
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

} // namespace

TablespaceSet::~TablespaceSet() = default;

TablespaceSet::Space *TablespaceSet::openSpace(
    const std::string &path, const std::string &fileName, const TablespaceSetCallbacks &callbacks)
{
    auto opened = TablespaceFile::open(path);
    if (!opened) {
        m_refusedBytes += regularFileSize(path);
        const common::Error &error = opened.error();
        m_problems.push_back(error.where.empty() ? fileName + ": " + error.message : error.describe());
        return nullptr;
    }
    // Random bytes or zeros are no tablespace, and are called so rather than read as pages.
    if (auto header = opened->checkHeader(); !header.ok()) {
        m_refusedBytes += opened->sizeBytes();
        m_problems.push_back(fileName + ": " + header.error().describe());
        return nullptr;
    }
    if (!opened->formatNote().empty()) {
        m_problems.push_back(fileName + ": " + opened->formatNote());
    }
    if (opened->format().encrypted) {
        m_problems.push_back(fileName
            + ": the tablespace is encrypted (MariaDB data-at-rest encryption); its encrypted "
              "pages cannot be read without the server's key, which is not in the data folder");
    }
    if (opened->format().fullCrc32 && opened->format().pageCompressed
        && !canDecompress(opened->format().algorithm)) {
        const std::string name(
            compressionName(static_cast<std::uint8_t>(opened->format().algorithm)));
        m_problems.push_back(fileName + ": its pages are compressed with " + name
            + ", which this build of the program cannot decompress (it was built without the "
            + name + " library)");
    }
    ScanCallbacks scanCallbacks;
    if (callbacks.progress) {
        scanCallbacks.progress = [&callbacks, &fileName](std::uint64_t done, std::uint64_t total) {
            callbacks.progress(fileName, done, total);
        };
    }
    scanCallbacks.stopRequested = callbacks.stopRequested;
    auto scanned = scanTablespace(*opened, scanCallbacks);
    if (!scanned) {
        m_problems.push_back(fileName + ": " + scanned.error().describe());
        return nullptr;
    }
    m_stopped = m_stopped || scanned->stopped;
    if (scanned->pagesUnreadable > 0) {
        m_problems.push_back(fileName + ": " + std::to_string(scanned->pagesUnreadable)
            + " pages cannot be read, the first because it is " + scanned->unreadableReason);
    }
    auto space = std::make_unique<Space>(
        Space { std::move(*opened), std::move(*scanned), fileName, nullptr });
    space->pages = std::make_unique<RepairedPageSource>(
        space->file, space->scan.spaceId, m_doublewrite.get());
    m_spaces.push_back(std::move(space));
    return m_spaces.back().get();
}

TablespaceSet TablespaceSet::open(const std::string &systemPath, const std::string &databaseFolder,
    const std::vector<frm::FrmTableEntry> &definitions, std::string_view database,
    const TablespaceSetCallbacks &callbacks)
{
    TablespaceSet set;
    const auto stopping = [&] { return callbacks.stopRequested && callbacks.stopRequested(); };
    auto ibdFiles = listIbdFiles(databaseFolder);
    std::set<std::string> tiedFiles; // lower-case base names of the .ibd files already used

    // The doublewrite copies first, so that even the dictionary's pages can be put back. They
    // lie in ibdata1 and, on MySQL 8.0.20 and later, in files beside it.
    const std::string dataFolder = !systemPath.empty()
        ? std::filesystem::path(systemPath).parent_path().string()
        : std::filesystem::path(databaseFolder).parent_path().string();
    auto systemForCopies
        = systemPath.empty() ? common::Result<TablespaceFile>(common::corruption("no ibdata1"))
                             : TablespaceFile::open(systemPath);
    *set.m_doublewrite = DoublewriteBuffer::read(
        systemForCopies ? &*systemForCopies : nullptr, dataFolder.empty() ? "." : dataFolder);

    if (!systemPath.empty()) {
        const std::string systemName = std::filesystem::path(systemPath).filename().string();
        Space *system = set.openSpace(systemPath, systemName, callbacks);
        if (system && !set.m_stopped) {
            auto discovery
                = discoverTables(*system->pages, system->scan, database, callbacks.stopRequested);
            if (!discovery) {
                set.m_problems.push_back(systemName + ": the data dictionary cannot be read ("
                    + discovery.error().describe() + ")");
            } else {
                set.m_dictionaryRead = true;
                set.m_dictionaryTables = discovery->dictionaryTables;
                set.m_problems.insert(
                    set.m_problems.end(), discovery->problems.begin(), discovery->problems.end());
                for (const strcIbDataScan &entry : discovery->tables) {
                    if (stopping()) {
                        set.m_stopped = true;
                        break;
                    }
                    if (entry.space == 0) {
                        set.m_tables.push_back(
                            { entry, &system->file, &system->scan, systemName, true });
                        continue;
                    }
                    const std::string key = lowerCase(tablePart(entry.name));
                    const auto file = ibdFiles.find(key);
                    if (file == ibdFiles.end()) {
                        set.m_problems.push_back(entry.name + ": its tablespace "
                            + std::string(tablePart(entry.name)) + ".ibd is missing");
                        continue;
                    }
                    tiedFiles.insert(key);
                    Space *own = set.openSpace(
                        databaseFolder + "/" + file->second, file->second, callbacks);
                    if (!own) {
                        continue;
                    }
                    TableInSpace table { entry, &own->file, &own->scan, file->second, true };
                    // An .ibd restored from elsewhere keeps its own index ids: when the
                    // dictionary's index has no page in it, its page 3 tells the truth.
                    if (!own->scan.group(entry.indexId)) {
                        if (auto single = discoverSingleTable(*own->pages, entry.name);
                            single && own->scan.group(single->indexId)) {
                            set.m_problems.push_back(entry.name + ": " + file->second
                                + " does not hold the dictionary's index; its page 3 is used");
                            table.entry.indexId = single->indexId;
                            table.entry.rootPage = single->rootPage;
                        }
                    }
                    set.m_tables.push_back(std::move(table));
                }
            }
        }
    }

    // The .ibd files the dictionary did not name, or all of them without a dictionary.
    for (const auto &[key, fileName] : ibdFiles) {
        if (set.m_stopped || stopping()) {
            set.m_stopped = true;
            break;
        }
        if (tiedFiles.count(key) > 0) {
            continue;
        }
        const std::string baseName = fileName.substr(0, fileName.size() - kIbdSuffix.size());
        const frm::FrmTableEntry *definition = definitionOfFile(definitions, baseName);
        const std::string name
            = definition ? definition->dictionaryName : std::string(database) + "/" + baseName;
        if (set.m_dictionaryRead && set.find(name)) {
            continue; // the dictionary placed it in ibdata1; this file is a leftover
        }
        Space *own = set.openSpace(databaseFolder + "/" + fileName, fileName, callbacks);
        if (!own) {
            continue;
        }
        auto single = discoverSingleTable(*own->pages, name,
            definition && definition->clusteredRootPage != 0 ? definition->clusteredRootPage
                                                             : kIbdClusteredRoot);
        if (!single) {
            set.m_problems.push_back(fileName + ": " + single.error().describe());
            continue;
        }
        if (definition) {
            // Page 3 cannot tell a key from a hidden row id; the definition can.
            single->hasPrimaryKey = definition->clusteredKey >= 0;
            single->columnCount = static_cast<std::uint32_t>(definition->definitionOrder.size());
        }
        set.m_tables.push_back({ std::move(*single), &own->file, &own->scan, fileName, false });
    }
    for (TableInSpace &table : set.m_tables) {
        for (const auto &space : set.m_spaces) {
            if (&space->file == table.file) {
                table.pages = space->pages.get();
            }
        }
    }
    return set;
}

const TableInSpace *TablespaceSet::find(std::string_view name) const
{
    const auto found = std::find_if(m_tables.begin(), m_tables.end(),
        [&](const TableInSpace &table) { return equalsIgnoringCase(table.entry.name, name); });
    return found == m_tables.end() ? nullptr : &*found;
}

std::uint64_t TablespaceSet::totalBytes() const
{
    std::uint64_t total = m_refusedBytes;
    for (const auto &space : m_spaces) {
        total += space->file.sizeBytes();
    }
    return total;
}

} // namespace innodb

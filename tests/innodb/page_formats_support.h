// Helpers of the page format tests: the folders make-page-formats-fixture.sh writes, a table's
// rows read the way a repair reads them, their truth, and the stored pages of a file.
#pragma once

#include "frm/table_definition_reader.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_set.h"
#include "record_test_support.h"
#include "support/truth_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_support {

// "16k/row_compressed", "4k/tables", ...
inline std::filesystem::path pageFormatsFolder(const std::string &relative)
{
    return std::filesystem::path(ZR_PAGE_FORMATS_DIR) / relative;
}

inline std::vector<frm::FrmTableEntry> readDefinitions(const std::filesystem::path &folder)
{
    std::vector<frm::FrmTableEntry> tables;
    for (const auto &entry : std::filesystem::directory_iterator(folder / "Zarafa")) {
        if (entry.path().extension() != ".frm") {
            continue;
        }
        const std::string fileName = entry.path().filename().string();
        auto table = frm::readTableDefinition(
            entry.path().string(), fileName, "zarafa/" + frm::tableNameFromFileName(fileName));
        if (table) {
            tables.push_back(std::move(*table));
        }
    }
    return tables;
}

// A data folder opened as a repair opens it, with ibdata1 unless `withoutSystem`.
struct OpenFolder
{
    explicit OpenFolder(const std::filesystem::path &path, bool withoutSystem = false)
        : folder(path)
        , definitions(readDefinitions(path))
        , spaces(innodb::TablespaceSet::open(
              withoutSystem ? std::string() : (path / "ibdata1").string(),
              (path / "Zarafa").string(), definitions))
    {
    }

    const frm::FrmTableEntry *definition(const std::string &table) const
    {
        for (const auto &entry : definitions) {
            if (entry.dictionaryName == "zarafa/" + table) {
                return &entry;
            }
        }
        return nullptr;
    }

    struct Rows
    {
        std::vector<std::string> lines; // as the truth files have them, without line breaks
        innodb::TableReadCounts counts;
        bool found = false;
    };
    Rows read(const std::string &table) const
    {
        Rows rows;
        const auto *found = spaces.find("zarafa/" + table);
        const auto *table_ = definition(table);
        if (!found || !table_) {
            return rows;
        }
        rows.found = true;
        innodb::LongValueStore store;
        innodb::RecordDecoder decoder(*table_, *found->file, store);
        TsvSink sink;
        rows.counts
            = innodb::readTableRows(*found->file, *found->scan, found->entry, decoder, sink);
        for (auto &line : sink.lines) {
            if (!line.empty() && line.back() == '\n') {
                line.pop_back();
            }
            rows.lines.push_back(std::move(line));
        }
        return rows;
    }

    // The truth file's rows, in key order.
    std::vector<std::string> truth(const std::string &table) const
    {
        auto lines = readLines(folder / "truth" / (table + ".tsv"));
        if (!lines.empty()) {
            lines.erase(lines.begin());
        }
        return lines;
    }

    std::filesystem::path folder;
    std::vector<frm::FrmTableEntry> definitions;
    innodb::TablespaceSet spaces;
};

inline std::vector<std::uint8_t> readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

inline void writeFile(const std::filesystem::path &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(
        reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A folder of links to another's files, where the test may replace one with a damaged copy.
inline void linkFolder(const std::filesystem::path &from, const std::filesystem::path &to)
{
    std::filesystem::create_directories(to / "Zarafa");
    std::filesystem::create_symlink(from / "ibdata1", to / "ibdata1");
    for (const auto &entry : std::filesystem::directory_iterator(from / "Zarafa")) {
        std::filesystem::create_symlink(entry.path(), to / "Zarafa" / entry.path().filename());
    }
    std::filesystem::create_directory_symlink(from / "truth", to / "truth");
}

} // namespace testing_support

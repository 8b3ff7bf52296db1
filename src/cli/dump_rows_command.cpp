// zarafa-repair dump-rows FOLDER: the decoded rows of every table as tab-separated text, without
// a server: definitions, dictionary, page scans of ibdata1 and the tables' .ibd files, tree walk
// and record decoding, as a repair runs them, so that decoded data can be compared byte for byte
// with a known truth. A folder without ibdata1 is read from its .ibd files alone.
#include "cli/cli_commands.h"
#include "frm/table_definition_reader.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/repaired_page_source.h"
#include "innodb/row_key_text.h"
#include "innodb/table_reader.h"
#include "innodb/tablespace_set.h"
#include "innodb/value_text.h"
#include "job/folder_listing.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

namespace cli {

namespace {

constexpr const char *kCommandName = "dump-rows";
// Every complaint on standard error names the program and the command, as the others do.
constexpr std::string_view kErrorPrefix = "zarafa-repair dump-rows: ";

struct DumpRowsOptions
{
    std::string folder;
    std::string table;
    std::string outDirectory;
    bool includeDeleted = false;
    bool keepDamagedValues = false;
};

DumpRowsOptions &options()
{
    static DumpRowsOptions value;
    return value;
}

// Writes the rows, and names on standard error every row left out or cut for a damaged long
// value, so that a comparison with the truth can tell a known loss from a wrong row.
class TsvFileSink : public innodb::RowSink
{
public:
    explicit TsvFileSink(std::ostream &out)
        : m_out(out)
    {
    }
    void acceptRow(const innodb::DecodedRow &row) override
    {
        if (!row.cutColumns.empty()) {
            std::cerr << kErrorPrefix << row.dictionaryName() << ": row " << innodb::keyText(row)
                      << " kept with a value cut short: " << row.damage << '\n';
        }
        if (auto status = innodb::writeTsvLine(row, m_out); !status.ok()) {
            ++failures;
        }
    }
    void rowLeftOut(const innodb::DecodedRow &row) override
    {
        std::cerr << kErrorPrefix << row.dictionaryName() << ": row " << innodb::keyText(row)
                  << " left out, its long value is damaged: " << row.damage << '\n';
    }
    std::uint64_t failures = 0;

private:
    std::ostream &m_out;
};

struct Definition
{
    std::string fileName;
    frm::FrmTableEntry table;
};

// The definition files of the Zarafa subfolder, read without a server.
std::vector<Definition> readDefinitions(const std::string &zarafaFolder)
{
    std::vector<Definition> definitions;
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(zarafaFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && job::endsWithIgnoringCase(name, ".frm")) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const auto &name : names) {
        const std::string dictionaryName
            = std::string(job::kDictionaryPrefix) + frm::tableNameFromFileName(name);
        auto table = frm::readTableDefinition(zarafaFolder + "/" + name, name, dictionaryName);
        if (!table) {
            std::cerr << kErrorPrefix << name << ": " << table.error().describe()
                      << '\n';
            continue;
        }
        definitions.push_back({ name, std::move(*table) });
    }
    return definitions;
}

int dumpRows()
{
    const DumpRowsOptions &opts = options();
    const auto zarafa = job::findEntryIgnoringCase(opts.folder, "Zarafa", true);
    if (!zarafa) {
        std::cerr << kErrorPrefix << opts.folder << " holds no Zarafa folder\n";
        return 3;
    }
    // Without ibdata1 the tables' own .ibd files are still read (file-per-table folders).
    const auto ibdata = job::findEntryIgnoringCase(opts.folder, "ibdata1", false);
    const std::string zarafaFolder = opts.folder + "/" + *zarafa;
    std::vector<frm::FrmTableEntry> tables;
    for (auto &definition : readDefinitions(zarafaFolder)) {
        tables.push_back(std::move(definition.table));
    }
    if (tables.empty()) {
        std::cerr << "zarafa-repair dump-rows: the " << *zarafa << " folder of " << opts.folder
                  << " holds no readable table definition (.frm) file\n";
        return 3;
    }
    const std::string database(job::kDictionaryPrefix.substr(0, job::kDictionaryPrefix.size() - 1));
    const innodb::TablespaceSet spaces = innodb::TablespaceSet::open(
        ibdata ? opts.folder + "/" + *ibdata : std::string(), zarafaFolder, tables, database);
    for (const auto &problem : spaces.problems()) {
        std::cerr << kErrorPrefix << problem << '\n';
    }
    if (spaces.tables().empty()) {
        // Without ibdata1 that is the likelier cause, so name it.
        std::cerr << "zarafa-repair dump-rows: no table's rows can be found in " << opts.folder
                  << (ibdata ? "" : ": it holds no ibdata1 and no table has its own .ibd file")
                  << '\n';
        return 3;
    }
    if (!opts.outDirectory.empty()) {
        std::filesystem::create_directories(opts.outDirectory);
    }
    innodb::LongValueStore store;
    innodb::DecodeOptions decodeOptions;
    decodeOptions.includeDeleted = opts.includeDeleted;
    decodeOptions.keepDamagedValues = opts.keepDamagedValues;
    int exitCode = 0;
    for (const auto &table : tables) {
        const std::string shortName = frm::tableNameFromFileName(table.fileName);
        if (!opts.table.empty() && !job::equalsIgnoringCase(opts.table, shortName)) {
            continue;
        }
        const innodb::TableInSpace *found = spaces.find(table.dictionaryName);
        if (!found) {
            std::cerr << kErrorPrefix << table.dictionaryName << ": not in the dictionary nor in an .ibd file\n";
            continue;
        }
        innodb::RecordDecoder decoder(table, *found->pages, store, decodeOptions);
        if (!decoder.usable() || decoder.hasKey() != found->entry.hasPrimaryKey) {
            std::cerr << kErrorPrefix << table.dictionaryName << ": "
                      << (decoder.usable() ? "key differs from the dictionary's"
                                           : decoder.problem())
                      << '\n';
            exitCode = 1;
            continue;
        }
        std::ofstream fileOut;
        if (!opts.outDirectory.empty()) {
            fileOut.open(opts.outDirectory + "/" + shortName + ".tsv", std::ios::binary);
        }
        std::ostream &out = opts.outDirectory.empty() ? std::cout : fileOut;
        out << innodb::tsvHeader(table);
        TsvFileSink sink(out);
        const innodb::TableReadCounts read
            = innodb::readTableRows(*found->pages, *found->scan, found->entry, decoder, sink);
        for (const auto &problem : read.problems) {
            std::cerr << kErrorPrefix << table.dictionaryName << ": " << problem << '\n';
        }
        if (!read.layoutRefusal.empty()) {
            std::cerr << kErrorPrefix << table.dictionaryName << ": not read, its records do not decode "
                      << "consistently: " << read.layoutRefusal << '\n';
            exitCode = 1;
            continue;
        }
        const innodb::PageDecodeCounts &counts = read.decoded;
        std::cerr << table.dictionaryName << " (" << found->fileName << "): " << counts.rowsEmitted
                  << " rows, " << counts.deleteMarkedSkipped << " deleted skipped, "
                  << counts.recordsRejected << " damaged records, "
                  << counts.rowsWithDamagedLongValues << " rows with damaged long values, "
                  << counts.valuesTruncated << " values cut short\n";
        if (sink.failures > 0) {
            exitCode = 1;
        }
    }
    // Rows read through copies are as good as the server's own pages, yet the pages were
    // damaged: that is said, per file, and with the dictionary's pages counted too.
    std::set<const innodb::RepairedPageSource *> seen;
    for (const innodb::TableInSpace &space : spaces.tables()) {
        if (space.pages && seen.insert(space.pages).second && !space.pages->repairedPages().empty()) {
            std::cerr << kErrorPrefix << space.fileName << ": "
                      << space.pages->repairedPages().size()
                      << " damaged pages repaired from the doublewrite buffer\n";
        }
    }
    return exitCode;
}

} // namespace

void addDumpRowsCommand(CLI::App &app)
{
    CLI::App *command = app.add_subcommand(
        kCommandName, "Decode every table of a data folder and write its rows as TSV");
    command
        ->add_option("folder", options().folder,
            "The data folder (Zarafa, and ibdata1 unless every table has an .ibd)")
        ->required();
    command->add_option("--table", options().table, "Only this table");
    command->add_option("--out", options().outDirectory, "Write DIR/<table>.tsv files");
    command->add_flag(
        "--include-deleted", options().includeDeleted, "Also write delete-marked rows");
    command->add_flag("--keep-damaged-values", options().keepDamagedValues,
        "Write rows whose long value is damaged, with the value cut where the damage starts "
        "(left out by default)");
}

int runDumpRowsCommand(CLI::App &app)
{
    const CLI::App *command = app.get_subcommand(kCommandName);
    if (!command || !command->parsed()) {
        return -1;
    }
    return dumpRows();
}

} // namespace cli

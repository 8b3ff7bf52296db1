#include "job/definition_pass.h"

#include "common/strings.h"
#include "frm/table_definition_reader.h"
#include "innodb/sdi_definition.h"
#include "job/definition_sources.h"
#include "job/folder_listing.h"

#include <filesystem>

namespace job {

namespace {

void showOk(RepairJob &job, int stringId)
{
    job.host.showMessage(Message { std::string(common::text(stringId)), 1, true, false });
}

std::string skippedLine(const std::string &fileName, const common::Error &error)
{
    switch (frm::definitionProblem(error)) {
    case frm::DefinitionProblem::Unreadable:
        return fileName + " : skipped, the file cannot be read (" + error.message + ")";
    case frm::DefinitionProblem::Unsupported:
        return fileName + " : not recovered, " + error.message;
    default:
        return fileName + " : skipped, the table definition is damaged (" + error.message + ")";
    }
}

// The .frm is gone or unreadable, but the dictionary can describe the table: the loss is only
// of what the dictionary does not keep, which the table's own line names.
bool dictionaryStandsIn(const RepairJob &job, const std::string &dictionaryName)
{
    const innodb::DictionaryDefinition *definition = dictionaryDefinition(job, dictionaryName);
    return definition && definition->unsupported.empty();
}

using CreateTable = std::function<common::Status(const frm::FrmTableEntry &)>;

// Appends `table` to the job's tables, reports it to the log lists and creates it.
void addTable(
    RepairJob &job, frm::FrmTableEntry table, std::size_t position, const CreateTable &createTable)
{
    const auto addRow
        = [&job](int row, std::string_view text) { job.addListRow(row, text); };
    job.tables.push_back(std::move(table));
    const frm::FrmTableEntry &entry = job.tables.back();
    const std::string &fileName = entry.fileName;
    job.log.setTableCount(entry.definitionOrder.size());
    job.log.reportTableToList(fileName, position);
    job.log.showQueuedLines(
        job.nextListRow, position, logreport::Pass::Definition, job.databaseFolder, addRow);
    if (entry.source != frm::DefinitionSource::Frm) {
        std::string line = fileName + " : definition from "
            + (entry.source == frm::DefinitionSource::Dictionary
                    ? std::string("InnoDB's dictionary in ibdata1 (no readable .frm file)")
                    : std::string("the SDI stored in its .ibd file"));
        for (const std::string &note : entry.definitionNotes) {
            line += "; " + note;
        }
        job.addListRow(job.nextListRow++, line);
    }
    if (const common::Status created = createTable(entry); !created.ok()) {
        // Said at once, with the server's words: a hostile name or an unknown type is a
        // table the result will lack, not a quiet "0 rows recovered" later.
        const std::string reason = created.error().describe();
        job.addListRow(job.nextListRow++,
            fileName + " : the server refused to create the table " + entry.dictionaryName
                + ": " + reason);
        job.tablesNotCreated.emplace_back(entry.dictionaryName, reason);
    }
}

bool holdsName(const std::vector<std::string> &names, std::string_view name)
{
    for (const std::string &candidate : names) {
        if (equalsIgnoringCase(candidate, name)) {
            return true;
        }
    }
    return false;
}

// Whether the Zarafa folder holds the table's own .ibd ("zarafa/stores" → stores.ibd).
bool ownTablespacePresent(const RepairJob &job, const std::string &dictionaryName)
{
    if (job.zarafaFolderPath.empty()) {
        return false;
    }
    const std::string table = dictionaryName.substr(dictionaryName.find('/') + 1);
    return findEntryIgnoringCase(job.zarafaFolderPath, table + ".ibd", false).has_value();
}

// The tables that no .frm described: the dictionary's definitions stand in, in dictionary order.
void addDictionaryTables(
    RepairJob &job, const std::vector<std::string> &settled, const CreateTable &createTable)
{
    std::vector<std::string> done = settled;
    for (const frm::FrmTableEntry &table : job.tables) {
        done.push_back(table.dictionaryName);
    }
    std::size_t position = job.tableFileNames.size();
    for (const innodb::DictionaryDefinition &definition : job.dictionaryDefinitions) {
        if (job.stopping()) {
            return;
        }
        if (holdsName(done, definition.dictionaryName)
            || isAlterLeftover(definition.dictionaryName)) {
            continue;
        }
        if (definition.space != 0 && !ownTablespacePresent(job, definition.dictionaryName)) {
            // A table of its own .ibd with neither file here: nothing of it is in this folder to
            // read, so it is named rather than turned into an empty rebuilt table.
            job.addListRow(job.nextListRow++,
                definition.dictionaryName
                    + " : named by InnoDB's dictionary, but neither its .frm nor its .ibd file "
                      "is in this folder");
            continue;
        }
        if (!definition.unsupported.empty()) {
            std::string line = definition.dictionaryName
                + " : not recovered, no readable .frm file and InnoDB's dictionary cannot "
                  "describe the table: "
                + definition.unsupported;
            if (!job.dictionaryProblems.empty()) {
                line += " (" + job.dictionaryProblems.front() + ")";
            }
            job.addListRow(job.nextListRow++, line);
            job.lose(line);
            continue;
        }
        job.host.statusLine(3, definition.table.fileName);
        addTable(job, definition.table, position++, createTable);
    }
}

} // namespace

void runDefinitionPass(
    RepairJob &job, const std::function<bool(const frm::FrmTableEntry &)> &createTable)
{
    runDefinitionPass(job, [&createTable](const frm::FrmTableEntry &entry) -> common::Status {
        if (createTable(entry)) {
            return common::okStatus();
        }
        return common::Error { common::ErrorKind::Database, "the table could not be created", {} };
    });
}

void runDefinitionPass(
    RepairJob &job, const std::function<common::Status(const frm::FrmTableEntry &)> &createTable)
{
    const std::filesystem::path folder = job.zarafaFolderPath.empty()
        ? std::filesystem::path(job.databaseFolder) / "Zarafa"
        : std::filesystem::path(job.zarafaFolderPath);
    std::vector<std::string> settled; // tables whose .frm said all there is to say

    for (std::size_t i = 0; i < job.tableFileNames.size() && !job.stopping(); ++i) {
        const std::string &fileName = job.tableFileNames[i];
        const std::string dictionaryName
            = i < job.dictionaryNames.size() ? job.dictionaryNames[i] : std::string();
        job.host.statusLine(3, fileName);
        job.progress.step(Stage::Definitions, i, job.tableFileNames.size(), "tables");

        // A MySQL 8 folder lists .ibd files: each carries its own definition.
        const std::string path = (folder / fileName).string();
        auto table = endsWithIgnoringCase(fileName, ".ibd")
            ? innodb::readSdiDefinition(path, fileName, dictionaryName)
            : frm::readTableDefinition(path, fileName, dictionaryName);
        if (!table) {
            switch (frm::definitionProblem(table.error())) {
            case frm::DefinitionProblem::WrongVersion:
                showOk(job, common::str::kWrongVersion);
                job.flags.scanSucceeded = 0;
                return;
            case frm::DefinitionProblem::NotInnoDb:
                showOk(job, common::str::kEngineNotSupported);
                job.flags.scanSucceeded = 0;
                return;
            case frm::DefinitionProblem::View:
                settled.push_back(dictionaryName);
                // A view holds no rows; the server rebuilds none of it from the tablespace.
                job.addListRow(job.nextListRow++, fileName + " : a view, not a table: skipped");
                continue;
            case frm::DefinitionProblem::Unreadable:
            case frm::DefinitionProblem::Damaged:
                if (dictionaryStandsIn(job, dictionaryName)) {
                    job.addListRow(job.nextListRow++,
                        skippedLine(fileName, table.error())
                            + "; its definition comes from InnoDB's dictionary instead");
                    continue;
                }
                [[fallthrough]];
            case frm::DefinitionProblem::Unsupported:
                // One such definition must not cost the other tables their rows; the result
                // lacks this table, and the run says so. A .frm that names what this program
                // cannot rebuild is believed over the dictionary.
                settled.push_back(dictionaryName);
                job.addListRow(job.nextListRow++, skippedLine(fileName, table.error()));
                job.lose(skippedLine(fileName, table.error()));
                continue;
            }
        }

        addTable(job, std::move(*table), i, createTable);
    }
    addDictionaryTables(job, settled, createTable);
}

} // namespace job

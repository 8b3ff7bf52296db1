#include "job/definition_pass.h"

#include "common/strings.h"
#include "frm/table_definition_reader.h"
#include "innodb/sdi_definition.h"
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
    const auto addRow
        = [&job](int position, std::string_view text) { job.addListRow(position, text); };

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
                // A view holds no rows; the server rebuilds none of it from the tablespace.
                job.addListRow(job.nextListRow++, fileName + " : a view, not a table: skipped");
                continue;
            case frm::DefinitionProblem::Unreadable:
            case frm::DefinitionProblem::Damaged:
            case frm::DefinitionProblem::Unsupported:
                // One such definition must not cost the other tables their rows; the result
                // lacks this table, and the run says so.
                job.addListRow(job.nextListRow++, skippedLine(fileName, table.error()));
                job.lose(skippedLine(fileName, table.error()));
                continue;
            }
        }

        job.tables.push_back(std::move(*table));
        const frm::FrmTableEntry &entry = job.tables.back();
        job.log.setTableCount(entry.definitionOrder.size());
        job.log.reportTableToList(fileName, i);
        job.log.showQueuedLines(
            job.nextListRow, i, logreport::Pass::Definition, job.databaseFolder, addRow);
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
}

} // namespace job

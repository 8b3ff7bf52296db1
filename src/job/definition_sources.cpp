#include "job/definition_sources.h"

#include "job/folder_listing.h"
#include "job/mysql8_folder.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace job {

namespace {

std::size_t usableCount(const RepairJob &job)
{
    std::size_t count = 0;
    for (const auto &definition : job.dictionaryDefinitions) {
        count += definition.unsupported.empty() && !isAlterLeftover(definition.dictionaryName);
    }
    return count;
}

} // namespace

bool isAlterLeftover(std::string_view dictionaryName)
{
    return dictionaryName.find("/#sql") != std::string_view::npos;
}

const innodb::DictionaryDefinition *dictionaryDefinition(
    const RepairJob &job, std::string_view dictionaryName)
{
    for (const auto &definition : job.dictionaryDefinitions) {
        if (equalsIgnoringCase(definition.dictionaryName, dictionaryName)) {
            return &definition;
        }
    }
    return nullptr;
}

bool gatherDefinitionSources(RepairJob &job)
{
    job.dictionaryDefinitions.clear();
    std::string dictionaryProblem;
    if (!job.tablespacePath.empty()) {
        auto read = innodb::readDictionaryDefinitions(
            job.tablespacePath, "zarafa", [&job] { return job.stopping(); });
        if (read) {
            job.dictionaryDefinitions = std::move(read->tables);
            job.dictionaryProblems = std::move(read->problems);
        } else {
            dictionaryProblem = read.error().describe();
        }
    }
    if (!job.tableFileNames.empty()) {
        return true; // the .frm files come first; the dictionary only stands in for lost ones
    }
    const std::string folder = job.flags.databaseFolder();
    const std::string zarafa = job.zarafaFolderPath.empty()
        ? (fs::path(folder) / "Zarafa").string() + ": no such folder"
        : job.zarafaFolderPath + ": holds no table definition (.frm) files";
    if (const std::size_t usable = usableCount(job); usable > 0) {
        job.addListRow(job.nextListRow++,
            zarafa + "; the definitions of " + std::to_string(usable)
                + " table(s) come from InnoDB's dictionary in " + job.tablespacePath);
        return true;
    }
    job.folderProblem = zarafa;
    if (job.tablespacePath.empty()) {
        job.folderProblem += ", and there is no ibdata1 whose dictionary could stand in for them";
    } else if (!dictionaryProblem.empty()) {
        job.folderProblem += ", and the dictionary in ibdata1 cannot stand in for them: "
            + dictionaryProblem;
    } else if (!job.dictionaryDefinitions.empty()) {
        job.folderProblem += ", and the dictionary in ibdata1 cannot describe its zarafa tables: "
            + job.dictionaryDefinitions.front().dictionaryName + " "
            + job.dictionaryDefinitions.front().unsupported;
        if (!job.dictionaryProblems.empty()) {
            job.folderProblem += " (" + job.dictionaryProblems.front() + ")";
        }
    } else {
        job.folderProblem += ", and the dictionary in " + job.tablespacePath
            + " names no zarafa table";
    }
    if (looksLikeMySql8DataFolder(folder)) {
        job.folderProblem += "; this looks like a MySQL 8 data folder";
    }
    return false;
}

} // namespace job

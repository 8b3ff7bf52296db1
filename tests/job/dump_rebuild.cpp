#include "job/dump_rebuild.h"

#include "frm/create_table_text.h"
#include "job/definition_pass.h"
#include "job/dump_writer.h"
#include "job/folder_listing.h"
#include "job/row_insertion.h"
#include "job/save_database.h"
#include "mysql/statements.h"
#include "support/recording_host.h"
#include "support/truth_files.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testing_support {

DumpRebuild rebuildWithDump(mysql::WorkshopServer &server, const fs::path &folder,
    const fs::path &dump, const std::string &dumpDatabase,
    const std::function<void(mysql::Connection &)> &afterCreate)
{
    DumpRebuild result;
    auto opened = mysql::connectToServer(server, "localhost", "root", "");
    if (!opened.ok()) {
        result.problem = opened.error().message;
        return result;
    }
    result.connection = std::move(*opened);
    mysql::Connection &connection = *result.connection;
    if (!connection.execute("DROP DATABASE IF EXISTS zarafa").ok()
        || !mysql::createZarafaDatabase(connection).ok()) {
        result.problem = "cannot make the database zarafa";
        return result;
    }
    RecordingHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repair { flags, host, login, log };
    repair.databaseFolder = folder.string();
    if (!job::listTableFiles(repair, folder.string())) {
        result.problem = "no table definitions in " + folder.string();
        return result;
    }
    job::runDefinitionPass(repair, [&connection](const frm::FrmTableEntry &entry) {
        return mysql::createTableFromDefinition(connection, frm::createTableText(entry)).ok();
    });
    if (afterCreate) {
        afterCreate(connection);
    }
    auto writer = job::DumpWriter::create(
        dump, { dumpDatabase, folder.string(), "2026-12-08 04:53:05 UTC" });
    if (!writer.ok()) {
        result.problem = writer.error().describe();
        return result;
    }
    job::DataPassSteps steps;
    steps.copy = writer->get();
    steps.openWriter = [&connection](const frm::FrmTableEntry &table) {
        return std::make_unique<job::MySqlTableWriter>(connection, table);
    };
    steps.switchToInnoDb = [&connection](const frm::FrmTableEntry &table) {
        return mysql::switchTableToInnoDb(connection, table.dictionaryName);
    };
    job::saveDatabase(repair, steps);
    result.outcomes = repair.outcomes;
    if (const common::Status finished = (*writer)->finish(); !finished.ok()) {
        result.problem = finished.error().describe();
    } else if (!(*writer)->portabilityNotes().empty()) {
        result.problem = (*writer)->portabilityNotes().front();
    }
    result.rowsInDump = (*writer)->rowsWritten();
    return result;
}

std::string shellQuoted(const std::string &text)
{
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool dumpTruth(
    const mysql::WorkshopServer &server, const std::string &database, const fs::path &out)
{
    const std::string command = "python3 "
        + shellQuoted(ZR_SOURCE_DIR "/tests/fixtures/dump_truth.py") + " --socket "
        + shellQuoted(server.socketPath().string()) + " --database " + shellQuoted(database)
        + " --out " + shellQuoted(out.string());
    return std::system(command.c_str()) == 0;
}

std::string differencesFromTruth(const fs::path &dumped, const fs::path &fixture)
{
    std::string differences;
    for (const auto &entry : fs::directory_iterator(fixture / "Zarafa")) {
        if (entry.path().extension() != ".frm") {
            continue;
        }
        const std::string name = entry.path().stem().string() + ".tsv";
        const std::string difference = firstDifference(dumped / name, fixture / "truth" / name);
        if (!difference.empty()) {
            differences += name + ": " + difference + "\n";
        }
    }
    return differences;
}

} // namespace testing_support

// A rebuild as the repair makes it, on a private server, with the portable dump fed by the
// insertion; and the shell helpers the dump tests load and compare it with.
#pragma once

#include "job/repair_job.h"
#include "mysql/connection.h"
#include "mysql/workshop_server.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

struct DumpRebuild
{
    std::string problem; // empty when the rebuild and the dump went through
    std::unique_ptr<mysql::Connection> connection; // the rebuild's, to the database zarafa
    std::vector<job::TableOutcome> outcomes;
    std::uint64_t rowsInDump = 0;
};

// Rebuilds `folder` into the database zarafa of `server` (dropped first), with the dump of a
// database named `dumpDatabase` written to `dump`. `afterCreate` runs once the tables exist.
DumpRebuild rebuildWithDump(mysql::WorkshopServer &server, const std::filesystem::path &folder,
    const std::filesystem::path &dump, const std::string &dumpDatabase,
    const std::function<void(mysql::Connection &)> &afterCreate = {});

std::string shellQuoted(const std::string &text);
std::string readFile(const std::filesystem::path &path);

// dump_truth.py of `database` on `server` into `out`; true when it ran.
bool dumpTruth(const mysql::WorkshopServer &server, const std::string &database,
    const std::filesystem::path &out);

// Every table of the fixture's Zarafa folder compared with the fixture's truth; the first
// differences, empty when all equal.
std::string differencesFromTruth(
    const std::filesystem::path &dumped, const std::filesystem::path &fixture);

} // namespace testing_support

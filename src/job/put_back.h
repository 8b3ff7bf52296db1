// The guided put-back: a recovered zarafa.sql loaded into the administrator's own server. It
// never changes an existing database unless asked to move its tables aside first, checks the
// server can take the dump's largest statement before anything changes, loads statement by
// statement, and compares every table's rows with the counts the dump and its report give.
//
//     job::PutBackRequest request { "recovered/zarafa.sql", login, "", true };
//     const job::PutBackResult result = job::putBack(request, hooks);
//     if (result.outcome != job::PutBackOutcome::Loaded) { ... result.reason ... }
#pragma once

#include "mysql/client_login.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace job {

struct PutBackRequest
{
    std::filesystem::path dump;
    mysql::ClientLogin login;
    std::string database; // the database to fill; empty: the dump's own (zarafa)
    bool renameExisting = false; // move an existing database's tables to <database>_broken_<time>
};

struct PutBackHooks
{
    std::function<void(const std::string &line)> say;
    // Bytes of the dump loaded so far, of all of it.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    // A password for the account when the server refused the login without one; nothing
    // to give up. Asked at most once.
    std::function<std::optional<std::string>(const std::string &account)> askPassword;
};

enum class PutBackOutcome {
    Loaded, // every table loaded and its rows counted as the dump says
    NotChanged, // refused before the server was changed (the reason says why)
    LoadFailed, // the server was changed, then a statement failed (the reason says where)
    CountsDiffer, // loaded, but a table's rows do not match the dump's or the report's count
};

struct PutBackTable
{
    std::string name;
    std::uint64_t rows = 0; // counted on the server after the load
    std::uint64_t dumpRows = 0; // what the dump says it holds
    std::optional<std::uint64_t> reportRows; // what the report beside the dump says
};

struct PutBackResult
{
    PutBackOutcome outcome = PutBackOutcome::NotChanged;
    std::string reason; // in words for the administrator, naming cause and path
    std::string database; // the database that was filled
    std::string renamedTo; // where the existing database's tables went; empty when none
    std::vector<PutBackTable> tables;
};

PutBackResult putBack(const PutBackRequest &request, const PutBackHooks &hooks);

// The name an existing database's tables move to: "zarafa_broken_20261208_045305".
std::string brokenDatabaseName(std::string_view database);

} // namespace job

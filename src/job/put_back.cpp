#include "job/put_back.h"

#include "frm/create_table_text.h"
#include "job/dump_reader.h"
#include "job/portable_sql.h"
#include "mysql/connection.h"

#include <charconv>
#include <ctime>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

namespace job {

namespace fs = std::filesystem;

namespace {

// The largest max_allowed_packet a server takes.
constexpr std::uint64_t kLargestPacket = 1ULL << 30;

// A text as an SQL literal that reads the same in every sql_mode: hex, converted to utf8.
std::string textLiteral(std::string_view text)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (text.empty()) {
        return "''";
    }
    std::string out = "CONVERT(0x";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out + " USING utf8)";
}

std::optional<std::uint64_t> number(const std::optional<std::string> &text)
{
    std::uint64_t value = 0;
    if (!text) {
        return std::nullopt;
    }
    const auto result = std::from_chars(text->data(), text->data() + text->size(), value);
    if (result.ec != std::errc() || result.ptr != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> scalarNumber(mysql::Connection &connection, std::string_view sql)
{
    auto rows = connection.query(sql);
    if (!rows || rows->empty() || rows->front().empty()) {
        return std::nullopt;
    }
    return number(rows->front().front());
}

// The rows per table the JSON report beside the dump gives ("zarafa/acl" -> 17), keyed by the
// table name; empty when there is no report or it cannot be read (the dump's own counts stay).
std::map<std::string, std::uint64_t> reportCounts(const fs::path &dump, const PutBackHooks &hooks)
{
    std::map<std::string, std::uint64_t> counts;
    const fs::path report = dump.parent_path() / "report.json";
    std::ifstream in(report, std::ios::binary);
    if (!in) {
        return counts;
    }
    const nlohmann::json document = nlohmann::json::parse(in, nullptr, false);
    if (document.is_discarded() || !document.contains("tables") || !document["tables"].is_array()) {
        hooks.say(report.string()
            + ": not a report this program can read; the dump's own "
              "counts are used");
        return counts;
    }
    for (const auto &table : document["tables"]) {
        if (!table.is_object() || !table.contains("name") || !table["name"].is_string()
            || !table.contains("rowsInserted") || !table["rowsInserted"].is_number_unsigned()) {
            continue;
        }
        std::string name = table["name"].get<std::string>();
        if (const std::size_t slash = name.find('/'); slash != std::string::npos) {
            name = name.substr(slash + 1);
        }
        counts[name] = table["rowsInserted"].get<std::uint64_t>();
    }
    return counts;
}

PutBackResult refused(std::string reason)
{
    PutBackResult result;
    result.outcome = PutBackOutcome::NotChanged;
    result.reason = std::move(reason);
    return result;
}

common::Result<std::unique_ptr<mysql::Connection>> logIn(
    mysql::ClientLogin &login, const PutBackHooks &hooks, bool mayAsk)
{
    auto connection = mysql::Connection::open(mysql::clientConnectionString(login));
    if (connection.ok() || !mayAsk || login.password || !hooks.askPassword
        || !mysql::isAccessDenied(connection.error())) {
        return connection;
    }
    auto password = hooks.askPassword(mysql::accountText(login));
    if (!password) {
        return connection;
    }
    login.password = std::move(password);
    return mysql::Connection::open(mysql::clientConnectionString(login));
}

// Makes sure the server takes a statement of `largest` bytes; raises its limit when the account
// may. Empty when it does, else why not.
std::string ensurePacketSize(std::unique_ptr<mysql::Connection> &connection,
    mysql::ClientLogin &login, std::uint64_t largest, const PutBackHooks &hooks)
{
    const std::uint64_t needed = std::min(kLargestPacket, (largest + 1024 + 1023) / 1024 * 1024);
    const auto session = scalarNumber(*connection, "SELECT @@SESSION.max_allowed_packet");
    if (!session || *session >= needed) {
        return {};
    }
    if (largest + 1024 > kLargestPacket) {
        return "the dump holds a statement of " + std::to_string(largest)
            + " bytes, more than any server takes";
    }
    if (!connection->execute("SET GLOBAL max_allowed_packet = " + std::to_string(needed)).ok()) {
        return "the dump holds a statement of " + std::to_string(largest)
            + " bytes and the server takes at most " + std::to_string(*session)
            + " (max_allowed_packet). Raise it (SET GLOBAL max_allowed_packet = "
            + std::to_string(needed) + "; or max_allowed_packet = " + std::to_string(needed)
            + " in the [mysqld] section of my.cnf and a restart) and run put-back again";
    }
    hooks.say("Raised the server's max_allowed_packet from " + std::to_string(*session) + " to "
        + std::to_string(needed) + " bytes for the dump's largest statement.");
    // A session takes the global value when it starts.
    auto again = logIn(login, hooks, false);
    if (!again.ok()) {
        return "cannot log in again after raising max_allowed_packet: " + again.error().message;
    }
    connection = std::move(*again);
    return {};
}

std::string tableList(const std::vector<std::string> &names)
{
    std::string out;
    for (std::size_t i = 0; i < names.size() && i < 5; ++i) {
        out += (i ? ", " : "") + names[i];
    }
    if (names.size() > 5) {
        out += " and " + std::to_string(names.size() - 5) + " more";
    }
    return out;
}

// Moves every table of an existing `database` into a new database of the broken name, in one
// RENAME TABLE so that either all move or none. Empty when done (or nothing was there).
std::string moveAside(mysql::Connection &connection, const std::string &database,
    PutBackResult &result, const PutBackHooks &hooks)
{
    const std::string schema = textLiteral(database);
    auto tables = connection.query(
        "SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
        + schema + " ORDER BY TABLE_NAME");
    if (!tables) {
        return "cannot list the tables of `" + database + "`: " + tables.error().message;
    }
    std::vector<std::string> baseTables;
    std::vector<std::string> others;
    for (const auto &row : *tables) {
        if (row.size() < 2 || !row[0]) {
            continue;
        }
        (row[1].value_or("") == "BASE TABLE" ? baseTables : others).push_back(*row[0]);
    }
    if (!others.empty()) {
        return "`" + database + "` holds views that cannot be moved to another database ("
            + tableList(others) + "); move or drop them yourself and run put-back again";
    }
    if (baseTables.empty()) {
        hooks.say("The server's database `" + database
            + "` holds no tables; the recovered tables go into it.");
        return {};
    }
    const std::string broken = brokenDatabaseName(database);
    if (scalarNumber(connection,
            "SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = "
                + textLiteral(broken))
            .value_or(1)
        != 0) {
        return "a database `" + broken + "` exists already; try again in a second";
    }
    auto charset = connection.query("SELECT DEFAULT_CHARACTER_SET_NAME FROM "
                                    "information_schema.SCHEMATA WHERE SCHEMA_NAME = "
        + schema);
    std::string create = "CREATE DATABASE " + frm::quoteIdentifier(broken);
    if (charset && !charset->empty() && !charset->front().empty() && charset->front()[0]) {
        create += " DEFAULT CHARACTER SET " + frm::quoteIdentifier(*charset->front()[0]);
    }
    if (const common::Status made = connection.execute(create); !made.ok()) {
        return "cannot create `" + broken + "` for the existing tables: " + made.error().message;
    }
    std::string rename = "RENAME TABLE ";
    for (std::size_t i = 0; i < baseTables.size(); ++i) {
        rename += (i ? ", " : "") + frm::quoteIdentifier(database) + "."
            + frm::quoteIdentifier(baseTables[i]) + " TO " + frm::quoteIdentifier(broken) + "."
            + frm::quoteIdentifier(baseTables[i]);
    }
    if (const common::Status moved = connection.execute(rename); !moved.ok()) {
        (void)connection.execute("DROP DATABASE " + frm::quoteIdentifier(broken)); // empty, ours
        return "the server would not move the tables of `" + database + "` aside (nothing was "
            + "moved): " + moved.error().message;
    }
    result.renamedTo = broken;
    hooks.say("Moved the " + std::to_string(baseTables.size()) + " tables of `" + database
        + "` into `" + broken + "`; they stay there untouched.");
    return {};
}

} // namespace

std::string brokenDatabaseName(std::string_view database)
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
    return std::string(database) + "_broken_" + stamp;
}

PutBackResult putBack(const PutBackRequest &request, const PutBackHooks &hooks)
{
    auto summary = readDumpSummary(request.dump);
    if (!summary) {
        return refused(summary.error().describe());
    }
    if (!summary->complete) {
        return refused(request.dump.string()
            + ": the dump ends before its completion line, so it was cut short (a full disk, "
              "a copy that did not finish); nothing was loaded");
    }
    if (summary->database.empty()) {
        return refused(request.dump.string() + ": the dump names no database");
    }
    const std::string database = request.database.empty() ? summary->database : request.database;
    if (database.size() > 64) {
        return refused("the database name is longer than the 64 characters a server takes");
    }
    const std::map<std::string, std::uint64_t> report = reportCounts(request.dump, hooks);

    mysql::ClientLogin login = request.login;
    auto connection = logIn(login, hooks, true);
    if (!connection.ok()) {
        return refused("cannot log in to the server as " + mysql::accountText(login) + ": "
            + connection.error().message);
    }
    if (std::string problem
        = ensurePacketSize(*connection, login, summary->largestStatement, hooks);
        !problem.empty()) {
        return refused(problem);
    }

    PutBackResult result;
    result.database = database;
    const auto exists = scalarNumber(**connection,
        "SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = "
            + textLiteral(database));
    if (!exists) {
        return refused("cannot ask the server which databases it has");
    }
    if (*exists > 0) {
        if (!request.renameExisting) {
            return refused("the server already has a database `" + database
                + "`; put-back does not change it. Give --rename-existing to move its tables "
                  "aside into `"
                + database + "_broken_<time>` first, or --database to load under another name");
        }
        if (std::string problem = moveAside(**connection, database, result, hooks);
            !problem.empty()) {
            return refused(problem);
        }
    }

    auto reader = SqlStatementReader::open(request.dump);
    if (!reader) {
        return refused(reader.error().describe());
    }
    // The dump's own CREATE DATABASE and USE name its database; they take the chosen one.
    const std::string ownCreate = createDatabaseStatement(summary->database);
    const std::string ownUse = useStatement(summary->database);
    const std::string_view createText(ownCreate.data(), ownCreate.size() - 2); // without ";\n"
    const std::string_view useText(ownUse.data(), ownUse.size() - 2);
    const std::string chosenCreate = createDatabaseStatement(database);
    const std::string chosenUse = useStatement(database);
    const std::string where = result.renamedTo.empty()
        ? std::string()
        : "; the tables that were there are in `" + result.renamedTo + "`";
    hooks.say("Loading " + request.dump.string() + " into `" + database + "` ...");
    while (auto statement = (*reader)->next()) {
        std::string_view text = statement->text;
        if (text == createText) {
            text = std::string_view(chosenCreate.data(), chosenCreate.size() - 2);
        } else if (text == useText) {
            text = std::string_view(chosenUse.data(), chosenUse.size() - 2);
        }
        if (const common::Status ran = (*connection)->execute(text); !ran.ok()) {
            result.outcome = PutBackOutcome::LoadFailed;
            result.reason = request.dump.string() + " line " + std::to_string(statement->line)
                + ": the server refused the statement: " + ran.error().message
                + ". The load stopped there: `" + database + "` holds what was loaded before it"
                + where;
            return result;
        }
        if (hooks.progress) {
            hooks.progress(statement->endOffset, (*reader)->size());
        }
    }
    if (!(*reader)->problem().empty()) {
        result.outcome = PutBackOutcome::LoadFailed;
        result.reason = (*reader)->problem() + ". The load stopped there" + where;
        return result;
    }

    result.outcome = PutBackOutcome::Loaded;
    for (const DumpTableCount &table : summary->tables) {
        PutBackTable checked;
        checked.name = table.name;
        checked.dumpRows = table.rows;
        if (const auto it = report.find(table.name); it != report.end()) {
            checked.reportRows = it->second;
        }
        const auto counted = scalarNumber(**connection,
            "SELECT COUNT(*) FROM " + frm::quoteIdentifier(database) + "."
                + frm::quoteIdentifier(table.name));
        checked.rows = counted.value_or(0);
        if (!counted || checked.rows != checked.dumpRows
            || (checked.reportRows && *checked.reportRows != checked.rows)) {
            result.outcome = PutBackOutcome::CountsDiffer;
            if (result.reason.empty()) {
                result.reason = "table `" + table.name + "` holds "
                    + (counted ? std::to_string(checked.rows) : std::string("an unknown number of"))
                    + " rows where the dump says " + std::to_string(checked.dumpRows)
                    + (checked.reportRows ? " and the report " + std::to_string(*checked.reportRows)
                                          : std::string());
            }
        }
        result.tables.push_back(std::move(checked));
    }
    return result;
}

} // namespace job

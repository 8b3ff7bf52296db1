#include "job/run_report.h"

#include "common/strings.h"
#include "common/utf8.h"
#include "job/salvage_rows.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

namespace job {

namespace {

using Json = nlohmann::ordered_json;

std::string hexText(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

// A path field: null when there is no such output; a path that is not UTF-8 also as hex, as the
// text itself then shows U+FFFD where its odd bytes were.
void putPath(Json &object, const std::string &name, const std::string &path)
{
    if (path.empty()) {
        object[name] = nullptr;
        return;
    }
    object[name] = path;
    if (!common::isValidUtf8(path)) {
        object[name + "Hex"] = hexText(path);
    }
}

Json keyJson(const std::vector<innodb::KeyPart> &parts)
{
    Json key = Json::object();
    for (const auto &part : parts) {
        key[part.column] = part.value;
    }
    return key;
}

// What the table's damaged pages still gave, page by page, and each row in doubt.
Json salvageJson(const SalvageOutcome &salvage)
{
    Json pages = Json::array();
    for (const SalvagedPage &page : salvage.pages) {
        pages.push_back({ { "page", page.page }, { "rows", page.rows } });
    }
    Json doubtful = Json::array();
    for (const DoubtfulRow &row : salvage.doubtful) {
        doubtful.push_back(
            { { "key", keyJson(row.key) }, { "page", row.page }, { "doubt", row.doubt } });
    }
    return {
        { "database", std::string(kSalvagedDatabase) },
        { "pagesWalked", salvage.pagesWalked },
        { "rowsSalvaged", salvage.rowsSalvaged },
        { "rowsInQuarantine", salvage.rowsQuarantined },
        { "rowsMerged", salvage.rowsMerged },
        { "rowsInDoubt", salvage.rowsDoubtful },
        { "rowsRefused", salvage.rowsRefused },
        { "rowsNotKept", salvage.rowsNotKept },
        { "rowsAlreadyRecovered", salvage.rowsAlreadyRecovered },
        { "recordsRejected", salvage.recordsRejected },
        { "rowsWithDamagedLongValues", salvage.rowsWithDamagedLongValues },
        { "pages", pages },
        { "doubtfulRows", doubtful },
        { "problem", salvage.problem.empty() ? Json(nullptr) : Json(salvage.problem) },
    };
}

Json tableJson(const TableOutcome &table)
{
    Json out;
    out["name"] = table.name;
    const std::string notRead = notReadReason(table);
    out["read"] = notRead.empty() && !table.notInFolder;
    out["notReadBecause"] = notRead.empty() ? Json(nullptr) : Json(notRead);
    out["definition_source"]
        = table.definitionSource.empty() ? Json(nullptr) : Json(table.definitionSource);
    out["definitionMissing"] = table.definitionMissing;
    out["inDictionary"] = table.inDictionary;
    out["notInFolder"] = table.notInFolder;
    out["pagesRead"] = table.pagesRead;
    out["pagesFailedChecks"] = table.pagesRejected + table.pagesUnreadable;
    out["pagesRepairedFromDoublewrite"] = table.pagesRepaired;
    out["orphanPagesRead"] = table.orphanPages;
    out["recordsWalked"] = table.recordsWalked;
    out["rowsInserted"] = table.rowsInserted;
    out["rowsRefused"] = table.rowsRefused;
    out["deleteMarkedSkipped"] = table.deleteMarkedSkipped;
    out["recordsDamaged"] = table.recordsRejected;
    out["rowsWithDamagedLongValues"] = table.rowsWithDamagedLongValues;
    out["valuesCutShort"] = table.valuesTruncated;
    out["switchedToInnoDb"] = notRead.empty() && table.switchProblem.empty();
    out["switchProblem"] = table.switchProblem.empty() ? Json(nullptr) : Json(table.switchProblem);
    Json damaged = Json::array();
    for (const DamagedRow &row : table.damagedRows) {
        damaged.push_back(
            { { "key", keyJson(row.key) }, { "damage", row.damage }, { "kept", row.kept } });
    }
    out["damagedRows"] = damaged;
    out["salvaged"] = salvageJson(table.salvage);
    out["problems"] = table.problems;
    out["affected"] = tableAffected(table);
    return out;
}

const char *lossName(LostObject::Loss loss)
{
    switch (loss) {
    case LostObject::Loss::Row:
        return "row";
    case LostObject::Loss::Properties:
        return "properties";
    default:
        return "parent";
    }
}

Json lossCountsJson(const ObjectLossCounts &counts)
{
    return { { "lost", counts.lost }, { "incomplete", counts.incomplete } };
}

Json mailboxesJson(const MailboxLosses &losses)
{
    Json out;
    out["available"] = losses.unavailable.empty();
    out["unavailableBecause"]
        = losses.unavailable.empty() ? Json(nullptr) : Json(losses.unavailable);
    out["hierarchyRangesLost"] = losses.hierarchyRangesLost;
    out["propertyRangesLost"] = losses.propertyRangesLost;
    Json mailboxes = Json::array();
    for (const MailboxLoss &mailbox : losses.mailboxes) {
        Json entry;
        entry["user"] = mailbox.store == 0 ? Json(nullptr) : Json(mailbox.user);
        entry["store"] = mailbox.store == 0 ? Json(nullptr) : Json(mailbox.store);
        entry["line"] = mailboxLine(mailbox);
        entry["messages"] = lossCountsJson(mailbox.messages);
        entry["folders"] = lossCountsJson(mailbox.folders);
        entry["attachments"] = lossCountsJson(mailbox.attachments);
        entry["storeRowLost"] = mailbox.storeRowLost;
        entry["otherObjectsLost"] = mailbox.otherObjectsLost;
        entry["orphans"] = mailbox.orphans;
        Json folders = Json::array();
        for (const FolderLoss &folder : mailbox.messagesLostIn) {
            folders.push_back({ { "folder", folder.folder == 0 ? Json(nullptr) : Json(folder.folder) },
                { "name", folder.name.empty() ? Json(nullptr) : Json(folder.name) },
                { "messages", folder.messages } });
        }
        entry["messagesLostIn"] = folders;
        Json objects = Json::array();
        for (const LostObject &object : mailbox.objects) {
            Json item { { "id", object.id }, { "type", objectTypeName(object.type) },
                { "lost", lossName(object.loss) } };
            if (object.folder != 0) {
                item["folder"] = object.folder;
            }
            objects.push_back(std::move(item));
        }
        entry["objects"] = objects;
        mailboxes.push_back(std::move(entry));
    }
    out["mailboxes"] = mailboxes;
    return out;
}

} // namespace

RunReport makeRunReport(const RepairJob &job)
{
    RunReport report;
    report.folder = job.databaseFolder.empty() ? job.flags.databaseFolder() : job.databaseFolder;
    report.verdict = judgeRun(job);
    report.tables = job.outcomes;
    report.mailboxLosses = job.mailboxLosses;
    report.failures = job.failures;
    report.losses = job.losses;
    report.phases = job.phaseTimes;
    report.finished = job.finishTime;
    report.resultPath = job.resultFolder;
    report.recoveredPath = job.rebuildFinished ? job.recoveredFolder : std::string();
    report.dumpPath = job.dumpPath;
    report.salvagedDumpPath = job.salvagedDumpPath;
    return report;
}

std::string summaryText(const RunReport &report)
{
    std::ostringstream out;
    const RunTotals &totals = report.verdict.totals;
    out << "Tables: " << report.tables.size() << '\n';
    for (const auto &table : report.tables) {
        out << "  " << table.name << ": ";
        if (table.definitionMissing) {
            out << (table.notInFolder
                    ? "named by the dictionary only: neither its definition nor its rows are in "
                      "the folder\n"
                    : "no definition file, not recovered\n");
            continue;
        }
        if (const std::string notRead = notReadReason(table); !notRead.empty()) {
            out << "not read: " << notRead << '\n';
            continue;
        }
        out << table.rowsInserted << " rows recovered";
        if (!table.definitionSource.empty() && table.definitionSource != "frm") {
            out << " (definition from the " << table.definitionSource << ")";
        }
        if (table.rowsRefused > 0) {
            out << ", " << table.rowsRefused << " refused by the server";
        }
        if (table.rowsWithDamagedLongValues > 0) {
            out << ", " << table.rowsWithDamagedLongValues << " left out for damaged long values";
        }
        if (table.valuesTruncated > 0) {
            out << ", " << table.valuesTruncated << " kept with a value cut short";
        }
        if (table.recordsRejected > 0) {
            out << ", " << table.recordsRejected << " damaged records left out";
        }
        if (table.deleteMarkedSkipped > 0) {
            out << ", " << table.deleteMarkedSkipped << " deleted rows left out";
        }
        if (table.pagesRejected + table.pagesUnreadable > 0) {
            out << ", " << table.pagesRejected + table.pagesUnreadable << " damaged pages";
        }
        if (table.pagesRepaired > 0) {
            out << ", " << table.pagesRepaired << " pages repaired from the doublewrite buffer";
        }
        if (!table.switchProblem.empty()) {
            out << ", stays MyISAM";
        }
        out << '\n';
        if (table.salvage.rowsSalvaged > 0) {
            out << "      salvaged: " << salvageSummary(table.salvage) << '\n';
        }
        // Damage met on the way, in the reader's words: which page, and why its rows are lost.
        for (const auto &problem : table.problems) {
            out << "      damaged: " << problem << '\n';
        }
    }
    std::uint64_t refused = 0;
    for (const auto &table : report.tables) {
        refused += table.rowsRefused;
    }
    if (!report.mailboxLosses.unavailable.empty()) {
        out << "Mailboxes: " << report.mailboxLosses.unavailable << '\n';
    } else if (!report.mailboxLosses.mailboxes.empty()) {
        out << "Mailboxes affected: " << report.mailboxLosses.mailboxes.size() << '\n';
        for (const MailboxLoss &mailbox : report.mailboxLosses.mailboxes) {
            out << "  " << mailboxLine(mailbox) << '\n';
        }
    }
    out << "Rows recovered: " << totals.rowsRecovered << '\n';
    out << "Rows refused by the server: " << refused << '\n';
    if (totals.deletedLeftOut > 0) {
        out << "Deleted rows left out: " << totals.deletedLeftOut << '\n';
    }
    if (totals.repairedPages > 0) {
        out << "Damaged pages repaired from the doublewrite buffer: " << totals.repairedPages
            << '\n';
    }
    if (!report.resultPath.empty()) {
        out << "Result: " << report.resultPath << '\n';
    }
    if (!report.recoveredPath.empty()) {
        out << "Recovered Folder: " << report.recoveredPath << '\n';
    }
    if (!report.dumpPath.empty()) {
        out << "Portable dump: " << report.dumpPath << '\n';
    }
    if (!report.salvagedDumpPath.empty()) {
        out << "Salvaged rows: " << report.salvagedDumpPath << '\n';
    }
    for (std::size_t i = 1; i < report.verdict.reasons.size(); ++i) {
        out << "  " << report.verdict.reasons[i] << '\n';
    }
    out << outcomeLine(report.verdict) << '\n';
    return out.str();
}

std::string reportJson(const RunReport &report)
{
    const RunTotals &totals = report.verdict.totals;
    Json json;
    json["format"] = kReportFormat;
    json["program"] = "zarafa-repair";
    json["version"] = std::string(common::kProductVersion);
    putPath(json, "folder", report.folder);
    json["outcome"] = std::string(outcomeName(report.verdict.outcome));
    json["outcomeText"] = outcomeLine(report.verdict);
    json["reasons"] = report.verdict.reasons;
    json["totals"] = {
        { "tables", totals.tables },
        { "tablesRead", totals.tablesRead },
        { "tablesNotRead", totals.tablesNotRead },
        { "tablesAffected", totals.tablesAffected },
        { "rowsRecovered", totals.rowsRecovered },
        { "rowsLost", totals.rowsLost },
        { "rowsKeptWithValuesCut", totals.rowsCut },
        { "damagedPages", totals.damagedPages },
        { "pagesRepairedFromDoublewrite", totals.repairedPages },
        { "deleteMarkedSkipped", totals.deletedLeftOut },
    };
    Json outputs = Json::object();
    putPath(outputs, "folder", report.resultPath);
    putPath(outputs, "recoveredFolder", report.recoveredPath);
    putPath(outputs, "dump", report.dumpPath);
    putPath(outputs, "salvagedDump", report.salvagedDumpPath);
    putPath(outputs, "log", report.logPath);
    putPath(outputs, "report", report.reportPath);
    json["outputs"] = outputs;
    json["failures"] = report.failures;
    json["losses"] = report.losses;
    Json phases = Json::array();
    for (const auto &phase : report.phases) {
        phases.push_back({ { "name", phase.name }, { "seconds", phase.seconds } });
    }
    json["phases"] = phases;
    json["finished"] = report.finished.empty() ? Json(nullptr) : Json(report.finished);
    Json tables = Json::array();
    for (const auto &table : report.tables) {
        tables.push_back(tableJson(table));
    }
    json["tables"] = tables;
    if (report.mailboxLosses.zarafa) {
        json["mailboxLosses"] = mailboxesJson(report.mailboxLosses);
    }
    // Texts come from the data folder (names, keys, paths): never let their bytes make the
    // document invalid.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace job

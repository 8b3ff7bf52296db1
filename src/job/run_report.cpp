#include "job/run_report.h"

#include <cstdio>
#include <sstream>

namespace job {

namespace {

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

} // namespace

RunReport makeRunReport(const RepairJob &job)
{
    RunReport report;
    report.folder = job.databaseFolder.empty() ? job.flags.databaseFolder() : job.databaseFolder;
    report.recoveredPath = job.rebuildFinished ? job.flags.repairedPath() : std::string();
    if (job.flags.scanSucceeded == 0 || job.flags.folderInvalid == 1) {
        report.outcome = "failed";
    } else if (job.flags.userStopRequested != 0) {
        report.outcome = "stopped";
    } else {
        report.outcome = "completed";
    }
    report.tables = job.outcomes;
    return report;
}

std::string summaryText(const RunReport &report)
{
    std::ostringstream out;
    std::uint64_t inserted = 0;
    std::uint64_t refused = 0;
    std::uint64_t skipped = 0;
    out << "Tables: " << report.tables.size() << '\n';
    for (const auto &table : report.tables) {
        out << "  " << table.name << ": ";
        if (table.definitionMissing) {
            out << "no definition file, not recovered\n";
            continue;
        }
        out << table.rowsInserted << " rows recovered";
        if (table.rowsRefused > 0) {
            out << ", " << table.rowsRefused << " refused by the server";
        }
        if (table.deleteMarkedSkipped > 0) {
            out << ", " << table.deleteMarkedSkipped << " deleted rows left out";
        }
        if (table.pagesRejected + table.pagesUnreadable > 0) {
            out << ", " << table.pagesRejected + table.pagesUnreadable << " damaged pages";
        }
        out << '\n';
        // Damage met on the way, in the reader's words: which page, and why its rows are lost.
        for (const auto &problem : table.problems) {
            out << "      damaged: " << problem << '\n';
        }
        inserted += table.rowsInserted;
        refused += table.rowsRefused;
        skipped += table.deleteMarkedSkipped;
    }
    out << "Rows recovered: " << inserted << '\n';
    out << "Rows refused by the server: " << refused << '\n';
    if (skipped > 0) {
        out << "Deleted rows left out: " << skipped << '\n';
    }
    if (!report.recoveredPath.empty()) {
        out << "Recovered Folder: " << report.recoveredPath << '\n';
    }
    return out.str();
}

std::string reportJson(const RunReport &report)
{
    std::ostringstream out;
    out << "{\n  \"folder\": " << jsonString(report.folder)
        << ",\n  \"outcome\": " << jsonString(report.outcome)
        << ",\n  \"recoveredFolder\": " << jsonString(report.recoveredPath) << ",\n  \"tables\": [";
    bool first = true;
    for (const auto &table : report.tables) {
        out << (first ? "\n" : ",\n") << "    {\"name\": " << jsonString(table.name)
            << ", \"definitionMissing\": " << (table.definitionMissing ? "true" : "false")
            << ", \"inDictionary\": " << (table.inDictionary ? "true" : "false")
            << ", \"pagesRead\": " << table.pagesRead
            << ", \"pagesFailedChecks\": " << table.pagesRejected + table.pagesUnreadable
            << ", \"orphanPagesRead\": " << table.orphanPages
            << ", \"recordsWalked\": " << table.recordsWalked
            << ", \"rowsInserted\": " << table.rowsInserted
            << ", \"rowsRefused\": " << table.rowsRefused
            << ", \"deleteMarkedSkipped\": " << table.deleteMarkedSkipped
            << ", \"recordsDamaged\": " << table.recordsRejected
            << ", \"valuesCutShort\": " << table.valuesTruncated << ", \"problems\": [";
        for (std::size_t i = 0; i < table.problems.size(); ++i) {
            out << (i ? ", " : "") << jsonString(table.problems[i]);
        }
        out << "]}";
        first = false;
    }
    out << (first ? "]\n}\n" : "\n  ]\n}\n");
    return out.str();
}

} // namespace job

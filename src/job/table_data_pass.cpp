#include "job/table_data_pass.h"

#include "common/strings.h"
#include "innodb/long_value_store.h"
#include "innodb/record_decoder.h"
#include "innodb/row_key_text.h"
#include "innodb/table_reader.h"
#include "job/folder_listing.h"
#include "job/heap_release.h"
#include "job/mailbox_evidence.h"
#include "job/salvage_rows.h"
#include "job/table_switches.h"

#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace job {

namespace {

const frm::FrmTableEntry *findDefinition(const RepairJob &job, std::string_view dictionaryName)
{
    for (const auto &table : job.tables) {
        if (equalsIgnoringCase(table.dictionaryName, dictionaryName)) {
            return &table;
        }
    }
    return nullptr;
}

// The data pass's share of the run. Each table weighs its leaf pages, and its switch to InnoDB a
// quarter of that again (the server copies every row once more); a table without pages weighs 1.
class DataPassProgress
{
public:
    DataPassProgress(RepairJob &job, const innodb::TablespaceSet *spaces)
        : m_job(job)
    {
        if (spaces) {
            for (const innodb::TableInSpace &space : spaces->tables()) {
                if (findDefinition(job, space.entry.name)) {
                    const std::uint64_t pages = pagesOf(space);
                    m_pagesAll += pages;
                    m_weightAll += pages + std::max<std::uint64_t>(1, pages / 4);
                }
            }
        }
        for (const frm::FrmTableEntry &table : job.tables) {
            if (!spaces || !spaces->find(table.dictionaryName)) {
                ++m_weightAll; // created empty and switched all the same
            }
        }
        m_job.progress.step(Stage::Data, 0.0, 0, m_pagesAll, "pages");
    }

    static std::uint64_t pagesOf(const innodb::TableInSpace &space)
    {
        const innodb::rawtable *group
            = space.scan ? space.scan->group(space.entry.indexId) : nullptr;
        return group ? group->pageSlots.size() : 0;
    }

    void startTable(std::uint64_t pages)
    {
        m_tablePages = pages;
        m_tableRead = 0;
    }
    void page()
    {
        if (m_tableRead < m_tablePages) {
            ++m_tableRead;
            ++m_pagesDone;
        }
        report();
    }
    // The table's rows are in; its switch may still run beside the next table.
    void rowsDone()
    {
        m_weightDone += m_tablePages;
        m_pagesDone += m_tablePages - m_tableRead;
        m_tablePages = 0;
        m_tableRead = 0;
        report();
    }
    void switchDone(std::uint64_t tablePages)
    {
        m_weightDone += std::max<std::uint64_t>(1, tablePages / 4);
        report();
    }

private:
    void report()
    {
        const double within = m_weightAll == 0
            ? 1.0
            : static_cast<double>(m_weightDone + m_tableRead) / static_cast<double>(m_weightAll);
        m_job.progress.step(Stage::Data, within, m_pagesDone, m_pagesAll, "pages");
    }

    RepairJob &m_job;
    std::uint64_t m_pagesAll = 0;
    std::uint64_t m_pagesDone = 0;
    std::uint64_t m_weightAll = 0;
    std::uint64_t m_weightDone = 0;
    std::uint64_t m_tablePages = 0;
    std::uint64_t m_tableRead = 0;
};

void addRow(RepairJob &job, std::string text) { job.addListRow(job.nextListRow++, text); }

// The server's reason when it refused to create `dictionaryName`, or null when it was created.
const std::string *notCreated(const RepairJob &job, std::string_view dictionaryName)
{
    for (const auto &[name, reason] : job.tablesNotCreated) {
        if (equalsIgnoringCase(name, dictionaryName)) {
            return &reason;
        }
    }
    return nullptr;
}

// Between the decoder and the table's writer: notes every row left out or cut for a damaged long
// value, by its key, so that the report can name each one.
class DamagedRowNotes : public innodb::RowSink
{
public:
    DamagedRowNotes(innodb::RowSink &next, std::vector<DamagedRow> &notes)
        : m_next(next)
        , m_notes(notes)
    {
    }
    void acceptRow(const innodb::DecodedRow &row) override
    {
        if (!row.cutColumns.empty()) {
            m_notes.push_back({ innodb::keyParts(row), row.damage, true });
        }
        m_next.acceptRow(row);
    }
    void rowLeftOut(const innodb::DecodedRow &row) override
    {
        m_notes.push_back({ innodb::keyParts(row), row.damage, false });
        m_next.rowLeftOut(row);
    }

private:
    innodb::RowSink &m_next;
    std::vector<DamagedRow> &m_notes;
};

// The rows its damaged pages still gave, and where they went.
void addSalvageRows(RepairJob &job, const TableOutcome &outcome)
{
    const SalvageOutcome &salvage = outcome.salvage;
    if (salvage.rowsSalvaged == 0) {
        return;
    }
    addRow(job, outcome.name + ": " + salvageSummary(salvage));
    if (!salvage.problem.empty()) {
        addRow(job, outcome.name + ": " + salvage.problem);
    }
}

// The window's list names at most this many damaged rows per table; the report names them all.
constexpr std::size_t kDamagedRowsListed = 20;

// The figures a user must know about beyond the recovered count: rows lost to the server, rows
// left out on purpose, and damage met on the way. Only non-zero figures get a line.
void addDetailRows(RepairJob &job, const TableOutcome &outcome)
{
    const auto line = [&](int stringId, std::uint64_t count) {
        if (count > 0) {
            addRow(job, std::string(common::text(stringId)) + " : " + std::to_string(count));
        }
    };
    line(common::str::kRowsRefused, outcome.rowsRefused);
    line(common::str::kDeleteMarkedSkipped, outcome.deleteMarkedSkipped);
    line(common::str::kPagesFailedChecks, outcome.pagesRejected + outcome.pagesUnreadable);
    line(common::str::kPagesRepaired, outcome.pagesRepaired);
    line(common::str::kRecordsDamaged, outcome.recordsRejected);
    line(common::str::kValuesCutShort, outcome.valuesTruncated);
    line(common::str::kRowsWithDamagedLongValues, outcome.rowsWithDamagedLongValues);
    addSalvageRows(job, outcome);
    for (const auto &problem : outcome.problems) {
        addRow(job, problem);
    }
    for (std::size_t i = 0; i < outcome.damagedRows.size() && i < kDamagedRowsListed; ++i) {
        const DamagedRow &row = outcome.damagedRows[i];
        addRow(job,
            outcome.name + ": row " + innodb::keyText(row.key)
                + (row.kept ? " kept with a value cut short: " : " left out: ") + row.damage);
    }
    if (outcome.damagedRows.size() > kDamagedRowsListed) {
        addRow(job,
            outcome.name + ": " + std::to_string(outcome.damagedRows.size() - kDamagedRowsListed)
                + " more rows with damaged long values are named in the report");
    }
}

// A table whose rows are in, waiting for its switch to InnoDB before its lines are shown.
struct EndingTable
{
    TableOutcome outcome;
    std::size_t position = 0;
    const frm::FrmTableEntry *table = nullptr;
    std::uint64_t pages = 0;
    bool switching = false; // handed to the background switches
};

bool switchesTable(const RepairJob &job, const TableOutcome &outcome,
    const frm::FrmTableEntry *table, const DataPassSteps &steps)
{
    // Every table that exists is switched, an empty one too: the rebuilt database must hold the
    // tables the Zarafa server expects, with the engine it expects.
    return table && (steps.switches || steps.switchToInnoDb) && !notCreated(job, outcome.name);
}

void noteSwitch(TableOutcome &outcome, const common::Status &switched)
{
    if (!switched.ok()) {
        // Its rows are all there, but in a MyISAM table the Zarafa server does not expect.
        outcome.switchProblem = switched.error().describe();
        outcome.problems.push_back(outcome.name
            + ": the switch to InnoDB was refused, the table stays MyISAM: "
            + outcome.switchProblem);
    }
}

// The end of each table's rows, also after a stop: the dump closes the table, and its switch to
// InnoDB runs in place or is handed to the background switches.
EndingTable beginTableEnd(RepairJob &job, TableOutcome outcome, std::size_t position,
    const frm::FrmTableEntry *table, std::uint64_t pages, const DataPassSteps &steps,
    DataPassProgress &progress)
{
    if (table && steps.copy && !notCreated(job, outcome.name)) {
        steps.copy->endTable(*table, outcome.rowsInserted);
    }
    progress.rowsDone();
    EndingTable ending { std::move(outcome), position, table, pages, false };
    if (!switchesTable(job, ending.outcome, table, steps)) {
        return ending;
    }
    if (steps.switches) {
        steps.switches->begin(*table);
        ending.switching = true;
    } else {
        job.host.setEnabled(Control::StartStop, false);
        noteSwitch(ending.outcome, steps.switchToInnoDb(*table));
        job.host.setEnabled(Control::StartStop, true);
        progress.switchDone(pages);
    }
    return ending;
}

// The rest of a table's end, once its switch has ended: its lines for the window's list, the
// entry in the log report, its outcome.
void finishTableEnd(
    RepairJob &job, EndingTable &ending, const DataPassSteps &steps, DataPassProgress &progress)
{
    TableOutcome &outcome = ending.outcome;
    if (ending.switching) {
        // The switch's own status line and a Start/Stop button that cannot cut it short, while
        // the server still copies the table.
        job.host.setEnabled(Control::StartStop, false);
        job.host.statusLine(1, {});
        noteSwitch(outcome, steps.switches->endOldest());
        job.host.setEnabled(Control::StartStop, true);
        progress.switchDone(ending.pages);
    }
    job.log.setTableCount(outcome.recordsWalked);
    job.log.reportTableToList(outcome.name, ending.position);
    job.log.showQueuedLines(job.nextListRow, ending.position, logreport::Pass::Data,
        job.databaseFolder, [&job](int row, std::string_view text) { job.addListRow(row, text); });
    addDetailRows(job, outcome);
    job.log.setTableCount(outcome.recordsWalked);
    job.log.reportTableToLog(outcome.name, ending.position);
    job.outcomes.push_back(std::move(outcome));
}

// Shows the tables whose switches have ended, oldest first; with `all`, waits for every one.
void finishEndedTables(RepairJob &job, std::deque<EndingTable> &ending, const DataPassSteps &steps,
    DataPassProgress &progress, bool all)
{
    while (!ending.empty() && (all || !ending.front().switching || steps.switches->oldestEnded())) {
        finishTableEnd(job, ending.front(), steps, progress);
        ending.pop_front();
    }
}

// One line per mailbox that lost anything, after the tables' own lines.
void addMailboxRows(RepairJob &job, const MailboxLosses &losses)
{
    if (!losses.unavailable.empty()) {
        addRow(job, losses.unavailable);
    }
    for (const MailboxLoss &mailbox : losses.mailboxes) {
        addRow(job, mailboxLine(mailbox));
    }
}

TableOutcome readTable(RepairJob &job, const innodb::TableInSpace &space,
    const frm::FrmTableEntry &table, innodb::LongValueStore &store, const DataPassSteps &steps,
    DataPassProgress &progress, MailboxEvidence *evidence)
{
    progress.startTable(DataPassProgress::pagesOf(space));
    // A table the server refused to create is not in the rebuilt database, nor in its dump.
    LandedRows *copy = steps.copy && !notCreated(job, table.dictionaryName)
        ? &steps.copy->beginTable(table)
        : nullptr;
    const innodb::strcIbDataScan &entry = space.entry;
    TableOutcome outcome;
    outcome.name = entry.name;
    outcome.definitionSource = frm::definitionSourceName(table.source);
    innodb::DecodeOptions options;
    options.includeDeleted = steps.includeDeleted;
    options.keepDamagedValues = steps.keepDamagedValues;
    options.stopRequested = [&job] { return job.stopping(); };
    // Overflow pages are followed inside the table's own tablespace file.
    innodb::RecordDecoder decoder(table, *space.pages, store, options);
    const auto notRead = [&](std::string why) {
        outcome.notRead = std::move(why);
        outcome.problems.push_back(entry.name + ": not read, " + outcome.notRead);
        return outcome;
    };
    if (const std::string *refusal = notCreated(job, entry.name)) {
        return notRead("the server refused to create the table: " + *refusal);
    }
    if (!decoder.usable()) {
        return notRead(decoder.problem());
    }
    if (decoder.hasKey() != entry.hasPrimaryKey) {
        return notRead(
            "the definition file and the tablespace disagree on the table's primary key");
    }
    std::unique_ptr<TableWriter> writer = steps.openWriter(table);
    writer->copyLandedRowsTo(copy);
    innodb::TableReadCallbacks callbacks;
    callbacks.stopRequested = [&job] { return job.stopping(); };
    callbacks.beforePage = [&job, &entry, &progress](std::uint32_t) {
        job.host.statusLine(4, entry.name);
        progress.page();
    };
    DamagedRowNotes notes(*writer, outcome.damagedRows);
    std::optional<MailboxEvidenceTap> tap;
    if (evidence && evidence->wants(table)) {
        tap.emplace(notes, *evidence);
    }
    innodb::RowSink &sink = tap ? static_cast<innodb::RowSink &>(*tap) : notes;
    std::optional<SalvageRouter> salvage;
    if (steps.quarantine) {
        salvage.emplace(table, *steps.quarantine, steps.mergeSalvaged ? writer.get() : nullptr,
            outcome.salvage);
        callbacks.salvage = &*salvage;
    }
    const std::size_t repairedBefore = space.pages->repairedPages().size();
    const innodb::TableReadCounts read
        = innodb::readTableRows(*space.pages, *space.scan, entry, decoder, sink, callbacks);
    if (salvage) {
        salvage->finish(read.salvaged);
    }
    writer->finish();
    outcome.pagesRepaired = space.pages->repairedPages().size() - repairedBefore;
    if (evidence) {
        evidence->noteTableRead(
            table, read.layoutRefusal.empty() && read.pagesRead > 0, read.lostRanges);
    }

    outcome.pagesRead = read.pagesRead;
    // A page the tree points to but cannot use is as lost as one that fails its checksum.
    outcome.pagesUnreadable = read.pagesUnreadable + read.subtreesLost;
    outcome.pagesRejected = read.decoded.pagesRejected + read.pagesFailedCheck;
    outcome.orphanPages = read.orphanPages;
    outcome.recordsWalked = read.decoded.recordsWalked;
    outcome.deleteMarkedSkipped = read.decoded.deleteMarkedSkipped;
    outcome.recordsRejected = read.decoded.recordsRejected;
    outcome.valuesTruncated = read.decoded.valuesTruncated;
    outcome.rowsWithDamagedLongValues = read.decoded.rowsWithDamagedLongValues;
    outcome.rowsInserted = writer->rowsInserted();
    outcome.rowsRefused = writer->rowsRefused();
    if (outcome.rowsRefused > 0 && !writer->lastRefusal().empty()) {
        // The server's own reason, so that a user can tell a damaged value from a full disk.
        outcome.problems.push_back(entry.name + ": the server refused "
            + std::to_string(outcome.rowsRefused)
            + " row(s), the last because: " + writer->lastRefusal());
    }
    for (const auto &problem : read.problems) {
        outcome.problems.push_back(entry.name + ": " + problem);
    }
    if (!decoder.usable()) {
        // A record form met on the way that this program does not read: the reason, not rows
        // of a guessed layout.
        return notRead(decoder.problem());
    }
    if (!read.layoutRefusal.empty()) {
        // A layout this program misreads: better no rows than rows of shifted columns.
        return notRead("its records do not decode consistently: " + read.layoutRefusal);
    }
    if (read.pagesRead == 0 && !read.stopped) {
        // Even an empty table has its root leaf: reading none is losing the table.
        outcome.notRead = read.problems.empty()
            ? "none of its pages could be read"
            : "none of its pages could be read (" + read.problems.front() + ")";
    }
    return outcome;
}

// The pages put back from the doublewrite buffer in every file, those of the data dictionary too,
// which no table's count holds: one line, with where the copies came from.
void noteRepairedPages(RepairJob &job, const innodb::TablespaceSet &spaces)
{
    std::set<const innodb::RepairedPageSource *> seen;
    std::uint64_t repaired = 0;
    for (const innodb::TableInSpace &space : spaces.tables()) {
        if (space.pages && seen.insert(space.pages).second) {
            repaired += space.pages->repairedPages().size();
        }
    }
    job.pagesRepaired = repaired;
    if (repaired > 0) {
        std::string from;
        for (const std::string &source : spaces.doublewrite().sources()) {
            from += (from.empty() ? "" : ", ") + source;
        }
        addRow(job,
            std::string(common::text(common::str::kPagesRepaired)) + " : "
                + std::to_string(repaired) + " (copies from " + from + ")");
    }
}

} // namespace

void runTableDataPass(
    RepairJob &job, const innodb::TablespaceSet *spaces, const DataPassSteps &steps)
{
    job.dataPassRan = true;
    innodb::LongValueStore store;
    // Zarafa's own tables tell whose mail a loss is; other databases get the tables' counts.
    std::unique_ptr<MailboxEvidence> evidence = MailboxEvidence::forTables(job.tables);
    DataPassProgress progress(job, spaces);
    std::size_t position = 0;
    std::deque<EndingTable> ending;
    if (spaces) {
        for (const innodb::TableInSpace &space : spaces->tables()) {
            if (job.stopping()) {
                break;
            }
            const frm::FrmTableEntry *table = findDefinition(job, space.entry.name);
            if (!table) {
                continue; // said below, with the dictionary's other tables that lack a file
            }
            const std::uint64_t pages = DataPassProgress::pagesOf(space);
            ending.push_back(beginTableEnd(job,
                readTable(job, space, *table, store, steps, progress, evidence.get()), position++,
                table, pages, steps, progress));
            finishEndedTables(job, ending, steps, progress, false);
            releaseFreedMemory();
        }
        finishEndedTables(job, ending, steps, progress, true);
        // Rows without a definition cannot be laid out; say so rather than drop the table
        // silently.
        for (const innodb::IBData1TableInfo &info : spaces->dictionaryTables()) {
            const bool ours = info.name.size() > kDictionaryPrefix.size()
                && equalsIgnoringCase(
                    info.name.substr(0, kDictionaryPrefix.size()), kDictionaryPrefix);
            if (!ours || findDefinition(job, info.name) || job.stopping()) {
                continue;
            }
            TableOutcome outcome;
            outcome.name = info.name;
            outcome.definitionMissing = true;
            // A table of its own .ibd that is not in the folder either, or the copy an ALTER
            // TABLE left when it was cut short: the dictionary remembers it, but the folder
            // holds none of its rows to lose.
            outcome.notInFolder = (info.space != 0 && !spaces->find(info.name))
                || info.name.find("#sql") != std::string::npos;
            addRow(job,
                std::string(common::text(common::str::kDefinitionMissing)) + " : " + info.name
                    + (outcome.notInFolder ? " (nor are its rows in the folder)" : ""));
            job.outcomes.push_back(std::move(outcome));
        }
    }
    // Tables whose definition was read but that the dictionary does not name were created
    // empty; they are logged with no rows and switched like the others.
    for (const frm::FrmTableEntry &table : job.tables) {
        if (job.stopping()) {
            break;
        }
        const bool handled = spaces && spaces->find(table.dictionaryName);
        if (handled) {
            continue;
        }
        TableOutcome outcome;
        outcome.name = table.dictionaryName;
        outcome.inDictionary = false;
        outcome.definitionSource = frm::definitionSourceName(table.source);
        if (const std::string *refusal = notCreated(job, table.dictionaryName)) {
            outcome.notRead = "the server refused to create the table: " + *refusal;
        }
        outcome.problems.push_back(
            table.dictionaryName + ": not found in the tablespace; no rows could be read");
        if (steps.copy && !notCreated(job, table.dictionaryName)) {
            steps.copy->beginTable(table); // created empty in the rebuild, so in the dump too
        }
        progress.startTable(0);
        ending.push_back(
            beginTableEnd(job, std::move(outcome), position++, &table, 0, steps, progress));
        finishEndedTables(job, ending, steps, progress, true);
    }

    if (spaces) {
        noteRepairedPages(job, *spaces);
    }
    if (evidence && !job.stopping()) {
        job.mailboxLosses = evidence->judge();
        addMailboxRows(job, job.mailboxLosses);
    }
    job.startPhase("finishing");
    if (steps.finishRebuild) {
        job.progress.enter(Stage::Finishing);
        steps.finishRebuild();
    }
    job.finishTime = logreport::LogReport::ctimeNow();
    job.log.finish(
        job.nextListRow, [&job](int row, std::string_view text) { job.addListRow(row, text); });
}

} // namespace job

// The save phase on a data folder written by a real server, with the rows collected instead of
// inserted: every table's rows equal the truth, each table is logged and switched once, the
// finishing step runs once, and a stop keeps what was read so far.
#include "common/strings.h"
#include "innodb/value_text.h"
#include "job/definition_pass.h"
#include "job/folder_listing.h"
#include "job/mailbox_losses.h"
#include "job/run_outcome.h"
#include "job/save_database.h"
#include "job/table_switches.h"
#include "support/recording_host.h"
#include "support/truth_files.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using testing_support::RecordingHost;

namespace {

using Lines = std::vector<std::string>;

// Keeps each row as its TSV line; refuses rows whose first value is in `refuse`.
class CollectingWriter : public job::TableWriter
{
public:
    CollectingWriter(Lines &rows, std::function<void()> afterRow)
        : m_rows(rows)
        , m_afterRow(std::move(afterRow))
    {
    }
    void acceptRow(const innodb::DecodedRow &row) override
    {
        std::ostringstream line;
        ASSERT_TRUE(innodb::writeTsvLine(row, line).ok());
        std::string text = line.str();
        text.pop_back(); // the line break
        m_rows.push_back(std::move(text));
        ++m_inserted;
        if (m_afterRow) {
            m_afterRow();
        }
    }
    std::uint64_t rowsInserted() const override { return m_inserted; }
    std::uint64_t rowsRefused() const override { return 0; }

private:
    Lines &m_rows;
    std::function<void()> m_afterRow;
    std::uint64_t m_inserted = 0;
};

// Switches handed over in the background: each ends only when `endedAtOnce` says so, otherwise
// only once the data pass waits for it (at the latest after the last table).
class DeferredSwitches : public job::TableSwitches
{
public:
    explicit DeferredSwitches(Lines &switched, const std::set<std::string> &refuse)
        : m_switched(switched)
        , m_refuse(refuse)
    {
    }
    void begin(const frm::FrmTableEntry &table) override
    {
        m_pending.push_back(table.dictionaryName);
        ++begun;
    }
    bool oldestEnded() const override { return endedAtOnce && !m_pending.empty(); }
    common::Status endOldest() override
    {
        const std::string name = m_pending.front();
        m_pending.pop_front();
        m_switched.push_back(name);
        if (m_refuse.count(name)) {
            return common::Error { common::ErrorKind::Database, "Got error 28", {} };
        }
        return common::okStatus();
    }
    bool endedAtOnce = false;
    int begun = 0;

private:
    Lines &m_switched;
    const std::set<std::string> &m_refuse;
    std::deque<std::string> m_pending;
};

struct SavePhase
{
    RecordingHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repairJob { flags, host, login, log };
    std::map<std::string, Lines> rows; // by dictionary name
    Lines switched;
    int finishes = 0;
    std::function<void()> afterRow;
    std::set<std::string> refuseSwitch; // dictionary names whose switch to InnoDB fails
    // Set: the switches run through it instead of in place.
    std::optional<DeferredSwitches> background;

    // `refuseCreate`: dictionary names whose CREATE TABLE the "server" refuses.
    explicit SavePhase(const fs::path &folder, const std::set<std::string> &refuseCreate = {})
    {
        repairJob.databaseFolder = folder.string();
        EXPECT_TRUE(job::listTableFiles(repairJob, folder.string()));
        job::runDefinitionPass(repairJob, [&](const frm::FrmTableEntry &table) -> common::Status {
            if (refuseCreate.count(table.dictionaryName)) {
                return common::Error { common::ErrorKind::Database, "Incorrect table name", {} };
            }
            return common::okStatus();
        });
    }

    void run()
    {
        job::DataPassSteps steps;
        steps.openWriter = [this](const frm::FrmTableEntry &table) {
            return std::make_unique<CollectingWriter>(rows[table.dictionaryName], afterRow);
        };
        steps.switchToInnoDb = [this](const frm::FrmTableEntry &table) -> common::Status {
            switched.push_back(table.dictionaryName);
            if (refuseSwitch.count(table.dictionaryName)) {
                return common::Error { common::ErrorKind::Database, "Got error 28", {} };
            }
            return common::okStatus();
        };
        if (background) {
            steps.switches = &*background;
        }
        steps.finishRebuild = [this] { ++finishes; };
        job::saveDatabase(repairJob, steps);
    }

    Lines rowsOf(const std::string &table)
    {
        Lines sorted = rows["zarafa/" + table];
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

    Lines listTexts() const
    {
        Lines texts;
        for (const auto &row : host.listRows()) {
            texts.push_back(row.second);
        }
        return texts;
    }
};

} // namespace

TEST(DataPassTest, RecoversEveryRowOfEveryTableAndLogsEachTable)
{
    const fs::path folder = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    SavePhase save(folder);
    save.run();

    ASSERT_FALSE(save.repairJob.tables.empty());
    for (const auto &table : save.repairJob.tables) {
        const std::string name = table.dictionaryName.substr(7);
        EXPECT_EQ(
            save.rowsOf(name), testing_support::sortedRows(folder / "truth" / (name + ".tsv")))
            << name;
    }
    EXPECT_EQ(save.switched.size(), save.repairJob.tables.size());
    EXPECT_EQ(save.finishes, 1);
    // Nothing lost: Zarafa's schema gets its mailbox section, and it names no mailbox.
    EXPECT_TRUE(save.repairJob.mailboxLosses.zarafa);
    EXPECT_TRUE(save.repairJob.mailboxLosses.unavailable.empty());
    EXPECT_TRUE(save.repairJob.mailboxLosses.mailboxes.empty())
        << job::mailboxLine(save.repairJob.mailboxLosses.mailboxes.front());
    ASSERT_EQ(save.repairJob.outcomes.size(), save.repairJob.tables.size());
    for (const auto &outcome : save.repairJob.outcomes) {
        EXPECT_EQ(outcome.recordsWalked, outcome.rowsInserted) << outcome.name;
        EXPECT_TRUE(outcome.problems.empty()) << outcome.name << ": " << outcome.problems.front();
    }

    // Every table shows in the list once for its definition and once for its rows, then the
    // finish line closes the run.
    const Lines texts = save.listTexts();
    const auto count
        = [&](const std::string &text) { return std::count(texts.begin(), texts.end(), text); };
    EXPECT_EQ(count(std::string(common::text(common::str::kFileSelected)) + " : zarafa/stores"), 1);
    EXPECT_EQ(count(std::string(common::text(common::str::kFileSelected)) + " : stores.frm"), 1);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().rfind(std::string(common::text(common::str::kRecoveryFinished)), 0), 0u)
        << texts.back();
}

TEST(DataPassTest, StopKeepsTheRowsReadSoFarAndStillFinishes)
{
    const fs::path folder = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    SavePhase save(folder);
    int rowsSeen = 0;
    save.afterRow = [&] {
        if (++rowsSeen == 3) {
            save.flags.stopRequested = 1;
        }
    };
    save.run();
    // The table being read when the stop came is still logged and switched; no other follows.
    EXPECT_EQ(save.switched.size(), 1u);
    EXPECT_EQ(save.finishes, 1);
    ASSERT_EQ(save.repairJob.outcomes.size(), 1u);
    EXPECT_GE(save.repairJob.outcomes[0].rowsInserted, 3u);
}

// Switches that run beside the next tables change nothing a user sees: the same lines in the same
// order, each refusal on its own table, every switch collected, also after a stop.
TEST(DataPassTest, SwitchesBesideTheNextTablesReadAsIfEachRanInPlace)
{
    const fs::path folder = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    const std::set<std::string> refuse = { "zarafa/hierarchy", "zarafa/versions" };
    const auto run = [&](int mode, std::function<void(SavePhase &)> adjust = {}) {
        auto save = std::make_unique<SavePhase>(folder);
        save->refuseSwitch = refuse;
        if (mode > 0) {
            save->background.emplace(save->switched, save->refuseSwitch);
            save->background->endedAtOnce = mode == 1;
        }
        if (adjust) {
            adjust(*save);
        }
        save->run();
        return save;
    };
    const auto inPlace = run(0);
    const auto problems = [](const SavePhase &save) {
        Lines out;
        for (const auto &outcome : save.repairJob.outcomes) {
            out.push_back(outcome.name + " " + outcome.switchProblem);
        }
        return out;
    };
    // The finish line carries the time of day, which two runs need not share.
    const auto untimed = [](const SavePhase &save) {
        Lines texts = save.listTexts();
        const std::string finished(common::text(common::str::kRecoveryFinished));
        std::erase_if(texts, [&](const std::string &text) { return text.starts_with(finished); });
        return texts;
    };
    for (int mode : { 1, 2 }) {
        const auto beside = run(mode);
        EXPECT_EQ(untimed(*beside), untimed(*inPlace)) << "mode " << mode;
        EXPECT_EQ(beside->switched, inPlace->switched) << "mode " << mode;
        EXPECT_EQ(problems(*beside), problems(*inPlace)) << "mode " << mode;
        EXPECT_EQ(beside->background->begun, static_cast<int>(beside->switched.size()));
    }
    EXPECT_NE(problems(*inPlace), Lines {});

    // A stop while switches are still out: the table being read is switched too, and every
    // switch handed over is waited for before the finishing step.
    int rowsSeen = 0;
    const auto stopped = run(2, [&rowsSeen](SavePhase &save) {
        save.afterRow = [&save, &rowsSeen] {
            if (++rowsSeen == 2000) {
                save.flags.stopRequested = 1;
            }
        };
    });
    EXPECT_GT(stopped->switched.size(), 1u);
    EXPECT_LT(stopped->switched.size(), inPlace->switched.size());
    EXPECT_EQ(stopped->background->begun, static_cast<int>(stopped->switched.size()));
    EXPECT_EQ(stopped->repairJob.outcomes.size(), stopped->switched.size());
    EXPECT_EQ(stopped->finishes, 1);
}

TEST(DataPassTest, DamagedPagesLoseOnlyTheirOwnRows)
{
    const fs::path sample = testing_support::fixtureFromEnvironment("ZR_SAMPLE_FIXTURE_DIR");
    if (sample.empty() || !fs::exists(sample / "damaged" / "ibdata1")) {
        GTEST_SKIP() << "the damaged sample folder is not there";
    }
    SavePhase save(sample / "damaged");
    save.run();
    const Lines decoded = save.rowsOf("properties");
    const Lines truth = testing_support::sortedRows(sample / "truth" / "properties.tsv");
    const Lines surviving
        = testing_support::sortedRows(sample / "damage" / "surviving" / "properties.tsv");
    ASSERT_FALSE(surviving.empty());
    // Every row on an intact page comes back, and nothing that differs from the truth.
    EXPECT_TRUE(std::includes(decoded.begin(), decoded.end(), surviving.begin(), surviving.end()));
    EXPECT_TRUE(std::includes(truth.begin(), truth.end(), decoded.begin(), decoded.end()));
    EXPECT_LT(decoded.size(), truth.size());
}

// The objects whose properties rows were on the destroyed pages, as the truth has them: each is
// named as incomplete in its own mailbox, and nothing else is.
TEST(DataPassTest, DamagedPropertiesPagesNameTheIncompleteObjectsByMailbox)
{
    const fs::path sample = testing_support::fixtureFromEnvironment("ZR_SAMPLE_FIXTURE_DIR");
    if (sample.empty() || !fs::exists(sample / "damaged" / "ibdata1")) {
        GTEST_SKIP() << "the damaged sample folder is not there";
    }
    SavePhase save(sample / "damaged");
    save.run();
    const auto firstFields = [](const fs::path &path, std::size_t count) {
        std::vector<std::vector<std::string>> out;
        for (const std::string &line : testing_support::sortedRows(path)) {
            std::vector<std::string> fields;
            std::istringstream in(line);
            for (std::string field; fields.size() < count && std::getline(in, field, '\t');) {
                fields.push_back(field);
            }
            out.push_back(fields);
        }
        return out;
    };
    std::map<std::uint32_t, std::pair<std::uint32_t, int>> hierarchy; // id -> parent, type
    for (const auto &f : firstFields(sample / "truth" / "hierarchy.tsv", 3)) {
        hierarchy[std::stoul(f[0])] = { f[1] == "\\N" ? 0 : std::stoul(f[1]), std::stoi(f[2]) };
    }
    std::set<std::uint32_t> stores;
    for (const auto &f : firstFields(sample / "truth" / "stores.tsv", 2)) {
        stores.insert(std::stoul(f[1]));
    }
    const auto storeOf = [&](std::uint32_t id) {
        for (int step = 0; step < 64 && !stores.count(id); ++step) {
            id = hierarchy[id].first;
        }
        return id;
    };
    std::set<std::pair<std::uint32_t, std::uint32_t>> expected; // store, object
    for (const auto &f : firstFields(sample / "damage" / "lost" / "properties.tsv", 1)) {
        const std::uint32_t id = std::stoul(f[0]);
        const int type = hierarchy[id].second;
        if (type == 3 || type == 5 || type == 7) {
            expected.insert({ storeOf(id), id });
        }
    }
    ASSERT_FALSE(expected.empty());
    const job::MailboxLosses &losses = save.repairJob.mailboxLosses;
    EXPECT_GE(losses.propertyRangesLost, 1u);
    std::set<std::pair<std::uint32_t, std::uint32_t>> named;
    for (const job::MailboxLoss &mailbox : losses.mailboxes) {
        for (const job::LostObject &object : mailbox.objects) {
            EXPECT_EQ(object.loss, job::LostObject::Loss::Properties) << object.id;
            named.insert({ mailbox.store, object.id });
        }
        // The line is in the window's list.
        const Lines texts = save.listTexts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), job::mailboxLine(mailbox)), 1);
    }
    EXPECT_EQ(named, expected);
}

TEST(DataPassTest, ATableNotCreatedOrLeftMyIsamIsALossWithTheServersReason)
{
    const fs::path folder = testing_support::fixtureFromEnvironment("ZR_ZARAFA_FIXTURE_DIR");
    if (folder.empty() || !fs::exists(folder / "ibdata1")) {
        GTEST_SKIP() << "the generated Zarafa fixture is not there";
    }
    SavePhase save(folder, { "zarafa/stores" });
    save.refuseSwitch = { "zarafa/users" };
    save.run();
    const auto outcome = [&](const std::string &name) {
        for (const auto &table : save.repairJob.outcomes) {
            if (table.name == name) {
                return table;
            }
        }
        ADD_FAILURE() << name;
        return job::TableOutcome {};
    };
    // Not created: no row is read for it, nor is it switched, and it is named with the reason.
    const auto stores = outcome("zarafa/stores");
    EXPECT_EQ(stores.notRead, "the server refused to create the table: Incorrect table name");
    EXPECT_TRUE(save.rows["zarafa/stores"].empty());
    EXPECT_EQ(std::count(save.switched.begin(), save.switched.end(), "zarafa/stores"), 0);
    const Lines texts = save.listTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                  "stores.frm : the server refused to create the table zarafa/stores: Incorrect "
                  "table name"),
        texts.end());
    // Refused switch: every row is there, the table stays MyISAM, and says so.
    const auto users = outcome("zarafa/users");
    EXPECT_EQ(users.switchProblem, "Got error 28");
    EXPECT_EQ(save.rowsOf("users"), testing_support::sortedRows(folder / "truth" / "users.tsv"));

    const job::RunVerdict verdict = job::judgeRun(save.repairJob);
    EXPECT_EQ(verdict.outcome, job::Outcome::CompletedWithLosses);
    EXPECT_EQ(verdict.totals.tablesAffected, 2u);
    EXPECT_EQ(verdict.totals.tablesNotRead, 1u);
}

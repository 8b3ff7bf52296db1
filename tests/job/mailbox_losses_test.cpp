// The mailbox section is given for Zarafa's schema only: a database of other tables (sakila,
// written by MySQL 5.0) gets the tables' counts and no mailbox section in its report.
#include "frm/table_definition_reader.h"
#include "job/mailbox_evidence.h"
#include "job/run_report.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

TEST(MailboxLossesTest, OtherDatabasesGetNoMailboxSection)
{
    const fs::path folder = testing_support::sharedFixtures() / "mysql-5.0-sakila/sakila";
    std::vector<frm::FrmTableEntry> tables;
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".frm") {
            continue;
        }
        const std::string name = entry.path().filename().string();
        auto table = frm::readTableDefinition(
            entry.path().string(), name, "sakila/" + entry.path().stem().string());
        if (table.ok()) {
            tables.push_back(std::move(*table));
        }
    }
    ASSERT_GT(tables.size(), 10u);
    EXPECT_EQ(job::MailboxEvidence::forTables(tables), nullptr);

    job::RunReport report;
    report.verdict.outcome = job::Outcome::CompletedWithLosses;
    const auto json = nlohmann::json::parse(job::reportJson(report));
    EXPECT_FALSE(json.contains("mailboxLosses"));
    EXPECT_EQ(job::summaryText(report).find("Mailboxes"), std::string::npos);
}

TEST(MailboxLossesTest, LinesNameTheUserTheFoldersAndEachKindOfLoss)
{
    job::MailboxLoss anna;
    anna.user = "anna";
    anna.store = 12;
    anna.messages.lost = 12;
    anna.messagesLostIn = { { 40, "Inbox", 12 } };
    anna.attachments.incomplete = 3;
    EXPECT_EQ(job::mailboxLine(anna), "user anna: 12 messages lost in Inbox, 3 attachments incomplete");

    job::MailboxLoss unknown;
    unknown.messages.lost = 3;
    unknown.messagesLostIn = { { 41, "Sent Items", 2 }, { 0, "", 1 } };
    unknown.folders.lost = 1;
    unknown.orphans = 1;
    EXPECT_EQ(job::mailboxLine(unknown),
        "unknown mailbox: 3 messages lost (2 in Sent Items, 1 in an unknown folder), 1 folder lost, "
        "1 object without its parent");
}

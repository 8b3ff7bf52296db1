// The definition pass over a real Zarafa folder of MariaDB-written definition files.
#include "common/strings.h"
#include "job/definition_pass.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testing_support::RecordingHost;
using testing_support::TempDir;

const fs::path kSamples = fs::path(ZR_SOURCE_DIR) / "tests/frm/data";

class DefinitionPassTest : public ::testing::Test
{
protected:
    DefinitionPassTest()
        : job(flags, host, login, log)
    {
        job.databaseFolder = folder.str();
        job.zarafaFolderPath = folder.mkdir("Zarafa").string();
    }

    // Copies a sample into the Zarafa folder under `name` and lists it.
    void addFile(const fs::path &sample, const std::string &name)
    {
        fs::copy_file(sample, fs::path(job.zarafaFolderPath) / name);
        addListed(name);
    }
    void addListed(const std::string &name)
    {
        job.tableFileNames.push_back(name);
        job.dictionaryNames.push_back("zarafa/" + name.substr(0, name.size() - 4));
    }
    void writeFile(const std::string &name, const std::string &content)
    {
        folder.write("Zarafa/" + name, content);
        addListed(name);
    }
    std::vector<std::string> run()
    {
        std::vector<std::string> created;
        job::runDefinitionPass(job, [&](const frm::FrmTableEntry &table) {
            created.push_back(table.tableName);
            return true;
        });
        return created;
    }
    bool listHas(std::string_view text) const
    {
        for (const auto &[position, row] : host.listRows()) {
            if (row.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    TempDir folder;
    job::JobFlags flags;
    RecordingHost host;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob job;
};

TEST_F(DefinitionPassTest, ReadsEveryFileReportsItAndCreatesItsTable)
{
    addFile(kSamples / "zarafa/stores.frm", "stores.frm");
    addFile(kSamples / "zarafa/hierarchy.frm", "hierarchy.frm");

    EXPECT_EQ(run(), (std::vector<std::string> { "stores", "hierarchy" }));
    ASSERT_EQ(job.tables.size(), 2U);
    EXPECT_EQ(job.tables[0].dictionaryName, "zarafa/stores");
    EXPECT_EQ(job.tables[1].definitionOrder.size(), 5U);
    EXPECT_EQ(flags.scanSucceeded.load(), 1);
    EXPECT_EQ(host.statusLines(),
        (std::vector<std::string> {
            common::statusText(3, "stores.frm"), common::statusText(3, "hierarchy.frm") }));
    EXPECT_TRUE(listHas("stores.frm"));
    EXPECT_TRUE(listHas("hierarchy.frm"));
    EXPECT_TRUE(host.messages().empty());

    job.reset();
    EXPECT_TRUE(job.tables.empty());
}

TEST_F(DefinitionPassTest, SkipsDamagedAndMissingFilesWithAListRowAndGoesOn)
{
    writeFile("empty.frm", "");
    std::ifstream in(kSamples / "zarafa/names.frm", std::ios::binary);
    std::string names((std::istreambuf_iterator<char>(in)), {});
    writeFile("cut.frm", names.substr(0, 300));
    addListed("vanished.frm");
    addFile(kSamples / "zarafa/acl.frm", "acl.frm");

    EXPECT_EQ(run(), (std::vector<std::string> { "acl" }));
    EXPECT_EQ(flags.scanSucceeded.load(), 1);
    EXPECT_TRUE(listHas("empty.frm : skipped, the table definition is damaged"));
    EXPECT_TRUE(listHas("cut.frm : skipped, the table definition is damaged"));
    EXPECT_TRUE(listHas("vanished.frm : skipped, the file cannot be read"));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(DefinitionPassTest, ATableOfAnUnknownTypeIsNotRecoveredAndTheRunSaysSoAViewIsSkipped)
{
    // Column 2 of the acl table gets type code 144, which no server writes.
    std::ifstream in(kSamples / "zarafa/acl.frm", std::ios::binary);
    std::string acl((std::istreambuf_iterator<char>(in)), {});
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(acl[at]); };
    const std::size_t pointer = 64 + (byte(4) | (byte(5) << 8));
    const std::size_t form = byte(pointer) | (byte(pointer + 1) << 8) | (byte(pointer + 2) << 16);
    acl[form + 288 + 17 * 2 + 13] = static_cast<char>(144);
    writeFile("acl.frm", acl);
    writeFile("aview.frm", "TYPE=VIEW\nquery=select 1 AS `1`\n");
    addFile(kSamples / "zarafa/lob.frm", "lob.frm");

    EXPECT_EQ(run(), (std::vector<std::string> { "lob" })) << "the other tables go on";
    EXPECT_EQ(flags.scanSucceeded.load(), 1);
    EXPECT_TRUE(listHas("acl.frm : not recovered, column type has type code 144"));
    EXPECT_TRUE(listHas("aview.frm : a view, not a table: skipped"));
    ASSERT_EQ(job.losses.size(), 1U) << "the result lacks acl, not a view";
    EXPECT_NE(job.losses[0].find("acl.frm"), std::string::npos);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(DefinitionPassTest, OtherEngineShows114AndEndsThePass)
{
    addFile(kSamples / "zarafa/acl.frm", "acl.frm");
    addFile(kSamples / "samples/myisamtable.frm", "myisamtable.frm");
    addFile(kSamples / "zarafa/lob.frm", "lob.frm");

    EXPECT_EQ(run(), (std::vector<std::string> { "acl" }));
    EXPECT_EQ(flags.scanSucceeded.load(), 0);
    EXPECT_EQ(host.messages(),
        (std::vector<std::string> { std::string(common::text(common::str::kEngineNotSupported)) }));
}

TEST_F(DefinitionPassTest, WrongFormatMarkShows107AndEndsThePass)
{
    std::ifstream in(kSamples / "zarafa/acl.frm", std::ios::binary);
    std::string acl((std::istreambuf_iterator<char>(in)), {});
    acl[33] = 4;
    writeFile("old.frm", acl);
    addFile(kSamples / "zarafa/lob.frm", "lob.frm");

    EXPECT_TRUE(run().empty());
    EXPECT_EQ(flags.scanSucceeded.load(), 0);
    EXPECT_EQ(host.messages(),
        (std::vector<std::string> { std::string(common::text(common::str::kWrongVersion)) }));
}

TEST_F(DefinitionPassTest, StopRequestEndsThePassQuietly)
{
    addFile(kSamples / "zarafa/acl.frm", "acl.frm");
    addFile(kSamples / "zarafa/lob.frm", "lob.frm");
    std::vector<std::string> created;
    job::runDefinitionPass(job, [&](const frm::FrmTableEntry &table) {
        created.push_back(table.tableName);
        flags.stopRequested = 1;
        return true;
    });
    EXPECT_EQ(created, std::vector<std::string> { "acl" });
    EXPECT_EQ(flags.scanSucceeded.load(), 1);
}

} // namespace

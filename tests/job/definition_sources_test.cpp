// Which definitions a repair uses for a generated Zarafa folder whose .frm files are lost or
// damaged: the dictionary in its ibdata1 stands in, and only where no readable .frm exists.
#include "job/definition_pass.h"
#include "job/definition_sources.h"
#include "job/folder_listing.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testing_support::RecordingHost;
using testing_support::TempDir;

const fs::path kFixture = ZR_DEFAULT_ZARAFA_FIXTURE_DIR;

class DefinitionSourcesTest : public ::testing::Test
{
protected:
    DefinitionSourcesTest()
    {
        fs::copy_file(kFixture / "ibdata1", dir.path() / "ibdata1");
        flags.setDatabaseFolder(dir.str());
    }

    // The listing and the pre-checks, as a job runs them before any server is touched.
    bool precheck()
    {
        return job::listTableFiles(repairJob, dir.str()) && job::checkTablespaces(repairJob)
            && job::gatherDefinitionSources(repairJob);
    }

    // The definition pass with a table creation that only records the tables.
    void definitions()
    {
        repairJob.databaseFolder = dir.str();
        job::runDefinitionPass(repairJob, [](const frm::FrmTableEntry &) { return true; });
    }

    bool anyRow(std::string_view part) const
    {
        for (const auto &row : host.listRows()) {
            if (row.second.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    const frm::FrmTableEntry *table(std::string_view name) const
    {
        for (const auto &entry : repairJob.tables) {
            if (entry.dictionaryName == name) {
                return &entry;
            }
        }
        return nullptr;
    }

    std::size_t fixtureTables() const
    {
        std::size_t count = 0;
        for (const auto &entry : fs::directory_iterator(kFixture / "Zarafa")) {
            count += entry.path().extension() == ".frm";
        }
        return count;
    }

    TempDir dir;
    RecordingHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repairJob { flags, host, login, log };
};

} // namespace

TEST_F(DefinitionSourcesTest, AFolderWithoutZarafaFolderIsRepairedFromTheDictionary)
{
    ASSERT_TRUE(precheck()) << repairJob.folderProblem;
    EXPECT_TRUE(repairJob.tableFileNames.empty());
    EXPECT_TRUE(anyRow("/Zarafa: no such folder; the definitions of "));
    definitions();
    EXPECT_EQ(repairJob.tables.size(), fixtureTables());
    for (const auto &entry : repairJob.tables) {
        EXPECT_EQ(entry.source, frm::DefinitionSource::Dictionary) << entry.dictionaryName;
    }
    EXPECT_TRUE(repairJob.losses.empty());

    // An empty Zarafa folder is the same case.
    repairJob.reset();
    dir.mkdir("Zarafa");
    ASSERT_TRUE(precheck()) << repairJob.folderProblem;
    EXPECT_TRUE(anyRow("/Zarafa: holds no table definition (.frm) files; the definitions of "));
}

TEST_F(DefinitionSourcesTest, ReadableFrmFilesComeFirstAndTheDictionaryStandsInForTheRest)
{
    dir.mkdir("Zarafa");
    for (const auto &entry : fs::directory_iterator(kFixture / "Zarafa")) {
        const std::string name = entry.path().filename().string();
        if (name != "names.frm" && name != "stores.frm" && name != "properties.frm") {
            fs::copy_file(entry.path(), dir.path() / "Zarafa" / name);
        }
    }
    // A damaged .frm is no better than a missing one.
    dir.write("Zarafa/properties.frm", std::string(20, '\x7f'));
    ASSERT_TRUE(precheck()) << repairJob.folderProblem;
    definitions();
    EXPECT_EQ(repairJob.tables.size(), fixtureTables());
    for (const auto &entry : repairJob.tables) {
        const bool lost = entry.dictionaryName == "zarafa/names"
            || entry.dictionaryName == "zarafa/stores"
            || entry.dictionaryName == "zarafa/properties";
        EXPECT_EQ(entry.source,
            lost ? frm::DefinitionSource::Dictionary : frm::DefinitionSource::Frm)
            << entry.dictionaryName;
    }
    ASSERT_NE(table("zarafa/names"), nullptr);
    EXPECT_EQ(table("zarafa/names")->keys.size(), 5u);
    EXPECT_TRUE(anyRow("properties.frm : skipped, the table definition is damaged"));
    EXPECT_TRUE(anyRow("its definition comes from InnoDB's dictionary instead"));
    EXPECT_TRUE(anyRow("names : definition from InnoDB's dictionary in ibdata1 (no readable "
                       ".frm file); column defaults and AUTO_INCREMENT are not kept"));
    EXPECT_TRUE(repairJob.losses.empty());
}

TEST_F(DefinitionSourcesTest, WithNeitherFrmFilesNorAUsableDictionaryTheFolderIsRefused)
{
    // Without ibdata1 nothing can stand in for the definitions: refused, with the reason.
    fs::remove(dir.path() / "ibdata1");
    ASSERT_FALSE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_EQ(repairJob.folderProblem,
        dir.str()
            + "/Zarafa: no such folder, and there is no ibdata1 whose dictionary could stand in "
              "for its table definitions");
    dir.mkdir("Zarafa");
    repairJob.reset();
    ASSERT_FALSE(job::listTableFiles(repairJob, dir.str()));
    EXPECT_EQ(repairJob.folderProblem,
        dir.str()
            + "/Zarafa: holds no table definition (.frm) files, and there is no ibdata1 whose "
              "dictionary could stand in for them");
}

TEST_F(DefinitionSourcesTest, ADamagedDictionaryStandsInForNothingAndSaysWhy)
{
    // Garble the root of SYS_COLUMNS (page 10 of the fixture's 16 KiB pages): its checksum fails.
    {
        std::fstream file(dir.path() / "ibdata1", std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(10 * 16384 + 300);
        const std::string garbage(64, '\x5a');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    dir.mkdir("Zarafa");
    EXPECT_FALSE(precheck());
    EXPECT_NE(repairJob.folderProblem.find("/Zarafa: holds no table definition (.frm) files, and "
                                           "the dictionary in ibdata1 cannot "),
        std::string::npos)
        << repairJob.folderProblem;
    EXPECT_NE(repairJob.folderProblem.find("SYS_COLUMNS page 10"), std::string::npos)
        << repairJob.folderProblem;

    // With the .frm files there the damage costs no definition.
    repairJob.reset();
    fs::copy_file(kFixture / "Zarafa" / "stores.frm", dir.path() / "Zarafa" / "stores.frm");
    ASSERT_TRUE(precheck()) << repairJob.folderProblem;
    definitions();
    ASSERT_EQ(repairJob.tables.size(), 1u);
    EXPECT_EQ(repairJob.tables.front().source, frm::DefinitionSource::Frm);
}

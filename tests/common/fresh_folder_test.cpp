#include "common/fresh_folder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

TEST(FreshFolderTest, ATakenNameGetsTheNextNumberAndTheFolderIsMadeWithItsMode)
{
    testing_support::TempDir dir;
    const fs::path parent = dir.mkdir("out");
    dir.write("out/run/an earlier run's file", "kept");
    dir.write("out/run-2", "a file under the name");

    const auto made = common::createFreshFolder(parent, "run", 0700);
    ASSERT_TRUE(made.ok()) << made.error().describe();
    EXPECT_EQ(made->filename(), "run-3");
    struct stat status {};
    ASSERT_EQ(::stat(made->c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::is_empty(*made));
    EXPECT_TRUE(fs::exists(parent / "run" / "an earlier run's file"));

    const auto missing = common::createFreshFolder(parent / "absent", "run", 0700);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().describe().find("absent/run"), std::string::npos)
        << missing.error().describe();
}

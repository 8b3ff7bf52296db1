#include "common/strings.h"

#include <gtest/gtest.h>

TEST(StatusTextTest, DropsTheDictionaryPrefixWhereTheWindowShowsTableNames)
{
    EXPECT_EQ(common::statusText(4, "zarafa/stores"), "Inserting data of table stores into MySQL");
    EXPECT_EQ(common::statusText(3, "stores.frm"), "Getting information of table : stores.frm");
    EXPECT_EQ(common::statusText(2, "ibdata1"), "Loading Data ibdata1");
    EXPECT_EQ(common::statusText(1, ""),
              "Wait while managing data in database.Don't stop the process ");
    // Seven characters or fewer leave nothing once "zarafa/" is dropped.
    EXPECT_EQ(common::statusText(4, "zarafa/"), "Inserting data of table  into MySQL");
    EXPECT_EQ(common::statusText(5, "ignored"), "Connecting to MySQL Server...");
    EXPECT_EQ(common::statusText(6, "ignored"), "Closing connection with MySQL");
    EXPECT_EQ(common::statusText(7, "x"), "");
}

TEST(StringTableTest, HoldsTheMessagesThatEndAJob)
{
    EXPECT_EQ(common::text(111), "File can't be opened.");
    EXPECT_EQ(common::text(109), "Process stopped by user");
    EXPECT_EQ(common::text(122), "A new update  is available. Click Next to proceed further.");
    EXPECT_EQ(common::text(999), "");
}

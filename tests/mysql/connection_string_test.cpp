#include "mysql/connection_string.h"

#include <gtest/gtest.h>

TEST(ConnectionStringTest, BuildsTheDescribedStringWithBracedValues)
{
    EXPECT_EQ(mysql::connectionString("localhost", "root", ""),
        "DRIVER={MySQL ODBC 5.1 Driver};SERVER={localhost};DATABASE=mysql;USER={root};"
        "PASSWORD=;");
    EXPECT_EQ(mysql::connectionString("h", "u", "p", "SOCKET={/s};"),
        "DRIVER={MySQL ODBC 5.1 Driver};SERVER={h};DATABASE=mysql;USER={u};PASSWORD={p};"
        "SOCKET={/s};");
}

TEST(ConnectionStringTest, BracesKeepSeparatorsAndClosingBracesInsideTheValue)
{
    // A "}" is doubled; ";" and "=" need nothing more than the braces.
    EXPECT_EQ(mysql::bracedValue("p;w}d=1"), "{p;w}}d=1}");
    EXPECT_EQ(mysql::bracedValue("}}"), "{}}}}}");
    EXPECT_EQ(mysql::bracedValue("{x"), "{{x}");
    EXPECT_EQ(mysql::bracedValue(""), "");
}

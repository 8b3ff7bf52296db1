#include "mysql/connection_string.h"
#include "workshop_fixture.h"

#include <cstring>

using testing_support::WorkshopFixture;

namespace {

class ConnectionTest : public WorkshopFixture
{
};

std::vector<std::byte> bytesOf(std::string_view text)
{
    std::vector<std::byte> bytes(text.size());
    std::memcpy(bytes.data(), text.data(), text.size());
    return bytes;
}

TEST_F(ConnectionTest, WrongPasswordIsADatabaseErrorWithTheDriversDescription)
{
    auto refused = mysql::Connection::open(server().connectionString("root", "wrong"));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().kind, common::ErrorKind::Database);
    EXPECT_NE(refused.error().message.find("Access denied"), std::string::npos)
        << refused.error().message;
}

TEST_F(ConnectionTest, PasswordsWithSeparatorsAndBracesLogInUnchanged)
{
    auto root = connect();
    ASSERT_TRUE(root);
    for (const std::string password : { "p;w}d=1", "}{;=", "a}}b;DATABASE=x" }) {
        ASSERT_TRUE(root->execute("drop user if exists 'odd'@'localhost'").ok());
        // Through a parameter-free text the password needs SQL quoting, which these lack.
        ASSERT_TRUE(
            root->execute("create user 'odd'@'localhost' identified by '" + password + "'").ok());
        ASSERT_TRUE(root->execute("grant all on *.* to 'odd'@'localhost'").ok());
        auto odd = mysql::Connection::open(server().connectionString("odd", password));
        ASSERT_TRUE(odd.ok()) << password << ": " << odd.error().message;
        EXPECT_EQ(scalar(**odd, "select current_user()"), "odd@localhost");
        EXPECT_EQ(scalar(**odd, "select database()"), "mysql") << password;
        // Pasted bare, as the string was once built, the first password breaks the string.
        if (password == "p;w}d=1") {
            auto bare = mysql::Connection::open(
                "DRIVER={MySQL ODBC 5.1 Driver};SERVER=localhost;DATABASE=mysql;USER=odd;"
                "PASSWORD="
                + password + ";" + server().connectionExtras());
            EXPECT_FALSE(bare.ok());
        }
    }
}

TEST_F(ConnectionTest, ParametersTravelAsRawBytesOfAnyLength)
{
    auto connection = connect();
    ASSERT_TRUE(connection);
    ASSERT_TRUE(connection->execute("create database if not exists bytes_test").ok());
    ASSERT_TRUE(connection
                    ->execute("create table bytes_test.t (id int, b longblob, v varchar(40) "
                              "character set utf8 collate utf8_bin, n int) engine=myisam")
                    .ok());
    std::vector<std::byte> big(1024 * 1024 + 7);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::byte>((i * 131) % 256); // every byte value, zeros included
    }
    const auto text = bytesOf("gr\xc3\xbc\xc3\x9f ' \\ ?");
    const mysql::Parameter parameters[] = {
        { "b", mysql::ParameterType::LongVarBinary, big },
        { "v", mysql::ParameterType::VarBinary, text },
    };
    const auto inserted
        = connection->execute("insert into bytes_test.t(id,b,v,n) values(1,?,?,NULL)", parameters);
    ASSERT_TRUE(inserted.ok()) << inserted.error().message;

    auto rows = connection->query("select b, v, n, length(b) from bytes_test.t where id = 1");
    ASSERT_TRUE(rows.ok()) << rows.error().message;
    ASSERT_EQ(rows->size(), 1u);
    const mysql::Row &row = rows->front();
    ASSERT_TRUE(row[0].has_value());
    ASSERT_EQ(row[0]->size(), big.size());
    EXPECT_EQ(std::memcmp(row[0]->data(), big.data(), big.size()), 0);
    EXPECT_EQ(row[1], std::string("gr\xc3\xbc\xc3\x9f ' \\ ?"));
    EXPECT_FALSE(row[2].has_value());
    EXPECT_EQ(row[3], std::to_string(big.size()));
}

TEST_F(ConnectionTest, AFailedStatementLeavesTheConnectionUsable)
{
    auto connection = connect();
    ASSERT_TRUE(connection);
    const auto failed = connection->execute("insert into no_such_table values(1)");
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().kind, common::ErrorKind::Database);
    EXPECT_FALSE(failed.error().message.empty());
    EXPECT_TRUE(connection->execute("select 1").ok());
    EXPECT_EQ(scalar(*connection, "select 1 + 1"), "2");
}

} // namespace

// WorkshopFixture: one private server per test suite, in its own temporary folder.
#pragma once

#include "mysql/connection.h"
#include "mysql/workshop_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <memory>

namespace testing_support {

class WorkshopFixture : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempDir>();
        s_server = std::make_unique<mysql::WorkshopServer>(s_folder->path() / "workshop");
        s_started = s_server->startMySqlService();
    }
    static void TearDownTestSuite()
    {
        s_server.reset(); // stops the server it started
        s_folder.reset();
    }

protected:
    void SetUp() override { ASSERT_TRUE(s_started) << s_server->lastProblem(); }

    mysql::WorkshopServer &server() { return *s_server; }

    std::unique_ptr<mysql::Connection> connect(
        std::string_view user = "root", std::string_view password = "")
    {
        auto connection = mysql::Connection::open(s_server->connectionString(user, password));
        EXPECT_TRUE(connection.ok()) << connection.error().message;
        return connection.ok() ? std::move(connection).value() : nullptr;
    }

    // The first value of the first row of a query, or "<error>"/"<null>".
    static std::string scalar(mysql::Connection &connection, std::string_view sql)
    {
        auto rows = connection.query(sql);
        if (!rows.ok()) {
            return "<error> " + rows.error().message;
        }
        if (rows->empty() || rows->front().empty()) {
            return "<none>";
        }
        return rows->front().front().value_or("<null>");
    }

private:
    static inline std::unique_ptr<TempDir> s_folder;
    static inline std::unique_ptr<mysql::WorkshopServer> s_server;
    static inline bool s_started = false;
};

} // namespace testing_support

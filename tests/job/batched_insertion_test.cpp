// Multi-row insertion against a private server: every batch that meets a refused row ends with
// exactly the rows, counts and bytes that one statement per row gives, with and without a key.
#include "job/row_insertion.h"
#include "mysql/connection.h"
#include "mysql/statements.h"
#include "mysql/workshop_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

// A row as the test writes it: an integer id and two byte values, NULL when absent.
struct TestRow
{
    std::int64_t id = 0;
    std::optional<std::string> name;
    std::optional<std::string> data;
};

frm::FrmTableEntry tableEntry(const std::string &name)
{
    frm::FrmTableEntry table;
    table.dictionaryName = "zarafa/" + name;
    frm::ColumnDef id;
    id.name = "id";
    id.typeName = "Int";
    frm::ColumnDef text;
    text.name = "name";
    text.typeName = "VarChar";
    frm::ColumnDef blob;
    blob.name = "data";
    blob.typeName = "Blob";
    table.definitionOrder = { id, text, blob };
    return table;
}

innodb::FieldValue bytesValue(const std::optional<std::string> &text)
{
    innodb::FieldValue value;
    if (text) {
        value.kind = innodb::ValueKind::Bytes;
        value.bytes.assign(
            common::Bytes(reinterpret_cast<const std::uint8_t *>(text->data()), text->size()));
    }
    return value;
}

void writeRows(job::MySqlTableWriter &writer, const frm::FrmTableEntry &table,
    const std::vector<TestRow> &rows)
{
    for (const TestRow &row : rows) {
        innodb::DecodedRow decoded;
        decoded.table = &table;
        innodb::FieldValue id;
        id.kind = innodb::ValueKind::Signed;
        id.integer = row.id;
        decoded.values.push_back(std::move(id));
        decoded.values.push_back(bytesValue(row.name));
        decoded.values.push_back(bytesValue(row.data));
        writer.acceptRow(decoded);
    }
    writer.finish();
}

class BatchedInsertionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.startMySqlService()) << m_server.lastProblem();
        auto opened = mysql::Connection::open(m_server.connectionString("root", ""));
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        m_connection = std::move(*opened);
        ASSERT_TRUE(m_connection->execute("create database zarafa").ok());
        ASSERT_TRUE(m_connection->execute("use zarafa").ok());
    }

    void createTable(const std::string &name, const std::string &key)
    {
        const auto created = m_connection->execute("create table `" + name
            + "` (id int not null, name varchar(5) character set utf8, data blob" + key
            + ") engine=MyISAM");
        ASSERT_TRUE(created.ok()) << created.error().message;
    }

    // Every row of the table in a stable order, as hex so that bytes compare exactly.
    mysql::Rows contents(const std::string &name)
    {
        auto rows = m_connection->query("select id, hex(name), hex(data), name is null, "
                                        "data is null from `"
            + name + "` order by id, hex(name), hex(data)");
        EXPECT_TRUE(rows.ok());
        return rows.ok() ? *rows : mysql::Rows {};
    }

    // Inserts `rows` into two fresh tables, batched and one per statement, and expects the
    // same outcome from both.
    void expectSameAsOneRowPath(
        const std::string &key, const std::vector<TestRow> &rows, std::uint64_t refused)
    {
        createTable("batched", key);
        createTable("alone", key);
        const frm::FrmTableEntry batchedTable = tableEntry("batched");
        const frm::FrmTableEntry aloneTable = tableEntry("alone");
        job::MySqlTableWriter batched(*m_connection, batchedTable, job::BatchLimits { 4 });
        writeRows(batched, batchedTable, rows);
        job::MySqlTableWriter alone(*m_connection, aloneTable, job::BatchLimits { 1 });
        writeRows(alone, aloneTable, rows);

        EXPECT_EQ(alone.rowsRefused(), refused);
        EXPECT_EQ(batched.rowsRefused(), alone.rowsRefused());
        EXPECT_EQ(batched.rowsInserted(), alone.rowsInserted());
        EXPECT_EQ(batched.rowsInserted() + batched.rowsRefused(), rows.size());
        EXPECT_EQ(contents("batched"), contents("alone"));
        EXPECT_EQ(contents("batched").size(), rows.size() - refused);
        if (refused > 0) {
            EXPECT_GT(batched.rowsSentAlone(), 0u) << "no batch met the refused rows";
        }
    }

    testing_support::TempDir m_work;
    mysql::WorkshopServer m_server { m_work.path() / "workshop" };
    std::unique_ptr<mysql::Connection> m_connection;
};

const std::string kBinary("\x00\xff'\\\"?\r\n\x1a,)", 11);

TEST_F(BatchedInsertionTest, RowsThatFitGoInWholeBatchesUnchanged)
{
    std::vector<TestRow> rows;
    for (int i = 1; i <= 11; ++i) {
        rows.push_back({ i, i % 3 ? std::optional<std::string>("zoë") : std::nullopt,
            i % 2 ? std::optional<std::string>(kBinary + std::to_string(i)) : "" });
    }
    expectSameAsOneRowPath(", primary key (id)", rows, 0);
}

TEST_F(BatchedInsertionTest, DuplicateKeysAndOverlongValuesAreRefusedAloneWithAKey)
{
    // Batches of four: a duplicate in the middle of the first, an overlong value at the start
    // of the second, at the end of the third, and a duplicate of a row of the same batch.
    const std::vector<TestRow> rows = {
        { 1, "a", kBinary },
        { 2, "b", std::nullopt },
        { 1, "dup", "x" },
        { 3, "c", "y" },
        { 4, "toolong", "z" },
        { 5, "d", kBinary },
        { 6, std::nullopt, "w" },
        { 7, "e", "v" },
        { 8, "f", "u" },
        { 9, "g", "t" },
        { 10, "h", "s" },
        { 11, "éééééé", "r" },
        { 12, "i", "q" },
        { 12, "j", "p" },
    };
    expectSameAsOneRowPath(", primary key (id)", rows, 4);
}

TEST_F(BatchedInsertionTest, ATableWithoutAKeyGetsEachRowExactlyOnce)
{
    const std::vector<TestRow> rows = {
        { 1, "a", "x" },
        { 1, "a", "x" }, // two equal rows: both belong in a table without a key
        { 2, "toolong", "y" },
        { 3, "b", kBinary },
        { 4, "c", "z" },
        { 4, "c", "z" },
        { 5, "d", "w" },
        { 6, "sixsix", "v" },
    };
    expectSameAsOneRowPath("", rows, 2);
}

TEST_F(BatchedInsertionTest, TheSessionModeIsPutBackAfterTheTable)
{
    auto before = m_connection->query("select @@session.sql_mode");
    ASSERT_TRUE(before.ok());
    createTable("t", ", primary key (id)");
    const frm::FrmTableEntry table = tableEntry("t");
    job::MySqlTableWriter writer(*m_connection, table);
    writeRows(writer, table, { { 1, "a", "x" }, { 2, "b", "y" } });
    auto after = m_connection->query("select @@session.sql_mode");
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(*before, *after);
}

TEST_F(BatchedInsertionTest, AStoredZeroOfAnAutoIncrementColumnStaysZero)
{
    // The rebuild's own connection: the server's default mode would number a 0 anew.
    auto opened = mysql::connectToServer(m_server, "localhost", "root", "");
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    mysql::Connection &rebuild = **opened;
    ASSERT_TRUE(rebuild.execute("use zarafa").ok());
    ASSERT_TRUE(rebuild
                    .execute("create table counted (id int not null auto_increment, name "
                             "varchar(5), data blob, primary key (id)) engine=MyISAM")
                    .ok());
    const frm::FrmTableEntry table = tableEntry("counted");
    job::MySqlTableWriter writer(rebuild, table, job::BatchLimits { 4 });
    writeRows(writer, table, { { 0, "zero", "z" }, { 7, "seven", "s" }, { 1, "one", "o" } });
    EXPECT_EQ(writer.rowsInserted(), 3u);
    auto ids = rebuild.query("select id from counted order by id");
    ASSERT_TRUE(ids.ok());
    EXPECT_EQ(*ids, (mysql::Rows { { "0" }, { "1" }, { "7" } }));
}

// Records what a table writer tells its copy: the ids of the rows staged, then their fates.
class RecordingCopy : public job::LandedRows
{
public:
    void stage(const innodb::DecodedRow &row) override { m_staged.push_back(row.values[0].integer); }
    void settle(std::size_t count, bool landed) override
    {
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_LT(m_settled, m_staged.size()) << "settled before it was staged";
            if (landed) {
                m_landed.push_back(m_staged[m_settled]);
            }
            ++m_settled;
        }
    }
    std::vector<std::int64_t> m_staged;
    std::vector<std::int64_t> m_landed;
    std::size_t m_settled = 0;
};

TEST_F(BatchedInsertionTest, TheCopyLearnsEveryRowsFateInTheOrderTheRowsCame)
{
    // Enough batches that one is always with the server while the next fills, with refusals
    // in several of them.
    std::vector<TestRow> rows;
    std::vector<std::int64_t> expected;
    for (int i = 1; i <= 200; ++i) {
        const bool refused = i % 7 == 0;
        rows.push_back({ i, refused ? std::optional<std::string>("toolong") : "ok", "d" });
        if (!refused) {
            expected.push_back(i);
        }
    }
    createTable("copied", ", primary key (id)");
    const frm::FrmTableEntry table = tableEntry("copied");
    RecordingCopy copy;
    job::MySqlTableWriter writer(*m_connection, table, job::BatchLimits { 5 });
    writer.copyLandedRowsTo(&copy);
    writeRows(writer, table, rows);
    EXPECT_EQ(copy.m_settled, rows.size());
    EXPECT_EQ(copy.m_landed, expected);
    EXPECT_EQ(writer.rowsInserted(), expected.size());
    EXPECT_EQ(writer.rowsRefused(), rows.size() - expected.size());
    EXPECT_EQ(contents("copied").size(), expected.size());
}

} // namespace

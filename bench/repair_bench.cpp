// zarafa-bench FOLDER [--runs N] [--no-rebuild]: the figures of one repair on a data folder, each
// beside a baseline measured in the same run:
//   scan     MB/s of the page scanner   vs a plain sequential read of the same file
//   decode   rows/s and MB/s of decoding every table to a sink that keeps nothing (no server)
//   rebuild  rows/s inserted one statement per row into a private server
//            vs the server's own import of FOLDER/truth/dump.sql into MyISAM tables
#include "frm/create_table_text.h"
#include "innodb/page_scanner.h"
#include "innodb/tablespace_file.h"
#include "job/definition_pass.h"
#include "job/folder_listing.h"
#include "job/row_insertion.h"
#include "job/save_database.h"
#include "mysql/connection.h"
#include "mysql/workshop_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

class SilentHost : public job::RepairHost
{
public:
    job::Answer showMessage(const job::Message &) override { return job::Answer::No; }
    void statusLine(int, std::string_view) override { }
    void setVisible(job::Control, bool) override { }
    void setEnabled(job::Control, bool) override { }
    void setStartStopPicture(job::StartStopPicture) override { }
    void scrollListToTop() override { }
    void clearList() override { }
    void addListRow(int, std::string_view) override { }
    void showCompletion(std::string_view) override { }
    std::optional<job::LoginValues> askLogin(const std::function<bool()> &) override
    {
        return std::nullopt;
    }
};

class CountingWriter : public job::TableWriter
{
public:
    void acceptRow(const innodb::DecodedRow &) override { ++m_rows; }
    std::uint64_t rowsInserted() const override { return m_rows; }
    std::uint64_t rowsRefused() const override { return 0; }

private:
    std::uint64_t m_rows = 0;
};

struct JobContext
{
    SilentHost host;
    job::JobFlags flags;
    job::LoginValues login;
    logreport::LogReport log;
    job::RepairJob repairJob { flags, host, login, log };

    explicit JobContext(const std::string &folder)
    {
        repairJob.databaseFolder = folder;
        job::listTableFiles(repairJob, folder);
    }
};

std::uint64_t rowsOf(const job::RepairJob &repairJob)
{
    std::uint64_t rows = 0;
    for (const auto &outcome : repairJob.outcomes) {
        rows += outcome.rowsInserted;
    }
    return rows;
}

void benchScan(const std::string &tablespace, int runs)
{
    std::vector<double> plain;
    std::vector<double> scanner;
    std::uint64_t size = 0;
    for (int run = 0; run < runs; ++run) {
        auto file = innodb::TablespaceFile::open(tablespace);
        if (!file) {
            std::fprintf(stderr, "%s\n", file.error().describe().c_str());
            return;
        }
        size = file->sizeBytes();
        const std::size_t chunk = innodb::kScanChunkPages * innodb::kPageSize;
        auto buffer = std::make_unique<std::uint8_t[]>(chunk);
        auto start = Clock::now();
        for (std::uint64_t offset = 0; offset < size;) {
            auto got = file->readAt(offset, std::span(buffer.get(), chunk));
            if (!got.ok() || *got == 0) {
                break;
            }
            offset += *got;
        }
        plain.push_back(seconds(Clock::now() - start));
        start = Clock::now();
        auto scan = innodb::scanTablespace(*file, {});
        scanner.push_back(seconds(Clock::now() - start));
        if (!scan) {
            std::fprintf(stderr, "%s\n", scan.error().describe().c_str());
            return;
        }
    }
    const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("scan     %8.1f MB/s   plain read %8.1f MB/s   ratio %.2f   (%.1f MB, median "
                "of %d, page cache warm after the first)\n",
        mb / median(scanner), mb / median(plain), median(plain) / median(scanner), mb, runs);
}

void benchDecode(const std::string &folder, int runs)
{
    std::vector<double> times;
    std::uint64_t rows = 0;
    std::uint64_t size = 0;
    for (int run = 0; run < runs; ++run) {
        JobContext context(folder);
        job::runDefinitionPass(context.repairJob, [](const frm::FrmTableEntry &) { return true; });
        job::DataPassSteps steps;
        steps.openWriter
            = [](const frm::FrmTableEntry &) { return std::make_unique<CountingWriter>(); };
        const auto start = Clock::now();
        job::saveDatabase(context.repairJob, steps);
        times.push_back(seconds(Clock::now() - start));
        rows = rowsOf(context.repairJob);
        size = context.log.tablespaceSize();
    }
    const double t = median(times);
    std::printf("decode   %8.0f rows/s %6.1f MB/s   (%llu rows, scan included, median of %d)\n",
        static_cast<double>(rows) / t, static_cast<double>(size) / (1024.0 * 1024.0) / t,
        static_cast<unsigned long long>(rows), runs);
}

int countDumpRows(const fs::path &truth)
{
    int rows = 0;
    for (const auto &entry : fs::directory_iterator(truth)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".tsv") && name != "columns.tsv" && name != "innodb-indexes.tsv") {
            std::ifstream in(entry.path(), std::ios::binary);
            std::string line;
            std::getline(in, line);
            while (std::getline(in, line)) {
                ++rows;
            }
        }
    }
    return rows;
}

void benchRebuild(const std::string &folder)
{
    const fs::path work
        = fs::temp_directory_path() / ("zarafa-bench-" + std::to_string(::getpid()));
    {
        mysql::WorkshopServer server(work / "workshop");
        if (!server.startMySqlService()) {
            std::fprintf(stderr, "rebuild: %s\n", server.lastProblem().c_str());
            return;
        }
        auto opened = mysql::Connection::open(server.connectionString("root", ""));
        if (!opened) {
            std::fprintf(stderr, "rebuild: %s\n", opened.error().message.c_str());
            return;
        }
        mysql::Connection &connection = **opened;
        (void)connection.execute("SET time_zone = '+00:00'");
        (void)connection.execute("create database zarafa");
        (void)connection.execute("use zarafa");
        JobContext context(folder);
        job::runDefinitionPass(context.repairJob, [&](const frm::FrmTableEntry &table) {
            return connection.execute(frm::createTableText(table)).ok();
        });
        job::DataPassSteps steps;
        steps.openWriter = [&](const frm::FrmTableEntry &table) {
            return std::make_unique<job::MySqlTableWriter>(connection, table);
        };
        const auto start = Clock::now();
        job::saveDatabase(context.repairJob, steps);
        const double ours = seconds(Clock::now() - start);
        const std::uint64_t rows = rowsOf(context.repairJob);

        const fs::path dump = fs::path(folder) / "truth" / "dump.sql";
        double baseline = 0;
        int baselineRows = 0;
        if (fs::exists(dump)) {
            baselineRows = countDumpRows(dump.parent_path());
            const std::string client = "mariadb --no-defaults --socket='"
                + server.socketPath().string() + "' --user=root --max-allowed-packet=1G";
            (void)std::system((client + " -e 'create database baseline'").c_str());
            const std::string command = "sed 's/ENGINE=InnoDB/ENGINE=MyISAM/' '" + dump.string()
                + "' | " + client + " baseline";
            const auto importStart = Clock::now();
            const int status = std::system(command.c_str());
            baseline = seconds(Clock::now() - importStart);
            if (status != 0) {
                baseline = 0;
            }
        }
        std::printf("rebuild  %8.0f rows/s (%llu rows, decode included)", rows / ours,
            static_cast<unsigned long long>(rows));
        if (baseline > 0) {
            std::printf("   server import of dump.sql %8.0f rows/s   ratio %.2f\n",
                baselineRows / baseline, (rows / ours) / (baselineRows / baseline));
        } else {
            std::printf("   (no truth/dump.sql beside the folder: no baseline)\n");
        }
        server.stopMySqlService();
    }
    std::error_code error;
    fs::remove_all(work, error);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: zarafa-bench FOLDER [--runs N] [--no-rebuild]\n");
        return 2;
    }
    const std::string folder = argv[1];
    int runs = 3;
    bool rebuild = true;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--no-rebuild") == 0) {
            rebuild = false;
        }
    }
    const auto tablespace = job::findEntryIgnoringCase(folder, "ibdata1", false);
    if (!tablespace) {
        std::fprintf(stderr, "%s holds no ibdata1\n", folder.c_str());
        return 2;
    }
    benchScan((fs::path(folder) / *tablespace).string(), runs);
    benchDecode(folder, runs);
    if (rebuild) {
        benchRebuild(folder);
    }
    return 0;
}

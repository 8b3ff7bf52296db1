// zarafa-bench FOLDER [--runs N] [--repair-runs N] [--no-rebuild | --repair-only]
//              [--memory-baseline SMALLER]: the figures of one repair on a data folder, each
// beside a baseline measured in the same run:
//   scan      MB/s of the page scanner   vs a plain sequential read of the same file, both from
//             the page cache and with the file's cached pages dropped first
//   decode    rows/s and MB/s of decoding every table to a sink that keeps nothing (no server)
//   rebuild   rows/s inserted in batches into a private server with the server's own settings
//             vs the server's own import of the truth dump into InnoDB tables, as a user restoring
//             a backup would run it (FOLDER/truth/zarafa.sql or FOLDER/truth/dump.sql)
//   repair    whole zarafa-repair runs (scan, decode, insert, switch, dump, finish): the median
//             seconds of --repair-runs (3) vs the median of as many imports taken in turns, and
//             the peak resident memory of the tool alone and of every process of the run (the
//             server the worker thread starts included)
//   scaling   with --memory-baseline SMALLER, how the time and the tool's peak grow from the
//             smaller folder's repair to FOLDER's
// FOLDER is a data folder, or a generated folder holding one as FOLDER/input.
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
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
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
    void showCompletion(const job::Completion &) override { }
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

// Drops the file's pages from the page cache (clean pages of a file we only read).
void dropCachedPages(const std::string &path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        (void)::posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
        ::close(descriptor);
    }
}

// A plain sequential read of the whole file in `chunk`-byte reads into a buffer already touched,
// doing nothing with the bytes; the seconds it took.
double plainRead(innodb::TablespaceFile &file, std::size_t chunk)
{
    std::vector<std::uint8_t> buffer(chunk);
    file.adviseSequential();
    const auto start = Clock::now();
    for (std::uint64_t offset = 0; offset < file.sizeBytes();) {
        auto got = file.readAt(offset, std::span(buffer.data(), chunk));
        if (!got.ok() || *got == 0) {
            break;
        }
        offset += *got;
    }
    return seconds(Clock::now() - start);
}

// The baseline is the better of two plain reads, in 1 MiB and in 12 MiB pieces (read sizes
// differ by up to a third from the page cache), so the scanner is held to the best plain read.
// Each way of reading gets the same number of runs, its median counts, and the order rotates
// from run to run, so neither side gets more draws from a noisy disk or the first turn.
void benchScan(const std::string &tablespace, int runs, bool cached)
{
    const std::size_t chunks[]
        = { std::size_t { 1 } << 20, innodb::kScanChunkPages * innodb::kDefaultPageSize };
    std::vector<double> plain[2];
    std::vector<double> scanner;
    std::uint64_t size = 0;
    for (int run = 0; run < runs; ++run) {
        auto file = innodb::TablespaceFile::open(tablespace);
        if (!file) {
            std::fprintf(stderr, "%s\n", file.error().describe().c_str());
            return;
        }
        size = file->sizeBytes();
        for (int turn = 0; turn < 3; ++turn) {
            const int way = (run + turn) % 3; // 0 and 1: plain reads, 2: the scanner
            if (!cached) {
                dropCachedPages(tablespace);
            }
            if (way < 2) {
                plain[way].push_back(plainRead(*file, chunks[way]));
                continue;
            }
            const auto start = Clock::now();
            auto scan = innodb::scanTablespace(*file, {});
            scanner.push_back(seconds(Clock::now() - start));
            if (!scan) {
                std::fprintf(stderr, "%s\n", scan.error().describe().c_str());
                return;
            }
        }
    }
    if (std::getenv("ZR_BENCH_VERBOSE")) { // every run's seconds, to see the spread
        for (int run = 0; run < runs; ++run) {
            std::printf("  run %d: plain 1 MiB %.3f s, plain 12 MiB %.3f s, scanner %.3f s\n", run,
                plain[0][static_cast<std::size_t>(run)], plain[1][static_cast<std::size_t>(run)],
                scanner[static_cast<std::size_t>(run)]);
        }
    }
    const double best = std::min(median(plain[0]), median(plain[1]));
    const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("scan %-8s %8.1f MB/s   plain read %8.1f MB/s   ratio %.2f   (target 0.9; %.1f "
                "MB, median of %d)\n",
        cached ? "cached" : "uncached", mb / median(scanner), mb / best, best / median(scanner), mb,
        runs);
    // The fastest run of each shows what the disk allows when nothing else is in the way.
    const auto fastest = [](const std::vector<double> &values) {
        return *std::min_element(values.begin(), values.end());
    };
    const double bestPlain = std::min(fastest(plain[0]), fastest(plain[1]));
    std::printf(
        "              fastest runs: scanner %8.1f MB/s, plain read %8.1f MB/s, ratio %.2f\n",
        mb / fastest(scanner), mb / bestPlain, bestPlain / fastest(scanner));
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
    std::printf("decode        %8.0f rows/s %6.1f MB/s   (target 200000 rows/s; %llu rows, scan "
                "included, median of %d)\n",
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

// The truth dump of a folder: the generator's FOLDER/truth/zarafa.sql (beside FOLDER/input) or
// the fixture scripts' FOLDER/truth/dump.sql.
std::optional<fs::path> truthDump(const std::string &folder)
{
    for (const char *name : { "zarafa.sql", "dump.sql" }) {
        fs::path dump = fs::path(folder) / "truth" / name;
        if (fs::exists(dump)) {
            return dump;
        }
    }
    return std::nullopt;
}

// The data folder to repair: FOLDER itself, or FOLDER/input in the generator's layout.
std::string inputFolder(const std::string &folder)
{
    const fs::path input = fs::path(folder) / "input";
    return fs::is_directory(input) ? input.string() : folder;
}

// The seconds of the server's import of the truth dump into InnoDB tables (a user's restore of
// a backup), 0 without one. The dump may name its database: it is loaded into a database of its
// own name stripped, so that both layouts compare alike.
double importDump(const mysql::WorkshopServer &server, const std::string &folder, int &rows)
{
    const auto found = truthDump(folder);
    if (!found) {
        return 0;
    }
    const fs::path dump = *found;
    rows = countDumpRows(dump.parent_path());
    const std::string client = "mariadb --no-defaults --socket='" + server.socketPath().string()
        + "' --user=root --max-allowed-packet=1G";
    (void)std::system((client + " -e 'create database baseline'").c_str());
    const std::string command = "sed -e '/^CREATE DATABASE/d' -e '/^USE /d' '" + dump.string()
        + "' | " + client + " baseline";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double elapsed = seconds(Clock::now() - start);
    (void)std::system((client + " -e 'drop database baseline'").c_str());
    return status == 0 ? elapsed : 0;
}

// The seconds of one more import of the truth dump into a server of its own, 0 without one.
double importOnce(const std::string &truthFolder)
{
    const fs::path work
        = fs::temp_directory_path() / ("zarafa-bench-import-" + std::to_string(::getpid()));
    double elapsed = 0;
    {
        mysql::WorkshopServer server(work / "workshop");
        server.setTuned(false);
        if (!server.startMySqlService()) {
            std::fprintf(stderr, "import: %s\n", server.lastProblem().c_str());
            return 0;
        }
        int rows = 0;
        ::sync(); // the writes of the run before are not this import's to wait for
        elapsed = importDump(server, truthFolder, rows);
        server.stopMySqlService();
    }
    std::error_code error;
    fs::remove_all(work, error);
    return elapsed;
}

// Returns the seconds of the server's import, for the whole-repair figure. `truthFolder` holds
// the truth dump (the generated folder around `folder`, or `folder` itself).
double benchRebuild(const std::string &folder, const std::string &truthFolder)
{
    double baseline = 0;
    const fs::path work
        = fs::temp_directory_path() / ("zarafa-bench-" + std::to_string(::getpid()));
    {
        mysql::WorkshopServer server(work / "workshop");
        // The baseline is a restore into a server as a user runs it, syncing its files: not
        // into one tuned like the repair's own workshop.
        server.setTuned(false);
        if (!server.startMySqlService()) {
            std::fprintf(stderr, "rebuild: %s\n", server.lastProblem().c_str());
            return 0;
        }
        auto opened = mysql::Connection::open(server.connectionString("root", ""));
        if (!opened) {
            std::fprintf(stderr, "rebuild: %s\n", opened.error().message.c_str());
            return 0;
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

        int baselineRows = 0;
        ::sync();
        baseline = importDump(server, truthFolder, baselineRows);
        std::printf("rebuild       %8.0f rows/s (%llu rows, decode included)", rows / ours,
            static_cast<unsigned long long>(rows));
        if (baseline > 0) {
            std::printf("   server's InnoDB import %8.0f rows/s   ratio %.2f\n",
                baselineRows / baseline, (rows / ours) / (baselineRows / baseline));
        } else {
            std::printf(
                "   (no truth/zarafa.sql or truth/dump.sql beside the folder: no baseline)\n");
        }
        server.stopMySqlService();
    }
    std::error_code error;
    fs::remove_all(work, error);
    return baseline;
}

// The kilobytes of a "Vm...:" line of /proc/PID/status, 0 when the process is gone.
std::uint64_t statusKilobytes(pid_t pid, const std::string &field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(field + ":")) {
            return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return 0;
}

// The resident kilobytes of `pid` and every process below it (the server, the client tools).
// Children are listed per thread, and the server is started by the repair's worker thread, so
// every thread's list is read, not only the main thread's.
std::uint64_t treeResidentKilobytes(pid_t pid)
{
    std::uint64_t total = statusKilobytes(pid, "VmRSS");
    std::error_code error;
    for (const auto &task :
        fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream children(task.path() / "children");
        pid_t child = 0;
        while (children >> child) {
            total += treeResidentKilobytes(child);
        }
    }
    return total;
}

// Kept leaf pages of the folder's tablespaces, the quantity its memory grows with.
std::uint64_t keptPages(const std::string &folder)
{
    std::uint64_t pages = 0;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        const auto name = entry.path().filename().string();
        if (entry.is_regular_file() && (name == "ibdata1" || name.ends_with(".ibd"))) {
            if (auto file = innodb::TablespaceFile::open(entry.path().string())) {
                if (auto scan = innodb::scanTablespace(*file, {})) {
                    pages += scan->allPages.size();
                }
            }
        }
    }
    return pages;
}

struct RepairFigures
{
    double seconds = 0;
    double toolPeakMb = 0; // zarafa-repair's own high-water mark
    double treePeakMb = 0; // zarafa-repair with its server and tools, sampled
    bool ok = false;
};

// A whole repair by the zarafa-repair beside this program (its own workshop in a temporary
// folder), timed, with the memory of the tool and of the tool with its server sampled every 20 ms
// (the tool's own figure is the kernel's high-water mark, so no peak slips between samples).
RepairFigures wholeRepair(const std::string &folder)
{
    RepairFigures figures;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path repair = self.parent_path().parent_path() / "src" / "cli" / "zarafa-repair";
    if (!fs::exists(repair)) {
        std::fprintf(stderr, "repair: %s is not built\n", repair.c_str());
        return figures;
    }
    const fs::path work
        = fs::temp_directory_path() / ("zarafa-bench-repair-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const std::string workshop = (work / "workshop").string();
    const std::string log = (work / "repair.log").string();
    // The result stays in the work folder: every run holds a whole copy of the database.
    const std::string output = (work / "out").string();
    ::sync(); // the writes of the run before are not this run's to wait for
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::setenv("XDG_CONFIG_HOME", work.c_str(), 1);
        ::setenv("XDG_DATA_HOME", work.c_str(), 1);
        ::execl(repair.c_str(), repair.c_str(), "--folder", folder.c_str(), "--workshop",
            workshop.c_str(), "--output", output.c_str(), "--yes", "--quiet",
            static_cast<char *>(nullptr));
        ::_exit(127);
    }
    if (child < 0) {
        std::fprintf(stderr, "repair: could not run %s\n", repair.c_str());
        return figures;
    }
    int status = 0;
    std::uint64_t toolKb = 0;
    std::uint64_t treeKb = 0;
    while (true) {
        toolKb = std::max(toolKb, statusKilobytes(child, "VmHWM"));
        treeKb = std::max(treeKb, treeResidentKilobytes(child));
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            break;
        }
        if (done < 0) {
            std::fprintf(stderr, "repair: lost track of %s\n", repair.c_str());
            return figures;
        }
        ::usleep(20000);
    }
    figures.seconds = seconds(Clock::now() - start);
    figures.toolPeakMb = static_cast<double>(toolKb) / 1024.0;
    figures.treePeakMb = static_cast<double>(std::max(treeKb, toolKb)) / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(
            stderr, "repair: zarafa-repair ended with status %d; see %s\n", status, log.c_str());
        return figures;
    }
    figures.ok = true;
    std::error_code error;
    fs::remove_all(work, error);
    return figures;
}

// Whole repairs and, unless `firstImport` is 0 (no truth dump, or the repair alone), imports taken
// in turns, `runs` of each, so that a machine whose speed drifts weighs on both alike; the
// medians, and the highest memory of any repair.
void benchWholeRepair(const std::string &folder, const std::string &truthFolder, double firstImport,
    int runs, const std::string &memoryBaseline)
{
    std::vector<double> imports;
    std::vector<double> repairs;
    RepairFigures figures;
    for (int run = 0; run < runs; ++run) {
        const double imported
            = firstImport <= 0 ? 0 : (run == 0 ? firstImport : importOnce(truthFolder));
        if (imported > 0) {
            imports.push_back(imported);
        }
        const auto repaired = wholeRepair(folder);
        if (!repaired.ok) {
            return;
        }
        repairs.push_back(repaired.seconds);
        figures.toolPeakMb = std::max(figures.toolPeakMb, repaired.toolPeakMb);
        figures.treePeakMb = std::max(figures.treePeakMb, repaired.treePeakMb);
    }
    figures.seconds = median(repairs);
    const double importSeconds = imports.empty() ? 0 : median(imports);
    std::printf("repair        %8.1f s", figures.seconds);
    if (importSeconds > 0) {
        std::printf("   server's InnoDB import %8.1f s   ratio %.2f (target <= 0.7 on the large "
                    "folder, <= 1.0 on the default one; medians of %d, taken in turns)",
            importSeconds, figures.seconds / importSeconds, runs);
    }
    const auto pages = keptPages(folder);
    std::printf("\nmemory        %8.1f MB peak resident of zarafa-repair (target <= 32 MB), "
                "%.1f MB of every process of the run (%llu kept pages)\n",
        figures.toolPeakMb, figures.treePeakMb, static_cast<unsigned long long>(pages));
    if (memoryBaseline.empty()) {
        return;
    }
    const auto small = wholeRepair(memoryBaseline);
    const auto smallPages = keptPages(memoryBaseline);
    if (!small.ok || smallPages >= pages) {
        std::fprintf(stderr, "memory: no smaller folder to compare with\n");
        return;
    }
    const double growth = (figures.toolPeakMb - small.toolPeakMb) * 1024.0 * 1024.0
        / static_cast<double>(pages - smallPages);
    std::printf("memory growth %8.1f bytes per kept page (target <= 64; %s: %.1f MB at %llu kept "
                "pages)\n",
        growth, memoryBaseline.c_str(), small.toolPeakMb,
        static_cast<unsigned long long>(smallPages));
    const double sizeRatio = static_cast<double>(pages) / static_cast<double>(smallPages);
    std::printf("scaling       %8.2f x the time of %s for %.2f x its kept pages (target: time "
                "ratio <= 1.1 x the size ratio)\n",
        figures.seconds / small.seconds, memoryBaseline.c_str(), sizeRatio);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
            "usage: zarafa-bench FOLDER [--runs N] [--repair-runs N] [--no-rebuild | "
            "--repair-only] "
            "[--memory-baseline SMALLER]\n");
        return 2;
    }
    const std::string given = argv[1];
    const std::string folder = inputFolder(given);
    int runs = 5;
    int repairRuns = 3; // whole repairs and imports: half a minute each on the large folder
    bool rebuild = true;
    bool repairOnly = false; // the whole repair and its memory alone, without an import baseline
    std::string memoryBaseline;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--repair-runs") == 0 && i + 1 < argc) {
            repairRuns = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--no-rebuild") == 0) {
            rebuild = false;
        } else if (std::strcmp(argv[i], "--repair-only") == 0) {
            repairOnly = true;
        } else if (std::strcmp(argv[i], "--memory-baseline") == 0 && i + 1 < argc) {
            memoryBaseline = inputFolder(argv[++i]);
        }
    }
    const auto tablespace = job::findEntryIgnoringCase(folder, "ibdata1", false);
    if (!tablespace) {
        std::fprintf(stderr, "%s holds no ibdata1\n", folder.c_str());
        return 2;
    }
    if (repairOnly) {
        benchWholeRepair(folder, given, 0, repairRuns, memoryBaseline);
        return 0;
    }
    const std::string path = (fs::path(folder) / *tablespace).string();
    benchScan(path, runs, true);
    // The disk behind this machine swings by a factor of two from one read to the next: more
    // runs for a median that holds still.
    benchScan(path, 2 * runs + 1, false);
    benchDecode(folder, runs);
    if (rebuild) {
        const double importSeconds = benchRebuild(folder, given);
        benchWholeRepair(folder, given, importSeconds, repairRuns, memoryBaseline);
    }
    return 0;
}

#include "damaged_folder.h"

#include "frm/table_definition_reader.h"
#include "innodb/index_tree.h"
#include "innodb/lob_decoder.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/table_discovery.h"
#include "innodb/tablespace_file.h"
#include "innodb/value_text.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace robustness {

namespace {

class LineSink : public innodb::RowSink
{
public:
    void acceptRow(const innodb::DecodedRow &row) override
    {
        std::ostringstream line;
        (void)innodb::writeTsvLine(row, line);
        lines.push_back(line.str());
    }
    Lines lines;
};

RowsByPage decodeFixture(const fs::path &folder)
{
    RowsByPage result;
    auto file = innodb::TablespaceFile::open((folder / "ibdata1").string());
    if (!file) {
        return result;
    }
    auto scan = innodb::scanTablespace(*file, {});
    auto discovery = scan ? innodb::discoverTables(*file, *scan)
                          : common::Result<innodb::TableDiscovery>(scan.error());
    if (!discovery) {
        return result;
    }
    innodb::LongValueStore store;
    std::array<std::uint8_t, innodb::kDefaultPageSize> buffer {};
    for (const auto &entry : fs::directory_iterator(folder / "Zarafa")) {
        const std::string fileName = entry.path().filename().string();
        const std::string name = frm::tableNameFromFileName(fileName);
        auto table = frm::readTableDefinition(entry.path().string(), fileName, "zarafa/" + name);
        const auto *found = table ? discovery->find(table->dictionaryName) : nullptr;
        if (!found) {
            continue;
        }
        innodb::RecordDecoder decoder(*table, *file, store);
        const auto pages = innodb::collectTablePages(
            *file, *scan, found->indexId, found->rootPage, decoder.keyLayout());
        auto &byPage = result.tables[name];
        result.rootPages[name] = found->rootPage;
        for (const auto &page : pages.treePages) {
            if (!file->readPage(page.pageNumber, innodb::PageBuffer(buffer))) {
                continue;
            }
            LineSink sink;
            const innodb::ConstPage view(buffer);
            if (innodb::isLobTable(found->name)) {
                innodb::DecodeLobPage(decoder, view, page.pageNumber, sink);
            } else {
                innodb::DecodePageRecords(decoder, view, page.pageNumber, sink);
            }
            byPage[page.pageNumber] = std::move(sink.lines);
        }
    }
    return result;
}

Lines readLines(const fs::path &path, bool skipHeader)
{
    std::ifstream in(path, std::ios::binary);
    Lines lines;
    bool first = true;
    for (std::string line; std::getline(in, line); first = false) {
        if (!(first && skipHeader)) {
            lines.push_back(line + "\n");
        }
    }
    return lines;
}

// The first line `a` holds more often than `b`, for failure messages.
std::string firstDifference(const std::map<std::string, int> &a, std::map<std::string, int> b)
{
    for (const auto &[line, count] : a) {
        if (count > b[line]) {
            return line;
        }
    }
    return {};
}

std::string quoted(const fs::path &path) { return "'" + path.string() + "'"; }

} // namespace

fs::path zarafaFixture()
{
    const char *value = std::getenv("ZR_ZARAFA_FIXTURE_DIR");
    if (!value || !fs::exists(fs::path(value) / "ibdata1")) {
        return {};
    }
    return value;
}

const RowsByPage &rowsByPage()
{
    static const RowsByPage rows = decodeFixture(zarafaFixture());
    return rows;
}

std::vector<std::uint32_t> leafPages()
{
    std::vector<std::uint32_t> pages;
    for (const auto &[table, byPage] : rowsByPage().tables) {
        for (const auto &[page, lines] : byPage) {
            pages.push_back(page);
        }
    }
    std::sort(pages.begin(), pages.end());
    return pages;
}

DamagedFolder::DamagedFolder()
    : m_folder(m_temp.path() / "data")
{
    const fs::path source = zarafaFixture();
    fs::create_directories(m_folder / "Zarafa");
    for (const auto &entry : fs::directory_iterator(source / "Zarafa")) {
        fs::copy_file(entry.path(), m_folder / "Zarafa" / entry.path().filename());
    }
    fs::copy_file(source / "ibdata1", m_folder / "ibdata1");
}

std::vector<std::uint8_t> DamagedFolder::readPage(std::uint32_t page) const
{
    std::vector<std::uint8_t> bytes(innodb::kDefaultPageSize);
    std::ifstream in(ibdata(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(std::uint64_t { page } * innodb::kDefaultPageSize));
    in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

namespace {

void writeAt(const fs::path &path, std::uint64_t offset, const std::uint8_t *bytes, std::size_t n)
{
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char *>(bytes), static_cast<std::streamsize>(n));
}

} // namespace

void DamagedFolder::zeroPage(std::uint32_t page)
{
    const std::vector<std::uint8_t> zeros(innodb::kDefaultPageSize, 0);
    writeAt(ibdata(), std::uint64_t { page } * innodb::kDefaultPageSize, zeros.data(), zeros.size());
}

void DamagedFolder::randomisePage(
    std::uint32_t page, std::uint32_t seed, std::size_t from, std::size_t to)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes = readPage(page);
    for (std::size_t i = from; i < to; ++i) {
        bytes[i] = static_cast<std::uint8_t>(random());
    }
    writeAt(ibdata(), std::uint64_t { page } * innodb::kDefaultPageSize, bytes.data(), bytes.size());
}

void DamagedFolder::copyFirstHalf(std::uint32_t from, std::uint32_t to)
{
    const auto bytes = readPage(from);
    writeAt(ibdata(), std::uint64_t { to } * innodb::kDefaultPageSize, bytes.data(), bytes.size() / 2);
}

void DamagedFolder::writeBigEndian32(std::uint32_t page, std::size_t offset, std::uint32_t value)
{
    const std::array<std::uint8_t, 4> bytes { static_cast<std::uint8_t>(value >> 24),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value) };
    writeAt(ibdata(), std::uint64_t { page } * innodb::kDefaultPageSize + offset, bytes.data(), 4);
}

void DamagedFolder::truncate(std::uint64_t size) { fs::resize_file(ibdata(), size); }

DumpRun runDumpRows(const fs::path &folder, const std::string &asUser)
{
    testing_support::TempDir output;
    const fs::path out = output.path() / "rows";
    const fs::path messages = output.path() / "messages.txt";
    std::string command;
    if (!asUser.empty()) {
        // The other user must be able to write the rows and messages.
        fs::permissions(output.path(), fs::perms::all, fs::perm_options::add);
        command = "setpriv --reuid=" + asUser + " --regid=" + asUser + " --clear-groups ";
    }
    command += quoted(ZR_REPAIR_PROGRAM) + " dump-rows " + quoted(folder) + " --out " + quoted(out)
        + " 2>" + quoted(messages) + " >/dev/null";
    const int status = std::system(command.c_str());
    DumpRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(messages, std::ios::binary);
    run.messages.assign(std::istreambuf_iterator<char>(in), {});
    if (fs::exists(out)) {
        for (const auto &entry : fs::directory_iterator(out)) {
            run.tables[entry.path().stem().string()] = readLines(entry.path(), true);
        }
    }
    return run;
}

namespace {

// A count of the table's summary line: "zarafa/<table>: R rows, D deleted skipped, B damaged
// records, L rows with damaged long values, N values cut short", the table's name perhaps
// followed by its file in parentheses.
std::uint64_t summaryCount(
    const std::string &messages, const std::string &table, const std::string &label)
{
    const std::string name = "zarafa/" + table;
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) {
        const bool ours = line.rfind(name + ":", 0) == 0 || line.rfind(name + " (", 0) == 0;
        const auto end = line.rfind(" " + label);
        if (!ours || end == std::string::npos || line.find(" rows, ") == std::string::npos) {
            continue;
        }
        const auto begin = line.rfind(' ', end - 1);
        return std::stoull(line.substr(begin + 1, end - begin - 1));
    }
    return 0;
}

} // namespace

std::uint64_t DumpRun::valuesCutShort(const std::string &table) const
{
    return summaryCount(messages, table, "values cut short");
}

std::uint64_t DumpRun::rowsWithDamagedLongValues(const std::string &table) const
{
    return summaryCount(messages, table, "rows with damaged long values");
}

std::size_t expectIntactRowsRecovered(const DumpRun &run, const Allowance &allowance)
{
    std::size_t missing = 0;
    for (const auto &[table, byPage] : rowsByPage().tables) {
        std::map<std::string, int> truth; // every row, damaged pages too
        std::map<std::string, int> required; // rows of intact pages
        for (const auto &[page, lines] : byPage) {
            const bool intact = !allowance.damagedPages.count(page);
            for (const auto &line : lines) {
                ++truth[line];
                if (intact) {
                    ++required[line];
                }
            }
        }
        std::map<std::string, int> got;
        if (const auto found = run.tables.find(table); found != run.tables.end()) {
            for (const auto &line : found->second) {
                ++got[line];
            }
        }
        // A row whose long value lost its overflow pages comes out with the value cut short,
        // and says so in its table's count: it differs from the truth, but knowingly.
        const std::uint64_t cutShort = run.valuesCutShort(table);
        std::uint64_t different = 0;
        for (const auto &[line, count] : got) {
            if (count > truth[line]) {
                different += static_cast<std::uint64_t>(count - truth[line]);
            }
        }
        EXPECT_LE(different, cutShort) << table << ": rows not in the truth, e.g. "
                                       << firstDifference(got, truth).substr(0, 200);
        if (allowance.lostTables.count(table)) {
            continue;
        }
        std::uint64_t lostFromIntactPages = 0;
        for (const auto &[line, count] : required) {
            if (got[line] < count) {
                lostFromIntactPages += static_cast<std::uint64_t>(count - got[line]);
            }
        }
        EXPECT_LE(lostFromIntactPages, cutShort + run.rowsWithDamagedLongValues(table))
            << table << ": rows of intact pages are missing, e.g. "
            << firstDifference(required, got).substr(0, 200);
        for (const auto &[line, count] : truth) {
            missing += static_cast<std::size_t>(std::max(0, count - got[line]));
        }
    }
    return missing;
}

} // namespace robustness

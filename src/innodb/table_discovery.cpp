#include "innodb/table_discovery.h"

#include "innodb/page_layout.h"

#include <algorithm>
#include <vector>

namespace innodb {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        const auto lower
            = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

const strcIbDataScan *TableDiscovery::find(std::string_view name) const
{
    const auto found = std::find_if(tables.begin(), tables.end(),
        [&](const strcIbDataScan &table) { return equalsIgnoringCase(table.name, name); });
    return found == tables.end() ? nullptr : &*found;
}

TableDiscovery discoverTables(const Dictionary &dictionary, std::string_view database)
{
    TableDiscovery discovery;
    discovery.dictionaryTables = dictionary.tables;
    discovery.problems = dictionary.problems;
    const std::string prefix = std::string(database) + "/";
    for (const auto &table : dictionary.tables) {
        if (table.name.size() <= prefix.size()
            || !equalsIgnoringCase(std::string_view(table.name).substr(0, prefix.size()), prefix)) {
            continue;
        }
        const auto index = std::find_if(dictionary.indexes.begin(), dictionary.indexes.end(),
            [&](const DictionaryIndex &candidate) {
                return candidate.tableId == table.tableId && candidate.isClustered();
            });
        if (index == dictionary.indexes.end()) {
            discovery.problems.push_back(table.name + ": no clustered index in the dictionary");
            continue;
        }
        if (index->rootPage == kFilNull) {
            discovery.problems.push_back(table.name + ": clustered index has no root page");
            continue;
        }
        strcIbDataScan scan;
        scan.name = table.name;
        scan.tableId = table.tableId;
        scan.indexId = index->indexId;
        scan.rootPage = index->rootPage;
        scan.hasPrimaryKey = (index->type & 2) != 0;
        scan.columnCount = table.columnCount;
        scan.compact = table.compact;
        scan.space = table.space;
        discovery.tables.push_back(std::move(scan));
    }
    return discovery;
}

common::Result<TableDiscovery> discoverTables(PageSource &source, const ScanResult &scan,
    std::string_view database, const std::function<bool()> &stopRequested)
{
    auto dictionary = readDictionary(source, scan, stopRequested);
    if (!dictionary.ok()) {
        return dictionary.error();
    }
    return discoverTables(*dictionary, database);
}

common::Result<strcIbDataScan> discoverSingleTable(
    PageSource &source, std::string name, std::uint32_t rootPage)
{
    const std::string pageName = "page " + std::to_string(rootPage);
    std::vector<std::uint8_t> buffer(source.pageSize());
    if (const PageRead read = source.readPage(rootPage, buffer); !read) {
        return common::corruption(
            read.reason.empty() ? pageName + " cannot be read" : pageName + " is " + read.reason,
            name);
    }
    const ConstPage page(buffer);
    if (!isIndexPage(page) || pageNumberOf(page) != rootPage) {
        return common::corruption(pageName + " is not the clustered index root", name);
    }
    strcIbDataScan table;
    table.name = std::move(name);
    table.indexId = indexIdOf(page);
    table.rootPage = rootPage;
    // Without a dictionary the key kind is the .frm's to tell; assume the usual case.
    table.hasPrimaryKey = true;
    table.compact = isCompactPage(page);
    table.space = spaceIdOf(page);
    return table;
}

} // namespace innodb

// One leaf page (and, when the input is longer, the pages its tree and overflow chains reach)
// through the page check, the scanner's page test, the tree walk and the record decoder, with one
// of the table definitions most worth fuzzing: Zarafa's properties, lob and names, and sakila's.
//
// Input: byte 0 picks the table; the rest is page 0 (the root, often itself the only leaf), then
// pages 1, 2, ... Page numbers past the end wrap around onto the input's own pages.
#include "fuzz_pages.h"
#include "innodb/lob_decoder.h"
#include "innodb/page_check.h"
#include "innodb/page_scanner.h"
#include "innodb/record_decoder.h"
#include "innodb/table_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct Definitions
{
    std::vector<frm::FrmTableEntry> tables;
};

const Definitions &definitions()
{
    static const Definitions loaded = [] {
        Definitions result;
        const auto load
            = [&](const std::string &folder, const std::string &name, const std::string &database) {
                  auto table = frm::readTableDefinition(
                      folder + "/" + name + ".frm", name + ".frm", database + "/" + name);
                  // A definition that is not there (no shared fixtures on this machine) leaves
                  // its place to the next: the first byte then picks among fewer tables.
                  if (table) {
                      result.tables.push_back(std::move(*table));
                  }
              };
        // The order is the meaning of the first input byte; make_seeds.py uses the same list.
        for (const char *name : { "properties", "lob", "names", "hierarchy", "stores" }) {
            load(ZR_FUZZ_ZARAFA_FRM_DIR, name, "zarafa");
        }
        for (const char *name : { "actor", "film", "customer", "staff", "address" }) {
            load(ZR_FUZZ_SAKILA_DIR, name, "sakila");
        }
        if (result.tables.empty()) {
            std::abort(); // the fuzzer would be testing nothing
        }
        return result;
    }();
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    (void)definitions();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const auto &tables = definitions().tables;
    const frm::FrmTableEntry &table = tables[data[0] % tables.size()];
    fuzzing::InputPages pages(data + 1, size - 1, true);
    const innodb::ConstPage root = pages.page(0);

    (void)innodb::checkPage(root);
    innodb::ScanResult scan;
    for (std::uint32_t number = 0; number < pages.pageCount(); ++number) {
        innodb::strcUniqueIdPages entry;
        if (innodb::examinePage(pages.page(number), number, std::nullopt, entry)) {
            scan.addPage(entry.indexId, entry);
        }
    }

    innodb::LongValueStore store(64 * 1024); // small: long values take the spill path too
    innodb::DecodeOptions options;
    options.includeDeleted = (data[0] & 0x80) != 0;
    innodb::RecordDecoder decoder(table, pages, store, options);
    fuzzing::RenderingSink sink;
    if (!decoder.usable()) {
        return 0;
    }
    // The page alone, as the decoder sees a page the tree walk handed it.
    if (innodb::isLobTable(table.dictionaryName)) {
        (void)innodb::DecodeLobPage(decoder, root, 0, sink);
    } else {
        (void)innodb::DecodePageRecords(decoder, root, 0, sink);
    }
    // The whole read of a table rooted at page 0.
    innodb::strcIbDataScan entry;
    entry.name = table.dictionaryName;
    entry.indexId = innodb::indexIdOf(root);
    entry.rootPage = 0;
    entry.hasPrimaryKey = decoder.hasKey();
    (void)innodb::readTableRows(pages, scan, entry, decoder, sink);
    return 0;
}

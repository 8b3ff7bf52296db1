// ROW_FORMAT=COMPRESSED index pages (page0zip.cc), rebuilt as the uncompressed page they stand for.
//
// A compressed page of KEY_BLOCK_SIZE bytes holds, in order:
//   0-93     the FIL header and the index page header, as the uncompressed page has them
//   94-      a zlib stream: the index's field list (zip_record.h), then the records in heap
//            order: each one's null bitmap and lengths, then its data, without the 5-byte record
//            header and without the columns kept apart below; then the heap up to PAGE_HEAP_TOP
//   then     the modification log: records written since the page was last compressed, each
//            "heap number - 1" shifted left (bit 0 = cleared), one or two bytes, its header bytes
//            backwards and its data; a 0 byte ends it
//   ...end   growing down from the end: the dense page directory (2 bytes a record, the user
//            records in key order and then the free list; 0x4000 = owns a directory slot,
//            0x8000 = delete-marked), and above it the columns kept apart in heap order:
//            DB_TRX_ID and DB_ROLL_PTR (13 bytes a record) on clustered leaves, then the 20-byte
//            BLOB references of the records not on the free list, or the 4-byte child page
//            numbers of node pointers
// The infimum and supremum, the record headers, the next-record links and the sparse directory
// are not stored: they are rebuilt from the dense directory.
#pragma once

#include "innodb/page_source.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace innodb {

// A compressed B-tree page (ordinary or R-tree); every other page of a compressed space is
// stored as it is.
bool isCompressedIndexPage(std::span<const std::uint8_t> stored);

// What the rebuilding of one page found, for diagnosis and tests.
struct ZipPageStats
{
    std::size_t recordsInStream = 0; // records whose data the compressed stream held
    std::size_t logEntries = 0; // modification log entries applied
    std::size_t freeRecords = 0; // records on the free list (deleted and purged)
};

// Rebuilds the page whose compressed form is `stored` into `view` (the space's page size).
// Damaged, naming the first inconsistency, when the stream, the directory or the log do not
// give a page; the view is then not to be decoded.
PageRead decompressIndexPage(
    std::span<const std::uint8_t> stored, PageBuffer view, ZipPageStats *stats = nullptr);

} // namespace innodb

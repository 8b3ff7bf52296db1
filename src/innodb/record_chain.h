// The chain of user records on an index page, walked through each record's next-record field.
//
// The walk is bounded: an origin outside the record heap, one visited before, or more records
// than fit on a page ends it, and `complete` tells whether it reached the supremum. Damaged
// pages therefore give a short list, never a loop or a read outside the page.
#pragma once

#include "innodb/page_layout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace innodb {

// New-style record header, the 5 bytes below the origin (rem0rec.h, REC_NEW_*):
//   origin-5      info bits (high nibble: 0x20 deleted, 0x10 min-rec; MySQL 8 adds 0x80 for a
//                 record written after an instant ADD COLUMN and 0x40 for one carrying a row
//                 version) | records owned
//   origin-4..-3  heap number (13 high bits) | status (3 low bits: 0 ordinary, 1 node pointer,
//                 2 infimum, 3 supremum, 4 MariaDB instant metadata)
//   origin-2..-1  next record, relative to this origin, modulo 64 KiB
// Old-style record header, the 6 bytes below the origin (REC_OLD_*):
//   origin-6      info bits | records owned
//   origin-5..-4  heap number (13 high bits) | field count high bits
//   origin-4..-3  field count (bits 10-1) | one-byte end offsets (bit 0)
//   origin-2..-1  next record, absolute page offset
inline constexpr std::size_t kNewRecordHeaderSize = 5;
inline constexpr std::size_t kOldRecordHeaderSize = 6;
inline constexpr std::uint8_t kRecordInfoDeleted = 0x20;
inline constexpr std::uint8_t kRecordInfoMinRec = 0x10;
inline constexpr std::uint8_t kRecordInfoMySqlVersion = 0x40;
inline constexpr std::uint8_t kRecordInfoMySqlInstant = 0x80;
inline constexpr std::uint8_t kRecordStatusOrdinary = 0;
inline constexpr std::uint8_t kRecordStatusNodePointer = 1;
inline constexpr std::uint8_t kRecordStatusInstant = 4;

struct RecordChain
{
    std::vector<std::size_t> origins; // user records in key order, supremum excluded
    bool complete = false; // the walk ended at the supremum
};

// Where a page's record heap ends (PAGE_HEAP_TOP); a damaged heap top falls back to the
// directory start.
std::size_t recordHeapEnd(ConstPage page);

// Walks the user records of `page` (either record format) from the infimum.
RecordChain walkRecordChain(ConstPage page);

// Info bits of the record at `origin` (already bounded by the walk).
std::uint8_t recordInfoBits(ConstPage page, std::size_t origin, bool compact);
// New-style status bits; old-style records carry none (0).
std::uint8_t recordStatus(ConstPage page, std::size_t origin, bool compact);

} // namespace innodb

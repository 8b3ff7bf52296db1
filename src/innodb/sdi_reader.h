// The Serialized Dictionary Information of a MySQL 8 tablespace: the JSON texts of the table and
// tablespace definitions that a MySQL 8.0+ server keeps inside each .ibd, in place of .frm files.
//
//   auto records = innodb::readSdiRecords(file);
//   for (const innodb::SdiRecord &record : *records) {
//       if (record.type == innodb::kSdiTypeTable) { ... record.json ... }
//   }
//
// Page 0 names the root of a small B-tree of pages of type 17853 after its extent descriptors and
// the space for encryption data (fsp0fsp.h, fsp_header_get_sdi_offset). Its records are
// new-style records of a clustered index (fsp0sdi.h, btr0sdi): type (4), id (8), DB_TRX_ID (6),
// DB_ROLL_PTR (7), uncompressed length (4), compressed length (4), then the zlib stream, which a
// long definition keeps on SDI BLOB pages (type 18) in the classic BLOB chain.
#pragma once

#include "common/result.h"
#include "innodb/page_source.h"

#include <cstdint>
#include <string>
#include <vector>

namespace innodb {

inline constexpr std::uint16_t kFilPageTypeSdi = 17853; // 0x45BD, B-tree node of the SDI index
inline constexpr std::uint16_t kFilPageTypeSdiBlob = 18; // MySQL 8: an SDI value's overflow page
inline constexpr std::uint16_t kFilPageTypeSdiZBlob = 19; // the same in a compressed space

// SDI record types (the server's dd::enum_entity_type in dd/sdi_fwd.h).
inline constexpr std::uint32_t kSdiTypeTable = 1;
inline constexpr std::uint32_t kSdiTypeTablespace = 2;

struct SdiRecord
{
    std::uint32_t type = 0;
    std::uint64_t id = 0; // the dictionary object's id
    std::string json; // inflated, as the server serialised it
};

// Whether the space's page 0 names an SDI root: spaces written by MySQL 8.0+ (FSP flag bit 14).
bool hasSdi(PageSource &source);

// Every SDI record of the space, in key order. NotSupported when the space has no SDI (a file of
// MySQL 5.x or MariaDB), Corruption naming the page when a page of the SDI tree or a record
// cannot be read, a stream does not inflate, or its length is not the one recorded.
common::Result<std::vector<SdiRecord>> readSdiRecords(PageSource &source);

} // namespace innodb

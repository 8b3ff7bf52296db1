// What the salvage of a table's damaged pages gave, for the log, the summary and the JSON report.
#pragma once

#include "innodb/row_key_text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace job {

// The quarantine database and its dump: rows of damaged pages never mix with the rebuilt ones.
inline constexpr std::string_view kSalvagedDatabase = "zarafa_salvaged";
inline constexpr std::string_view kSalvagedDumpName = "zarafa-salvaged.sql";

struct SalvagedPage
{
    std::uint32_t page = 0;
    std::uint64_t rows = 0; // rows it gave, wherever they went
};

// A salvaged row whose values may be wrong, and why.
struct DoubtfulRow
{
    std::vector<innodb::KeyPart> key;
    std::uint32_t page = 0;
    std::string doubt;
};

struct SalvageOutcome
{
    std::uint64_t pagesWalked = 0;
    std::uint64_t rowsSalvaged = 0; // rows that proved themselves, doubtful ones included
    std::uint64_t rowsDoubtful = 0;
    std::uint64_t rowsQuarantined = 0; // landed in the quarantine database
    std::uint64_t rowsMerged = 0; // handed to the rebuilt table itself, on request
    std::uint64_t rowsRefused = 0; // the quarantine's server would not take them
    std::uint64_t rowsNotKept = 0; // the quarantine could not be made
    std::uint64_t rowsAlreadyRecovered = 0; // their key came from an intact page
    std::uint64_t recordsRejected = 0; // failed a check: not taken
    std::uint64_t rowsWithDamagedLongValues = 0;
    std::vector<SalvagedPage> pages;
    std::vector<DoubtfulRow> doubtful;
    std::string problem; // why the quarantine could not take the rows
};

} // namespace job

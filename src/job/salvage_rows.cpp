#include "job/salvage_rows.h"

namespace job {

namespace {

// The list names this many pages; the report names them all.
constexpr std::size_t kPagesNamed = 10;

} // namespace

std::string salvageSummary(const SalvageOutcome &salvage)
{
    std::string pages;
    for (std::size_t i = 0; i < salvage.pages.size() && i < kPagesNamed; ++i) {
        pages += (i == 0 ? "" : ", ") + std::to_string(salvage.pages[i].page);
    }
    if (salvage.pages.size() > kPagesNamed) {
        pages += ", ...";
    }
    std::string text = std::to_string(salvage.rowsSalvaged) + " rows salvaged from "
        + std::to_string(salvage.pages.size())
        + (salvage.pages.size() == 1 ? " damaged page (" : " damaged pages (") + pages
        + "): " + std::to_string(salvage.rowsQuarantined) + " in " + std::string(kSalvagedDatabase);
    if (salvage.rowsMerged > 0) {
        text += ", " + std::to_string(salvage.rowsMerged) + " merged into the rebuilt table";
    }
    if (salvage.rowsDoubtful > 0) {
        text += ", " + std::to_string(salvage.rowsDoubtful) + " of them in doubt";
    }
    if (salvage.rowsRefused > 0) {
        text += ", " + std::to_string(salvage.rowsRefused) + " refused by the server";
    }
    if (salvage.rowsNotKept > 0) {
        text += ", " + std::to_string(salvage.rowsNotKept) + " not kept";
    }
    return text;
}

SalvageRouter::SalvageRouter(const frm::FrmTableEntry &table, Quarantine &quarantine,
    TableWriter *merge, SalvageOutcome &outcome)
    : m_table(table)
    , m_quarantine(quarantine)
    , m_merge(merge)
    , m_outcome(outcome)
{
}

void SalvageRouter::salvagedRow(const innodb::DecodedRow &row, const std::string &doubt)
{
    if (m_outcome.pages.empty() || m_outcome.pages.back().page != row.pageNumber) {
        m_outcome.pages.push_back({ row.pageNumber, 0 });
    }
    ++m_outcome.pages.back().rows;
    if (!doubt.empty()) {
        m_outcome.doubtful.push_back({ innodb::keyParts(row), row.pageNumber, doubt });
    } else if (m_merge) {
        // Its key is in no intact page (the salvage made sure), and nothing speaks against it.
        m_merge->acceptRow(row);
        ++m_outcome.rowsMerged;
        return;
    }
    TableWriter *writer = m_quarantine.writerFor(m_table, m_outcome.problem);
    if (!writer) {
        ++m_outcome.rowsNotKept;
        return;
    }
    m_opened = true;
    writer->acceptRow(row);
}

void SalvageRouter::finish(const innodb::SalvageCounts &counts)
{
    m_outcome.pagesWalked = counts.pages;
    m_outcome.rowsSalvaged = counts.rowsSalvaged;
    m_outcome.rowsDoubtful = counts.rowsDoubtful;
    m_outcome.rowsAlreadyRecovered = counts.rowsAlreadyRecovered;
    m_outcome.recordsRejected = counts.recordsRejected;
    m_outcome.rowsWithDamagedLongValues = counts.rowsWithDamagedLongValues;
    if (m_opened) {
        m_quarantine.endTable(m_table, m_outcome);
    }
}

} // namespace job

#include "innodb/salvage_pass.h"

namespace innodb {

void SalvagePass::Noting::acceptRow(const DecodedRow &row)
{
    if (m_noting) {
        m_pass.m_keys.insert(row.key);
    }
    m_next->acceptRow(row);
}

void SalvagePass::Noting::rowLeftOut(const DecodedRow &row)
{
    // Its row is named as lost with its key already; a salvaged copy would be no better.
    if (m_noting) {
        m_pass.m_keys.insert(row.key);
    }
    m_next->rowLeftOut(row);
}

// Between the page salvage and the caller's sink: one row per key, never one an intact page had.
class SalvagePass::Filter : public SalvageSink
{
public:
    Filter(SalvagePass &pass, bool orphan, SalvageCounts &counts)
        : m_pass(pass)
        , m_orphan(orphan)
        , m_counts(counts)
    {
    }
    void salvagedRow(const DecodedRow &row, const std::string &doubt) override
    {
        if ((m_orphan && !m_pass.m_pages.acceptsOrphanKey(row.key))
            || !m_pass.m_keys.insert(row.key).second) {
            ++m_counts.rowsAlreadyRecovered;
            return;
        }
        ++m_counts.rowsSalvaged;
        m_counts.rowsDoubtful += doubt.empty() ? 0U : 1U;
        m_pass.m_sink.salvagedRow(row, doubt);
    }

private:
    SalvagePass &m_pass;
    bool m_orphan;
    SalvageCounts &m_counts;
};

SalvagePass::SalvagePass(RecordDecoder &decoder, const TablePages &pages, SalvageSink &sink)
    : m_decoder(decoder)
    , m_pages(pages)
    , m_sink(sink)
{
}

RowSink &SalvagePass::through(RowSink &next, const TablePage &page, bool orphan)
{
    // Tree pages under a parent's bounds hold keys no other tree page holds; a lone root leaf
    // has no other page to meet.
    const bool unbounded = page.unbounded() && m_pages.treePages.size() > 1;
    m_noting.aim(next, orphan || unbounded);
    return m_noting;
}

SalvageCounts SalvagePass::run(PageSource &file, const std::function<bool()> &stopping)
{
    SalvageCounts total;
    std::vector<std::uint8_t> buffer(file.pageSize());
    for (const Kept &kept : m_kept) {
        if (stopping && stopping()) {
            break;
        }
        if (!file.readPage(kept.page.pageNumber, buffer)) {
            continue;
        }
        SalvageCounts counts;
        Filter filter(*this, kept.orphan, counts);
        const SalvageCounts walked = m_decoder.salvagePage(
            ConstPage(buffer), kept.page.pageNumber, m_pages.boundsOf(kept.page), filter);
        // The page's own figures, with what the filter let through in place of its row counts.
        SalvageCounts page = walked;
        page.rowsSalvaged = counts.rowsSalvaged;
        page.rowsDoubtful = counts.rowsDoubtful;
        page.rowsAlreadyRecovered = counts.rowsAlreadyRecovered;
        total += page;
    }
    return total;
}

} // namespace innodb

// The salvage of one table's damaged leaf pages, after its intact pages were read.
//
// A salvaged row must not stand in for a row an intact page gave: the same key can be on a
// failed page and elsewhere only where the tree is damaged (an orphan page's stale copy) or where
// no parent bounds a page. So the keys of rows from orphan pages and from unbounded tree pages are
// noted while the intact pages are read, and the salvage takes a key only when none of them, nor
// an earlier salvaged row, had it; an orphan's row also only when its key is in a damaged range.
#pragma once

#include "innodb/index_tree.h"
#include "innodb/page_salvage.h"
#include "innodb/page_source.h"
#include "innodb/record_decoder.h"
#include "innodb/row_sink.h"

#include <functional>
#include <set>
#include <vector>

namespace innodb {

class SalvagePass
{
public:
    SalvagePass(RecordDecoder &decoder, const TablePages &pages, SalvageSink &sink);

    // The sink the rows of an intact `page` go through before `next`: it notes their keys
    // where they could meet a salvaged row's.
    RowSink &through(RowSink &next, const TablePage &page, bool orphan);
    // A page that failed its checks, for run().
    void keep(const TablePage &page, bool orphan) { m_kept.push_back({ page, orphan }); }
    bool anyKept() const { return !m_kept.empty(); }

    // Salvages the kept pages in the order they were kept; stops early when `stopping` says so.
    SalvageCounts run(PageSource &file, const std::function<bool()> &stopping);

private:
    struct Less
    {
        bool operator()(const KeyBytes &a, const KeyBytes &b) const
        {
            return compareKeys(a, b) < 0;
        }
    };
    class Noting : public RowSink
    {
    public:
        explicit Noting(SalvagePass &pass)
            : m_pass(pass)
        {
        }
        void aim(RowSink &next, bool noting)
        {
            m_next = &next;
            m_noting = noting;
        }
        void acceptRow(const DecodedRow &row) override;
        void rowLeftOut(const DecodedRow &row) override;

    private:
        SalvagePass &m_pass;
        RowSink *m_next = nullptr;
        bool m_noting = false;
    };
    class Filter;
    struct Kept
    {
        TablePage page;
        bool orphan = false;
    };

    RecordDecoder &m_decoder;
    const TablePages &m_pages;
    SalvageSink &m_sink;
    Noting m_noting { *this };
    std::set<KeyBytes, Less> m_keys; // keys a salvaged row must not repeat
    std::vector<Kept> m_kept;
};

} // namespace innodb

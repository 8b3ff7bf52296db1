// Where the rows salvaged from a table's damaged pages land: a quarantine of their own by
// default, the rebuilt table itself for the sound ones when the user asks to merge them. Either
// way the decoders only hand rows on; this is the job's decision.
#pragma once

#include "innodb/page_salvage.h"
#include "job/salvage_outcome.h"
#include "job/table_data_pass.h"

namespace job {

// The home of salvaged rows, one table after the other.
class Quarantine
{
public:
    virtual ~Quarantine() = default;
    // The writer for salvaged rows of `table`, its table made on first use; null when the
    // quarantine cannot take rows (then `problem` says why).
    virtual TableWriter *writerFor(const frm::FrmTableEntry &table, std::string &problem) = 0;
    // After the table's last salvaged row: what landed, into `outcome`.
    virtual void endTable(const frm::FrmTableEntry &table, SalvageOutcome &outcome) = 0;
};

// "12 rows salvaged from 2 damaged pages (812, 913): 12 in zarafa_salvaged, 1 of them in doubt"
std::string salvageSummary(const SalvageOutcome &salvage);

class SalvageRouter : public innodb::SalvageSink
{
public:
    // `merge`, when given, takes the rows that passed without a doubt (the table's own writer);
    // doubtful rows always go to the quarantine.
    SalvageRouter(const frm::FrmTableEntry &table, Quarantine &quarantine, TableWriter *merge,
        SalvageOutcome &outcome);

    void salvagedRow(const innodb::DecodedRow &row, const std::string &doubt) override;
    // The table's salvage is over: its counts, and the quarantine's table closed.
    void finish(const innodb::SalvageCounts &counts);

private:
    const frm::FrmTableEntry &m_table;
    Quarantine &m_quarantine;
    TableWriter *m_merge;
    SalvageOutcome &m_outcome;
    bool m_opened = false;
};

} // namespace job

// ProgressMeter: one repair's progress as a fraction of its known work. Each stage of the run
// has a share of the whole, fixed by what it costs on a typical folder; within a stage the work
// done of the work known (pages scanned, pages of rows read, tables switched) moves the bar. The
// fraction never goes down, and the host hears of it only when it changed enough to be seen.
#pragma once

#include "job/repair_host.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace job {

enum class Stage {
    Preparation, // server stopped, files moved aside, server started, login, database created
    Definitions, // table definitions read, tables created
    Scan, // tablespaces scanned
    Data, // rows read and inserted, tables switched to InnoDB
    Finishing, // dump closed, files moved, the server's own files back
};

class ProgressMeter
{
public:
    explicit ProgressMeter(RepairHost &host)
        : m_host(host)
    {
    }

    // A new run: the display starts from nothing.
    void restart();
    // `done` of `total` units of `stage` are done (the stage is entered when it was not).
    void step(Stage stage, std::uint64_t done, std::uint64_t total, std::string_view unit);
    // The same where the share of the stage done (`within`, 0..1) is not done / total: the
    // counts shown are pages, the work also holds each table's switch to InnoDB.
    void step(
        Stage stage, double within, std::uint64_t done, std::uint64_t total, std::string_view unit);
    // The stage is entered with nothing of it done.
    void enter(Stage stage) { step(stage, 0, 0, {}); }
    // What is being done, for a step that takes long and has no count (a server starting).
    void activity(std::string text);
    // The whole run is done.
    void complete();

    double fraction() const { return m_fraction; }

private:
    void report(bool force);

    RepairHost &m_host;
    double m_fraction = 0;
    double m_reported = -1;
    bool m_newRun = true;
    bool m_countsMoved = false; // the counts changed since the last report
    Progress m_last;
    std::chrono::steady_clock::time_point m_reportedAt {};
};

} // namespace job

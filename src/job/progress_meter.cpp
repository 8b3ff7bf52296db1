#include "job/progress_meter.h"

#include <algorithm>

namespace job {

namespace {

// Where each stage starts, as a share of a whole run, from the time each took on the generated
// folders: the server's start and the rows' insertion and switch dominate.
constexpr double kStageStart[] = { 0.0, 0.06, 0.08, 0.20, 0.95 };
constexpr double kStageEnd[] = { 0.06, 0.08, 0.20, 0.95, 1.0 };

// Reports closer together than this are not seen, only paid for (a window redraw each).
constexpr auto kReportInterval = std::chrono::milliseconds(100);
constexpr double kVisibleChange = 0.001;

} // namespace

void ProgressMeter::restart()
{
    m_fraction = 0;
    m_reported = -1;
    m_newRun = true;
    m_last = {};
    report(true);
}

void ProgressMeter::step(
    Stage stage, std::uint64_t done, std::uint64_t total, std::string_view unit)
{
    const double within = total == 0
        ? 0.0
        : static_cast<double>(std::min(done, total)) / static_cast<double>(total);
    step(stage, within, done, total, unit);
}

void ProgressMeter::step(
    Stage stage, double within, std::uint64_t done, std::uint64_t total, std::string_view unit)
{
    const auto index = static_cast<std::size_t>(stage);
    within = std::clamp(within, 0.0, 1.0);
    const double at = kStageStart[index] + (kStageEnd[index] - kStageStart[index]) * within;
    m_fraction = std::max(m_fraction, at);
    const bool newCounts = m_last.unit != unit || m_last.total != total;
    m_countsMoved = m_countsMoved || m_last.done != done;
    m_last.done = done;
    m_last.total = total;
    m_last.unit = std::string(unit);
    m_last.activity.clear();
    report(newCounts);
}

void ProgressMeter::activity(std::string text)
{
    m_last.activity = std::move(text);
    m_last.done = 0;
    m_last.total = 0;
    m_last.unit.clear();
    report(true);
    m_last.activity.clear();
}

void ProgressMeter::complete()
{
    m_fraction = 1.0;
    m_last = {};
    report(true);
}

void ProgressMeter::report(bool force)
{
    const auto now = std::chrono::steady_clock::now();
    const bool moved = m_fraction - m_reported >= kVisibleChange || m_countsMoved;
    if (!force && !(moved && now - m_reportedAt >= kReportInterval)) {
        return;
    }
    m_countsMoved = false;
    Progress progress = m_last;
    progress.fraction = m_fraction;
    progress.newRun = m_newRun;
    m_newRun = false;
    m_reported = m_fraction;
    m_reportedAt = now;
    m_host.progress(progress);
}

} // namespace job

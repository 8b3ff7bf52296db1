#include "log/log_report.h"

namespace logreport {

// Placeholder bodies so that the passes can report before the log lines are built.
LogReport::LogReport() = default;
void LogReport::setProgramStartTime(std::string) {}
void LogReport::setTablespaceSize(std::uint64_t) {}
std::uint64_t LogReport::tablespaceSize() const { return 0; }
void LogReport::setTableCount(std::uint64_t) {}
void LogReport::reportTableToList(std::string_view, std::size_t) {}
void LogReport::reportTableToLog(std::string_view, std::size_t) {}
void LogReport::showQueuedLines(int &, std::size_t, Pass, std::string_view, const ListRowSink &) {}
void LogReport::finish(int &, const ListRowSink &) {}
void LogReport::empty() {}
std::vector<std::string> LogReport::reportRows() const { return {}; }
bool LogReport::cleared() const { return false; }
bool LogReport::saved() const { return false; }
void LogReport::clear() {}
void LogReport::markSaved() {}
std::string LogReport::sizeLine(std::uint64_t) { return {}; }
std::string LogReport::startedLine(std::string_view, int) { return {}; }
std::string LogReport::ctimeNow() { return {}; }
LogHeader LogReport::makeEntry(std::string_view, std::size_t) { return {}; }
std::string saveLogFile(const std::string &, const std::vector<std::string> &) { return {}; }

} // namespace logreport

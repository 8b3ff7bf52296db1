#include "job/result_delivery.h"

#include "job/result_folder.h"

#include <ctime>
#include <fstream>

namespace fs = std::filesystem;

namespace job {

namespace {

void say(RepairJob &job, const std::string &text)
{
    job.addListRow(job.nextListRow++, text);
}

std::string utcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

} // namespace

bool prepareResultFolder(RepairJob &job, const fs::path &outputFolder)
{
    auto folder = createRunFolder(
        outputFolder.empty() ? defaultOutputFolder() : outputFolder, std::time(nullptr));
    if (!folder.ok()) {
        job.folderProblem = folder.error().describe();
        return false;
    }
    job.resultFolder = folder->string();
    return true;
}

std::unique_ptr<DumpWriter> openDump(
    RepairJob &job, std::string_view fileName, std::string_view database)
{
    if (job.resultFolder.empty()) {
        return nullptr;
    }
    const std::string source
        = job.databaseFolder.empty() ? job.flags.databaseFolder() : job.databaseFolder;
    auto dump = DumpWriter::create(
        fs::path(job.resultFolder) / fileName, DumpDescription { std::string(database), source, utcNow() });
    if (!dump.ok()) {
        const std::string problem = "No portable dump: " + dump.error().describe();
        say(job, problem);
        job.lose(problem);
        return nullptr;
    }
    return std::move(dump).value();
}

void finishDump(RepairJob &job, DumpWriter &dump) { finishDump(job, dump, job.dumpPath); }

void finishDump(RepairJob &job, DumpWriter &dump, std::string &keptPath)
{
    const common::Status finished = dump.finish();
    if (finished.ok()) {
        keptPath = dump.path().string();
        return;
    }
    // Half a dump would load as if it were the whole database; it goes, and the run says so.
    std::error_code error;
    fs::remove(dump.path(), error);
    const std::string problem = "The portable dump could not be written, and what was written "
                                "of it was removed: "
        + finished.error().describe();
    say(job, problem);
    job.lose(problem);
}

void deliverRecoveredFolder(RepairJob &job, const fs::path &madeInDataFolder)
{
    fs::path recovered = madeInDataFolder;
    if (!job.resultFolder.empty()) {
        const fs::path target = fs::path(job.resultFolder) / kRecoveredName;
        if (const common::Status moved = moveTree(madeInDataFolder, target); moved.ok()) {
            recovered = target;
        } else {
            const std::string problem = "The Recovered Folder could not be moved to "
                + target.string() + ": " + moved.error().describe() + "; it stays in "
                + madeInDataFolder.string();
            say(job, problem);
            job.lose(problem);
        }
    }
    job.recoveredFolder = recovered.string();
    if (const common::Status written = writeRecoveredReadme(recovered, serverVersionText());
        !written.ok()) {
        say(job, "No README in the Recovered Folder: " + written.error().describe());
    }
}

void saveBesideResult(RunReport &report, const logreport::LogReport &log)
{
    if (report.resultPath.empty()) {
        return;
    }
    const fs::path folder = report.resultPath;
    report.logPath = logreport::saveLogFile((folder / kLogName).string(), log.reportRows());
    const fs::path path = folder / kReportName;
    report.reportPath = path.string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << reportJson(report);
    out.close();
    if (!out) {
        std::error_code error;
        fs::remove(path, error);
        report.reportPath.clear();
    }
}

} // namespace job

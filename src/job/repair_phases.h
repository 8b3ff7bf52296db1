// RepairPhases: the phases of a repair that other subsystems own, as the job calls them.
#pragma once

#include "common/result.h"
#include "job/repair_job.h"

#include <optional>

namespace job {

// The job runs these in the order of a repair; the rebuild wires in the real ones, tests plug in
// scripted fakes. Each runs on the worker thread and tests job.stopping() in its own loops.
class RepairPhases
{
public:
    virtual ~RepairPhases() = default;

    // Whether the listed folder's tablespaces can be read at all, before the server is touched;
    // false, with job.folderProblem set, ends the job with "File can't be opened." and the
    // reason. Phases that read no files (tests) have nothing to check.
    virtual bool checkTablespaces(RepairJob &job)
    {
        (void)job;
        return true;
    }
    // Takes the server for this run alone (held in job.workshopLock until the job is reset);
    // false, with the reason recorded by job.fail(), when another run holds it.
    virtual bool lockWorkshop(RepairJob &job)
    {
        (void)job;
        return true;
    }
    // Whether the disks where the rebuild writes have room for it, before the server is
    // touched; false, with the reason recorded by job.fail(), ends the job as failed.
    virtual bool checkFreeSpace(RepairJob &job)
    {
        (void)job;
        return true;
    }
    // Stops the server and moves its own InnoDB files aside; false to be retried.
    virtual bool stopServiceAndBackUp(RepairJob &job) = 0;
    virtual bool startMySqlService(RepairJob &job) = 0;
    // The login the server takes without anyone typing one (the workshop's own root through its
    // private socket): the job then shows no login dialog. Nothing for a server whose login
    // only its administrator knows.
    virtual std::optional<LoginValues> ownLogin() const { return std::nullopt; }
    // Opens the connection with job.login; an Error carries the driver's description.
    virtual common::Status openConnection(RepairJob &job) = 0;
    virtual bool createZarafaDatabase(RepairJob &job) = 0;
    // Reads every table definition and creates its table; clears scanSucceeded on a file of the
    // wrong version or engine (after showing 107 or 114).
    virtual void definitionPass(RepairJob &job) = 0;
    // Dictionary, page scan, data pass and the finishing step.
    virtual void saveDatabase(RepairJob &job) = 0;
    // Moves the rebuilt files to the Recovered Folder and puts the server's own files back.
    virtual void finishRebuild(RepairJob &job) = 0;
    // The job ended before its save phase after the server's files were moved aside: put them
    // back and start the server again, so that a failed login never leaves the server gutted.
    virtual void restoreServer(RepairJob &job) = 0;
};

} // namespace job

// ScriptedPhases: stands in for the MySQL and decoding phases, recording the order of calls.
#pragma once

#include "job/repair_phases.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

class ScriptedPhases : public job::RepairPhases
{
public:
    int backupFailures = 0;     // stopServiceAndBackUp fails this many times first
    int startFailures = 0;      // startMySqlService likewise
    std::string password = "secret"; // openConnection accepts only this password
    bool createSucceeds = true;
    std::function<void(job::RepairJob &)> duringDefinitionPass;
    std::function<void(job::RepairJob &)> duringSave;

    bool stopServiceAndBackUp(job::RepairJob &job) override
    {
        call("backup");
        if (backupFailures > 0) {
            --backupFailures;
            return false;
        }
        job.backupDone = true;
        return true;
    }
    bool startMySqlService(job::RepairJob &) override
    {
        call("start");
        if (startFailures > 0) {
            --startFailures;
            return false;
        }
        return true;
    }
    common::Status openConnection(job::RepairJob &job) override
    {
        call("connect:" + job.login.password);
        if (job.login.password != password) {
            return common::Error { common::ErrorKind::Database, "access denied", {} };
        }
        return common::okStatus();
    }
    bool createZarafaDatabase(job::RepairJob &) override
    {
        call("create");
        return createSucceeds;
    }
    void definitionPass(job::RepairJob &job) override
    {
        call("definitions");
        if (duringDefinitionPass) {
            duringDefinitionPass(job);
        }
    }
    void saveDatabase(job::RepairJob &job) override
    {
        call("save");
        if (duringSave) {
            duringSave(job);
        }
        finishRebuild(job);
        job.rebuildFinished = true;
    }
    void finishRebuild(job::RepairJob &job) override
    {
        call("finish");
        job.flags.stopRequested = 0; // as the real finishing step does
        job.flags.setRepairedPath("/recovered");
    }
    void restoreServer(job::RepairJob &) override { call("restore"); }

    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    void call(std::string name)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(name));
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

} // namespace testing_support

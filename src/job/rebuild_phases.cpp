#include "job/rebuild_phases.h"

namespace job {

namespace {

// Stands in while the MySQL side of the rebuild is not part of this build: every step that
// would touch a server reports that it cannot, so the job ends with its failure message and
// nothing is moved.
class UnavailablePhases : public RepairPhases
{
public:
    bool stopServiceAndBackUp(RepairJob &) override { return true; }
    bool startMySqlService(RepairJob &) override { return true; }
    common::Status openConnection(RepairJob &) override
    {
        return common::Error { common::ErrorKind::NotSupported,
                               "this build cannot rebuild into a server yet", {} };
    }
    bool createZarafaDatabase(RepairJob &) override { return false; }
    void definitionPass(RepairJob &) override {}
    void saveDatabase(RepairJob &) override {}
    void finishRebuild(RepairJob &) override {}
    void restoreServer(RepairJob &) override {}
};

} // namespace

std::unique_ptr<RepairPhases> createRebuildPhases(const RebuildSettings &)
{
    return std::make_unique<UnavailablePhases>();
}

} // namespace job

#include "mysql/systemd_service.h"

#include "common/strings.h"
#include "mysql/child_process.h"
#include "mysql/data_folder_lock.h"

#include <filesystem>

namespace mysql {

SystemdService::SystemdService(std::string serviceName, std::string dataFolder)
    : m_serviceName(std::move(serviceName))
    , m_dataFolder(std::move(dataFolder))
{
}

std::string SystemdService::findMySqlLocation() const
{
    if (!findProgram({ "systemctl" }) || !findProgram({ "mariadbd", "mysqld" })
        || m_dataFolder.empty()) {
        return std::string(common::text(common::str::kMySqlNotInstalled));
    }
    return std::filesystem::path(m_dataFolder).parent_path().string() + "/";
}

bool SystemdService::isActive() const
{
    const auto systemctl = findProgram({ "systemctl" });
    return systemctl && runProgram({ *systemctl, "is-active", "--quiet", m_serviceName }, {}) == 0;
}

bool SystemdService::stopMySqlService()
{
    m_problem.clear();
    const auto systemctl = findProgram({ "systemctl" });
    if (!systemctl) {
        m_problem = "systemctl was not found";
        return false;
    }
    runProgram({ *systemctl, "stop", m_serviceName }, {});
    if (isActive()) {
        m_problem = "systemctl stop " + m_serviceName + " left it running";
        return false;
    }
    // The unit may be inactive while a server it did not start, or one still ending, has the
    // files open: the moves wait for the folder itself to be free.
    if (const pid_t holder = innodbLockHolder(m_dataFolder); holder != 0) {
        m_problem = "a process (" + (holder > 0 ? "pid " + std::to_string(holder) : "not visible here")
            + ") still holds InnoDB's lock on " + m_dataFolder + " after systemctl stop "
            + m_serviceName;
        return false;
    }
    return true;
}

bool SystemdService::startMySqlService()
{
    m_problem.clear();
    const auto systemctl = findProgram({ "systemctl" });
    if (!systemctl) {
        m_problem = "systemctl was not found";
        return false;
    }
    runProgram({ *systemctl, "start", m_serviceName }, {});
    if (!isActive()) {
        m_problem = "systemctl start " + m_serviceName + " did not make it active";
        return false;
    }
    return true;
}

} // namespace mysql

// SystemdService: a real MySQL or MariaDB service controlled with systemctl, chosen only on
// explicit request (--server-service or the ServerService setting).
#pragma once

#include "mysql/server_control.h"

#include <string>

namespace mysql {

class SystemdService : public ServerControl
{
public:
    // `dataFolder` is the server's data folder as configured for that service.
    SystemdService(std::string serviceName, std::string dataFolder);

    std::string findMySqlLocation() const override;
    std::string dataFolder() const override { return m_dataFolder; }
    bool stopMySqlService() override;
    bool startMySqlService() override;

private:
    bool isActive() const;

    std::string m_serviceName;
    std::string m_dataFolder;
};

} // namespace mysql

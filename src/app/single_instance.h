// SingleInstance: the lock that keeps a second copy of the program from opening a window.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace app {

// The lock is named after "Corvane Lumaris Zarafa Recovery 1.0" and lives in the temporary folder.
QString singleInstanceLockPath();

class SingleInstance
{
public:
    SingleInstance();
    // False when another copy of the program holds the lock.
    bool acquired() const { return m_acquired; }

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_acquired = false;
};

} // namespace app

#include "app/single_instance.h"

#include <QDir>

namespace app {

QString singleInstanceLockPath()
{
    return QDir::temp().filePath(QStringLiteral("Corvane Lumaris Zarafa Recovery 1.0.lock"));
}

SingleInstance::SingleInstance()
    : m_lock(std::make_unique<QLockFile>(singleInstanceLockPath()))
{
    // A lock left by a copy that crashed names a process that no longer runs; QLockFile takes
    // such a lock over, so a crash never locks the user out.
    m_acquired = m_lock->tryLock(0);
}

} // namespace app

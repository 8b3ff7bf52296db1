#include "app/app_settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace app {

namespace {

QString readValue(const QString &key)
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    return settings.value(key).toString();
}

} // namespace

QString settingsFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/zarafa-repair/settings.ini");
}

QString helpFolderSetting() { return readValue(QStringLiteral("Path")); }

QString downloadLinkSetting() { return readValue(QStringLiteral("SupSec")); }

} // namespace app

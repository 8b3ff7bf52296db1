#include "app/app_settings.h"

#include "common/settings.h"

namespace app {

namespace {

QString readValue(const char *key)
{
    const auto settings = common::Settings::load(settingsFilePath().toStdString());
    return QString::fromStdString(settings.value(key).value_or(std::string()));
}

} // namespace

QString settingsFilePath()
{
    return QString::fromStdString(common::Settings::defaultPath().string());
}

QString helpFolderSetting() { return readValue("Path"); }

QString downloadLinkSetting() { return readValue("SupSec"); }

} // namespace app

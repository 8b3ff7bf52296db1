// AppSettings: the program's own settings, read from the same INI file as the rest of the tool.
#pragma once

#include <QString>

namespace app {

// $XDG_CONFIG_HOME/zarafa-repair/settings.ini (~/.config when the variable is unset).
QString settingsFilePath();
// `Path`: the folder that holds the help page; empty when unset.
QString helpFolderSetting();
// `SupSec`: the address the "Download MySQL" link opens; empty when unset.
QString downloadLinkSetting();

} // namespace app

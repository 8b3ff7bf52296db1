// UpdateSettings: the settings values the online update reads, and the addresses built from them.
#pragma once

#include "update/download_signature.h"

#include <QString>
#include <QUrl>

namespace update {

struct UpdateSettings
{
    QString exeName; // `ExeName`: names the update package on the server and the local file
    QString version; // `Version`: the installed version, "1.0.0.1"
    QString upgradePage; // `update`: the page the "Visit upgrade page" link opens
    QString serverAddress; // `UpdateServer`: base address of the server's upgrade folder
    // Where the private download folder is made; empty for the system's temporary folder.
    QString downloadParent;
    // `AllowPlainHttp`: "true" lets the update talk plain http:// (a test server on loopback);
    // otherwise only https:// addresses are used.
    bool allowPlainHttp = false;
    // The key a download's signature must verify against. Never read from the settings file:
    // whoever could write that file could otherwise sign their own program.
    std::optional<PublicKey> publicKey = releaseKey();

    // "$XDG_CONFIG_HOME/zarafa-repair/settings.ini" (or ~/.config when the variable is unset).
    static QString defaultPath();
    // Missing file or keys give empty values; the check then says what is missing.
    static UpdateSettings load(const QString &path);

    // The package name is used as a file name: it must be one plain name, no folder parts.
    bool exeNameUsable() const;
    // <server>/<ExeName>/<ExeName>.txt and <server>/<ExeName>/<ExeName>; invalid when the server
    // address is not an http(s) address or the package name is unusable.
    QUrl versionFileUrl() const;
    QUrl programFileUrl() const;
    // <program file address>.sig: the detached signature of the program file.
    QUrl signatureFileUrl() const;
    // True when `url` is plain http:// and the settings do not allow that.
    bool plainHttpRefused(const QUrl &url) const;
};

} // namespace update

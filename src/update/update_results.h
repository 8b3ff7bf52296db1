// The result codes of the version check and of the download, as the wizard pages act on them.
#pragma once

namespace update {

// CheckForUpdate.
enum class CheckResult : int {
    NotUnderstood = 0, // the version file is not a version text, or longer than it may be
    NewerVersion = 1, // a newer version with the same first number
    NewMajorRelease = 2, // a newer first number: a paid upgrade
    NewerWithSecondLine = 3, // line 1 offers a newer version and the file has a second line
    NoConnection = 4, // the server cannot be reached
    VersionFileNotOpened = 5, // the server answered, but not with the version file
    PlainHttpRefused = 6, // the server's address is plain http://, which the settings do not allow
    NoInstalledVersion = 8, // the settings do not say which version is installed
    UpToDate = 9, // the server's version is the same or older
};

// DownloadUpdate.
enum class DownloadResult : int {
    Done = 0, // also a cancelled transfer: it ends quietly, with nothing to start
    NoConnection = 4, // the server cannot be reached
    RequestFailed = 5, // the server answered, but not with the program file
    TransferFailed = 7, // the transfer broke off, or the file could not be written
    // The file cannot be trusted (plain http, no or a different SHA-256, no or a bad signature):
    // it is removed and refusalReason() says why.
    Refused = 8,
};

} // namespace update

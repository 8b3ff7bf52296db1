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
    NoInstalledVersion = 8, // the settings do not say which version is installed
    UpToDate = 9, // the server's version is the same or older
};

// DownloadUpdate.
enum class DownloadResult : int {
    Done = 0, // also a cancelled transfer: it ends quietly, with nothing to start
    NoConnection = 4, // the server cannot be reached
    RequestFailed = 5, // the server answered, but not with the program file
    TransferFailed = 7, // the transfer broke off, or the file could not be written
};

} // namespace update

// The texts this program shows to the user, addressed by their resource numbers.
#pragma once

#include <string>
#include <string_view>

namespace common {

// The text of string resource `id`, or an empty view for a number that has no text.
std::string_view text(int id);

// Resource numbers that code refers to by meaning rather than by number.
namespace str {
inline constexpr int kAboutMenu = 101;
inline constexpr int kAbout = 102;
inline constexpr int kMinimize = 103;
inline constexpr int kClose = 106;
inline constexpr int kWrongVersion = 107;
inline constexpr int kRunProcessQuestion = 108;
inline constexpr int kStoppedByUser = 109;
inline constexpr int kStoppedFailure = 110;
inline constexpr int kFileCantBeOpened = 111;
inline constexpr int kInvalidLogin = 112;
inline constexpr int kEngineNotSupported = 114;
inline constexpr int kSelectFolder = 115;
inline constexpr int kExitQuestion = 117;
inline constexpr int kNoConnection = 119;
inline constexpr int kLatestUpdatesCancel = 120;
inline constexpr int kLatestUpdates = 121;
inline constexpr int kNewUpdate = 122;
inline constexpr int kSearchingUpdates = 123;
inline constexpr int kAbortQuestion = 124;
inline constexpr int kUpdated = 125;
inline constexpr int kGettingSession = 126;
inline constexpr int kDownloading = 127;
inline constexpr int kDownloadCompleted = 128;
inline constexpr int kTotalRecords = 129;
inline constexpr int kFileSize = 131;
inline constexpr int kFileSelected = 132;
inline constexpr int kLogFileFilter = 134;
inline constexpr int kMegabytes = 136;
inline constexpr int kKilobytes = 137;
inline constexpr int kGigabytes = 138;
inline constexpr int kRecoveryFinished = 139;
inline constexpr int kDescription = 140;
inline constexpr int kHelp = 142;
inline constexpr int kUpdate = 143;
inline constexpr int kViewLogs = 146;
inline constexpr int kMySqlNotInstalledMessage = 148;
inline constexpr int kMySqlNotInstalled = 149;
inline constexpr int kMySql50Key = 150;
inline constexpr int kMySql60Key = 151;
inline constexpr int kStopQuestion = 152;
inline constexpr int kLoadingData = 153;
inline constexpr int kConnecting = 154;
inline constexpr int kGettingInformation = 155;
inline constexpr int kManagingData = 156;
inline constexpr int kInsertingData = 157;
inline constexpr int kLogSaved = 158;
inline constexpr int kClosingConnection = 159;
inline constexpr int kSelectedDatabase = 171;
inline constexpr int kRecoveryStarted = 174;
// Texts the repair adds to tell the user about rows lost or left out.
inline constexpr int kRowsRefused = 201;
inline constexpr int kDeleteMarkedSkipped = 202;
inline constexpr int kDefinitionUnreadable = 203;
inline constexpr int kDefinitionMissing = 204;
inline constexpr int kServerFilesRestored = 205;
inline constexpr int kRetrying = 206;
inline constexpr int kPagesFailedChecks = 207;
inline constexpr int kRecordsDamaged = 208;
inline constexpr int kValuesCutShort = 209;
inline constexpr int kRowsWithDamagedLongValues = 210;
inline constexpr int kPagesRepaired = 211;
} // namespace str

// Fixed texts of the window and dialogs that are not string resources.
inline constexpr std::string_view kWindowTitle = "Corvane Lumaris Recovery for Zarafa Database";
inline constexpr std::string_view kDialogTitle = "Corvane Lumaris Repair for Zarafa";
inline constexpr std::string_view kProductName = "Corvane Lumaris Repair for Zarafa";
inline constexpr std::string_view kProductVersion = "1.0.0.0";
inline constexpr std::string_view kCompletionText = "Database recovery completed";
// A run that has a result but lacks something of the data folder never says the above alone.
inline constexpr std::string_view kCompletionWithLossesText
    = "Database recovery completed with losses";
inline constexpr std::string_view kFailedText = "Database recovery failed";

// The text of the status line for `kind` 1..6 and a name (empty for any other kind).
std::string statusText(int kind, std::string_view name);

} // namespace common

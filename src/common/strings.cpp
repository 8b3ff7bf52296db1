#include "common/strings.h"

#include <array>
#include <utility>

namespace common {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 60> kTexts { {
    { 101, "&About Corvane Lumaris Repair for Zarafa..." },
    { 102, "About" },
    { 103, "Minimize" },
    { 106, "Close" },
    { 107, "Wrong version selection" },
    { 108, "You want to run the process?" },
    { 109, "Process stopped by user" },
    { 110, "Process stopped either due to wrong version or login information or non supported "
           "database engine." },
    { 111, "File can't be opened." },
    { 112, "Invalid login information.Enter valid login details." },
    { 114, "Selected database engine not supported" },
    { 115, "&Select folder" },
    { 117, "Exit Application!\n\nDo you want to exit Corvane Lumaris Repair for Zarafa?" },
    { 119, "Connection to server could not be established. Please try later." },
    { 120, "Application has all latest updates. Click Cancel to close window." },
    { 121, "Application has all latest updates." },
    { 122, "A new update  is available. Click Next to proceed further." },
    { 123, "Corvane Lumaris Update Wizard is searching for latest updates available online." },
    { 124, "This process can not be resumed from the current stage.\n\n Do you want to abort the "
           "current process?" },
    { 125, "Application successfully updated." },
    { 126, "Getting Internet Session" },
    { 127, "Downloading files ..." },
    { 128, "Download completed" },
    { 129, "Total records recovered : " },
    { 131, "File Size:" },
    { 132, "File selected for recovery" },
    { 134, "Log File (*.TXT)|*.TXT||" },
    { 136, "MB" },
    { 137, "KB" },
    { 138, "GB" },
    { 139, "Recovery finished on:" },
    { 140, "Description" },
    { 142, "Help" },
    { 143, "Update" },
    { 146, "View Logs" },
    { 148, "MySQL not installed in your system.\nInstall MySQL to run Corvane Lumaris Repair for "
           "Zarafa\nClick \"Download MySQL\" to install the MySQL" },
    { 149, "MySQL is not installed" },
    { 150, "Software\\MySQL AB\\MySQL Server 5.0" },
    { 151, "Software\\MySQL AB\\MySQL Server 6.0" },
    { 152, "Do You want to stop process?" },
    { 153, "Loading Data" },
    { 154, "Connecting to MySQL Server..." },
    { 155, "Getting information of table" },
    { 156, "Wait while managing data in database.Don't stop the process" },
    { 157, "Inserting data of table" },
    { 158, "Log information saved successfully" },
    { 159, "Closing connection with MySQL" },
    { 171, "Selected database :" },
    { 174, "Recovery started on:" },
    // Texts the repair adds where the original kept silent; numbered above the original range.
    { 201, "Rows refused by the server" },
    { 202, "Delete-marked records skipped" },
    { 203, "Table definition could not be read" },
    { 204, "Table found in the tablespace but its definition file is missing" },
    { 205, "Server files put back after an interrupted repair" },
    { 206, "Retrying: " },
    { 207, "Pages that failed their checks" },
    { 208, "Damaged records left out" },
    { 209, "Long values cut short by a broken overflow chain" },
    { 210, "Rows with damaged long values" },
    { 211, "Pages repaired from the doublewrite buffer" },
} };

// A name of seven characters or fewer gives an empty text, as the dictionary prefix "zarafa/"
// is all there is to drop.
std::string_view withoutDictionaryPrefix(std::string_view name)
{
    return name.size() > 7 ? name.substr(7) : std::string_view {};
}

} // namespace

std::string_view text(int id)
{
    for (const auto &[number, value] : kTexts) {
        if (number == id) {
            return value;
        }
    }
    return {};
}

std::string statusText(int kind, std::string_view name)
{
    std::string out;
    switch (kind) {
    case 1:
        out.append(text(str::kManagingData)).append(" ").append(withoutDictionaryPrefix(name));
        break;
    case 2:
        out.append(text(str::kLoadingData)).append(" ").append(name);
        break;
    case 3:
        out.append(text(str::kGettingInformation)).append(" : ").append(name);
        break;
    case 4:
        out.append(text(str::kInsertingData))
            .append(" ")
            .append(withoutDictionaryPrefix(name))
            .append(" into MySQL");
        break;
    case 5:
        out.append(text(str::kConnecting));
        break;
    case 6:
        out.append(text(str::kClosingConnection));
        break;
    default:
        break;
    }
    return out;
}

} // namespace common

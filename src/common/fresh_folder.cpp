#include "common/fresh_folder.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace common {

Result<std::filesystem::path> createFreshFolder(
    const std::filesystem::path &parent, const std::string &name, mode_t mode)
{
    for (int number = 1; number < 1000; ++number) {
        const std::filesystem::path folder
            = parent / (number == 1 ? name : name + "-" + std::to_string(number));
        if (::mkdir(folder.c_str(), mode) == 0) {
            return folder;
        }
        if (errno != EEXIST) {
            return ioError(std::strerror(errno), folder.string());
        }
    }
    return ioError("too many runs in the same second", (parent / name).string());
}

} // namespace common

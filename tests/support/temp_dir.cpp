#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace testing_support {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zr-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code error;
    // A test may have taken permissions away to provoke a failure; give them back first.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(m_path, error);
}

std::filesystem::path TempDir::write(const std::string &relative, std::string_view content) const
{
    const auto target = m_path / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return target;
}

std::filesystem::path TempDir::mkdir(const std::string &relative) const
{
    const auto target = m_path / relative;
    std::filesystem::create_directories(target);
    return target;
}

std::filesystem::path sharedFixtures()
{
    if (const char *overridden = std::getenv("ZR_SHARED_FIXTURES")) {
        return overridden;
    }
    return ZR_SHARED_FIXTURES;
}

} // namespace testing_support

// TempDir: a private temporary folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::string str() const { return m_path.string(); }

    // Writes `content` to `relative` below the folder, creating the folders on the way.
    std::filesystem::path write(const std::string &relative, std::string_view content) const;
    std::filesystem::path mkdir(const std::string &relative) const;

private:
    std::filesystem::path m_path;
};

// The folder of the server-written fixtures shared with the project.
std::filesystem::path sharedFixtures();

} // namespace testing_support

#include "innodb/doublewrite_buffer.h"

#include "innodb/page_check.h"
#include "innodb/page_layout.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>

namespace innodb {

namespace {

// A doublewrite file larger than this is no doublewrite file (MySQL's default is a few MiB):
// its pages are not read, so that a stray file cannot fill the memory.
constexpr std::uint64_t kMaxDoublewriteFileBytes = std::uint64_t { 256 } << 20;

bool allZero(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// "#ib_16384_0.dblwr" -> 16384; 0 when the name carries no page size.
std::size_t pageSizeInName(std::string_view name)
{
    constexpr std::string_view kPrefix = "#ib_";
    if (name.substr(0, kPrefix.size()) != kPrefix) {
        return 0;
    }
    name.remove_prefix(kPrefix.size());
    std::size_t size = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), size);
    if (error != std::errc {} || end == name.data() || *end != '_') {
        return 0;
    }
    return size;
}

bool isDoublewriteFileName(std::string_view name)
{
    const auto endsWith = [&](std::string_view suffix) {
        return name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    };
    return name.substr(0, 4) == "#ib_" && (endsWith(".dblwr") || endsWith(".bdblwr"));
}

} // namespace

bool DoublewriteBuffer::add(std::span<const std::uint8_t> page)
{
    if (page.size() < kMinPageSize || page.size() > kMaxPageSize || allZero(page)) {
        return false;
    }
    const ConstPage view(page);
    if (!checkPageEitherLayout(view).ok()) {
        return false; // a copy torn by the crash the area exists for, or never written
    }
    const std::uint32_t space = spaceIdOf(view);
    const std::uint32_t number = pageNumberOf(view);
    auto &kept = m_copies[{ space, number }];
    if (!kept.empty()) {
        const ConstPage old(kept);
        if (kept.size() == page.size()
            && pageLsnOf(old) >= pageLsnOf(view)) {
            return false;
        }
    }
    kept.assign(page.begin(), page.end());
    return true;
}

const std::vector<std::uint8_t> *DoublewriteBuffer::copyOf(
    std::uint32_t spaceId, std::uint32_t pageNumber, std::size_t pageSize) const
{
    const auto found = m_copies.find({ spaceId, pageNumber });
    if (found == m_copies.end() || found->second.size() != pageSize) {
        return nullptr;
    }
    return &found->second;
}

void DoublewriteBuffer::readSystemArea(TablespaceFile &system)
{
    const std::size_t pageSize = system.pageSize();
    if (system.format().zipSize != 0 || system.pageCount() <= kTrxSysPage) {
        return;
    }
    std::vector<std::uint8_t> page(pageSize);
    if (!system.readPage(kTrxSysPage, page)) {
        return;
    }
    // The fields are read even from a TRX_SYS page that fails its checksum: the magic number
    // vouches for them, and every copy is checked on its own before it is used.
    const std::size_t at = pageSize - kTrxSysDoublewriteFromEnd;
    const ConstPage view(page);
    std::uint32_t block1 = 0;
    std::uint32_t block2 = 0;
    for (const std::size_t fields : { kTrxSysDoublewriteMagic, kTrxSysDoublewriteRepeat }) {
        if (readUint32(view, at + fields) == kDoublewriteMagic) {
            block1 = readUint32(view, at + fields + 4);
            block2 = readUint32(view, at + fields + 8);
            break;
        }
    }
    if (block1 == 0 || block2 == 0) {
        return; // no doublewrite area was ever made (innodb_doublewrite=0 from the start)
    }
    const auto blockPages = static_cast<std::uint32_t>(extentPages(pageSize));
    std::size_t kept = 0;
    for (const std::uint32_t first : { block1, block2 }) {
        for (std::uint32_t i = 0; i < blockPages; ++i) {
            const std::uint64_t number = std::uint64_t { first } + i;
            if (number >= system.pageCount()) {
                break;
            }
            // Read as stored: the copies carry their own page numbers, not their position.
            const auto read = system.readAt(number * pageSize, page);
            if (read && *read == pageSize && add(page)) {
                ++kept;
            }
        }
    }
    if (kept > 0) {
        m_sources.push_back(std::filesystem::path(system.path()).filename().string() + " pages "
            + std::to_string(block1) + "-" + std::to_string(block1 + blockPages - 1) + " and "
            + std::to_string(block2) + "-" + std::to_string(block2 + blockPages - 1));
    }
}

void DoublewriteBuffer::readFile(const std::string &path, std::size_t pageSize)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return;
    }
    std::vector<std::uint8_t> page(pageSize);
    std::size_t kept = 0;
    for (std::uint64_t offset = 0; offset + pageSize <= kMaxDoublewriteFileBytes;
         offset += pageSize) {
        const ssize_t got = ::pread(descriptor, page.data(), pageSize, static_cast<off_t>(offset));
        if (got != static_cast<ssize_t>(pageSize)) {
            break;
        }
        if (add(page)) {
            ++kept;
        }
    }
    ::close(descriptor);
    if (kept > 0) {
        m_sources.push_back(std::filesystem::path(path).filename().string());
    }
}

DoublewriteBuffer DoublewriteBuffer::read(TablespaceFile *system, const std::string &folder)
{
    DoublewriteBuffer buffer;
    if (system) {
        buffer.readSystemArea(*system);
    }
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (isDoublewriteFileName(name) && entry.is_regular_file(error)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end()); // the same copy wins on every run
    for (const auto &file : files) {
        std::size_t pageSize = pageSizeInName(file.filename().string());
        if (pageSize == 0) {
            pageSize = system ? system->pageSize() : kDefaultPageSize;
        }
        if (pageSize >= kMinPageSize && pageSize <= kMaxPageSize) {
            buffer.readFile(file.string(), pageSize);
        }
    }
    return buffer;
}

} // namespace innodb

#include "innodb/tablespace_check.h"

#include "innodb/page_check.h"
#include "innodb/page_layout.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace innodb {

namespace {

// FSP header, at kFilPageData of page 0 (fsp0fsp.h): FSP_SPACE_ID (4), FSP_NOT_USED (4),
// FSP_SIZE (4), ...
constexpr std::size_t kFspSpaceId = kFilPageData;

// Pages after the header that may still show an InnoDB file whose first page is damaged: the
// insert buffer, inode and dictionary pages every system tablespace has, and the first pages
// of an .ibd.
constexpr std::uint32_t kPagesTriedAfterHeader = 7;
// Uncompressed page sizes, the usual first; a ROW_FORMAT=COMPRESSED page can be 1 KiB.
constexpr std::size_t kPageSizes[] = { 16384, 4096, 8192, 32768, 65536 };
constexpr std::uint64_t kSmallestPage = 1024;
constexpr std::uint16_t kFilPageTypeIbufBitmap = 5;

std::string lowerFirst(std::string text)
{
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

common::Error notATablespace(const std::string &why)
{
    return common::corruption("not an InnoDB tablespace (" + why + ")");
}

bool readWhole(int descriptor, std::uint64_t offset, std::span<std::uint8_t> buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::pread(descriptor, buffer.data() + done, buffer.size() - done,
            static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool allZero(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

bool looksLikeFspHeader(ConstPage page)
{
    const std::uint16_t type = pageTypeOf(page);
    return pageNumberOf(page) == kFspHeaderPage
        && (type == kFilPageTypeFspHeader || type == kFilPageTypeAllocated)
        && spaceIdOf(page) == readUint32(page, kFspSpaceId) && !allZero(page);
}

} // namespace

std::string nonRegularKind(unsigned mode)
{
    if (S_ISREG(mode)) {
        return {};
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a file";
}

common::Result<int> openForReading(const std::string &path)
{
    struct stat status
    {
    };
    // stat, not lstat: a symbolic link is judged by what it points to (/dev/zero is a device).
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return common::ioError("no such file", path);
        }
        return common::ioError(lowerFirst(std::strerror(errno)), path);
    }
    if (const std::string kind = nonRegularKind(status.st_mode); !kind.empty()) {
        return common::ioError("not a regular file (" + kind + ")", path);
    }
    // O_NONBLOCK as well: should the file be swapped for a FIFO between the two calls, the open
    // must still not wait for a writer; on a regular file the flag changes nothing.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        if (errno == EACCES || errno == EPERM) {
            return common::ioError("permission denied (run the repair as root or as the mysql "
                                   "user, or make the file readable)",
                path);
        }
        return common::ioError(lowerFirst(std::strerror(errno)), path);
    }
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return common::ioError("not a regular file", path);
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return descriptor;
}

common::Status checkTablespaceHeader(int descriptor, std::uint64_t sizeBytes)
{
    if (sizeBytes == 0) {
        return notATablespace("the file is empty");
    }
    if (sizeBytes < kSmallestPage) {
        return notATablespace(
            "the file holds only " + std::to_string(sizeBytes) + " bytes, less than one page");
    }
    // The FIL header fields sit at the same offsets at every page size: the first bytes tell.
    std::vector<std::uint8_t> first(
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeBytes, kDefaultPageSize)));
    if (!readWhole(descriptor, 0, first)) {
        return common::ioError(
            "its first page cannot be read: " + lowerFirst(std::strerror(errno)));
    }
    if (looksLikeFspHeader(first)) {
        return common::okStatus();
    }
    bool onlyZeros = allZero(first);
    // A damaged first page: at any page size, one of the next pages intact at its own place
    // shows that the rest is InnoDB's.
    for (const std::size_t size : kPageSizes) {
        std::vector<std::uint8_t> page(size);
        const auto pages = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(sizeBytes / size, kPagesTriedAfterHeader + 1));
        for (std::uint32_t number = 1; number < pages; ++number) {
            if (!readWhole(descriptor, std::uint64_t { number } * size, page)) {
                break;
            }
            if (checkPageEitherLayout(page).ok() && pageNumberOf(page) == number) {
                return common::okStatus();
            }
            onlyZeros = onlyZeros && allZero(page);
        }
    }
    // ROW_FORMAT=COMPRESSED spaces store pages of 1 to 16 KiB with a checksum of their own;
    // page 1, the insert buffer bitmap of every space, at its own place tells them.
    for (std::size_t size = 1024; size <= kDefaultPageSize; size *= 2) {
        std::vector<std::uint8_t> page(size);
        if (sizeBytes >= 2 * size && readWhole(descriptor, size, page) && pageNumberOf(page) == 1
            && pageTypeOf(page) == kFilPageTypeIbufBitmap && !allZero(page)) {
            return common::okStatus();
        }
    }
    if (onlyZeros) {
        return notATablespace("its first pages hold only zeros");
    }
    return notATablespace("its first page is not a tablespace header");
}

common::Status checkTablespaceFile(const std::string &path)
{
    auto opened = openForReading(path);
    if (!opened) {
        return opened.error();
    }
    struct stat status
    {
    };
    const int descriptor = *opened;
    common::Status checked = ::fstat(descriptor, &status) == 0
        ? checkTablespaceHeader(descriptor, static_cast<std::uint64_t>(status.st_size))
        : common::Status(common::ioError(lowerFirst(std::strerror(errno))));
    ::close(descriptor);
    if (!checked.ok()) {
        common::Error error = checked.error();
        error.where = path;
        return error;
    }
    return checked;
}

} // namespace innodb

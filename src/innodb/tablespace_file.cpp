#include "innodb/tablespace_file.h"

#include "innodb/page_check.h"
#include "innodb/page_compressed.h"
#include "innodb/page_layout.h"
#include "innodb/tablespace_check.h"
#include "innodb/zip_page.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace innodb {

namespace {

constexpr std::uint16_t kFilPageTypeIbufBitmap = 5;
// The smallest page any space stores: a ROW_FORMAT=COMPRESSED page of KEY_BLOCK_SIZE=1.
constexpr std::size_t kMinStoredPageSize = 1024;

// MySQL 5.7 stores transparently compressed and encrypted pages under page types of its own
// (fil0fil.h: 14 compressed, 15 encrypted, 16 both, 17 an encrypted R-tree page), the page's own
// type kept inside. Neither is read here; the reason names them, empty for any other page.
std::string mysqlStoredForm(std::span<const std::uint8_t> stored)
{
    switch (pageTypeOf(stored)) {
    case 14:
        return "compressed by MySQL's transparent page compression (COMPRESSION=), which this "
               "program cannot read";
    case 15:
    case 16:
    case 17:
        return "encrypted (MySQL tablespace encryption), and its key is not in the data folder";
    default:
        return {};
    }
}

PageRead unreadable(std::string reason)
{
    PageRead read;
    read.outcome = PageRead::Outcome::Unreadable;
    read.reason = std::move(reason);
    return read;
}

// Page 0 is trusted when it says it is page 0 and an FSP header (MySQL 5.0 wrote type 0 there).
bool isTrustedFspHeader(ConstPage page)
{
    const auto type = pageTypeOf(page);
    return pageNumberOf(page) == 0
        && (type == kFilPageTypeFspHeader || type == kFilPageTypeAllocated);
}

} // namespace

common::Result<TablespaceFile> TablespaceFile::open(const std::string &path)
{
    // Never a blocking open: a FIFO or a device in place of ibdata1 is refused by its kind.
    auto opened = openForReading(path);
    if (!opened) {
        return opened.error();
    }
    const int descriptor = *opened;
    struct stat status
    {
    };
    if (::fstat(descriptor, &status) != 0) {
        const int saved = errno;
        ::close(descriptor);
        return common::ioError(
            std::string("cannot read tablespace size: ") + std::strerror(saved), path);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return common::ioError("tablespace is not a regular file", path);
    }
    TablespaceFile file(descriptor, path, static_cast<std::uint64_t>(status.st_size));
    // The caller names the file: the error says what about its format cannot be read.
    if (auto format = file.readFormat(); !format.ok()) {
        return format.error();
    }
    return file;
}

TablespaceFile::TablespaceFile(int descriptor, std::string path, std::uint64_t sizeBytes)
    : m_descriptor(descriptor)
    , m_path(std::move(path))
    , m_sizeBytes(sizeBytes)
{
}

TablespaceFile::TablespaceFile(TablespaceFile &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_path(std::move(other.m_path))
    , m_sizeBytes(other.m_sizeBytes)
    , m_format(other.m_format)
    , m_formatNote(std::move(other.m_formatNote))
    , m_stored(std::move(other.m_stored))
{
}

TablespaceFile &TablespaceFile::operator=(TablespaceFile &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_path = std::move(other.m_path);
        m_sizeBytes = other.m_sizeBytes;
        m_format = other.m_format;
        m_formatNote = std::move(other.m_formatNote);
        m_stored = std::move(other.m_stored);
    }
    return *this;
}

TablespaceFile::~TablespaceFile()
{
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}

common::Status TablespaceFile::readFormat()
{
    std::vector<std::uint8_t> first(
        static_cast<std::size_t>(std::min<std::uint64_t>(m_sizeBytes, kMaxPageSize)));
    auto got = readAt(0, first);
    if (!got.ok() || *got < kMinStoredPageSize) {
        return common::okStatus(); // too small to be a tablespace: the scan says so
    }
    first.resize(*got);
    if (isTrustedFspHeader(first)) {
        auto format = spaceFormatFromFlags(readUint32(first, kFspSpaceFlags));
        if (!format.ok()) {
            return format.error();
        }
        m_format = *format;
        if (m_format.physicalPageSize() <= first.size()) {
            m_format.encrypted
                = readEncryption(std::span(first).first(m_format.physicalPageSize()), m_format);
        }
        return common::okStatus();
    }
    // A damaged page 0: page 1 (the insert buffer bitmap of every space) tells the stored page
    // size by where it starts. An uncompressed one repeats its LSN in its trailer, a compressed
    // one has no trailer.
    for (const std::size_t size :
        { std::size_t { 16384 }, std::size_t { 4096 }, std::size_t { 8192 }, std::size_t { 32768 },
            std::size_t { 65536 }, std::size_t { 1024 }, std::size_t { 2048 } }) {
        std::vector<std::uint8_t> page(size);
        if (m_sizeBytes < 2 * size || m_sizeBytes % size != 0) {
            continue;
        }
        if (auto read = readAt(size, page);
            !read.ok() || *read != size || pageNumberOf(page) != 1) {
            continue;
        }
        const auto lsnLow = readUint32(page, kFilPageLsn + 4);
        if (readUint32(page, size - 4) == lsnLow || readUint32(page, size - 8) == lsnLow) {
            m_format.pageSize = size;
            m_format.fullCrc32 = readUint32(page, size - 4) != lsnLow;
        } else if (pageTypeOf(page) == kFilPageTypeIbufBitmap && size <= kDefaultPageSize) {
            m_format.zipSize = size; // of 16 KiB pages, the usual size
        } else {
            continue;
        }
        m_formatNote = "page 0 is damaged; its pages are taken to be " + std::to_string(size / 1024)
            + " KiB as page 1 shows";
        return common::okStatus();
    }
    m_formatNote = "page 0 is damaged; 16 KiB pages are assumed";
    return common::okStatus();
}

common::Result<std::size_t> TablespaceFile::readAt(
    std::uint64_t offset, std::span<std::uint8_t> buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::pread(m_descriptor, buffer.data() + done, buffer.size() - done,
            static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return common::ioError(std::string("read failed: ") + std::strerror(errno), m_path);
        }
        if (got == 0) {
            break; // end of file
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool TablespaceFile::headersAsStored(std::span<const std::uint8_t> stored) const
{
    if ((m_format.pageCompressed && isPageCompressed(stored, m_format))
        || !mysqlStoredForm(stored).empty()) {
        return false;
    }
    return !m_format.encrypted || pageNumberOf(stored) == 0
        || encryptedPageKeyVersion(stored, m_format) == 0;
}

PageRead TablespaceFile::viewOf(std::span<const std::uint8_t> stored, PageBuffer view)
{
    if (m_format.encrypted && pageNumberOf(stored) != 0
        && encryptedPageKeyVersion(stored, m_format) != 0) {
        return unreadable("encrypted (MariaDB data-at-rest encryption), and its key is not in "
                          "the data folder");
    }
    if (auto form = mysqlStoredForm(stored); !form.empty()) {
        return unreadable(std::move(form));
    }
    if (m_format.zipSize != 0) {
        PageRead read;
        if (isCompressedIndexPage(stored)) {
            read = decompressIndexPage(stored, view);
        } else {
            // The other pages of a compressed space are stored as they are (buf_zip_decompress()).
            std::copy(stored.begin(), stored.end(), view.begin());
            std::fill(view.begin() + static_cast<std::ptrdiff_t>(stored.size()), view.end(), 0);
        }
        read.storedCheck = checkCompressedPage(stored);
        return read;
    }
    if (m_format.pageCompressed && isPageCompressed(stored, m_format)) {
        return decompressPageCompressed(stored, view, m_format);
    }
    std::copy(stored.begin(), stored.end(), view.begin());
    return {};
}

PageRead TablespaceFile::readPage(std::uint32_t pageNumber, PageBuffer buffer)
{
    if (pageNumber >= pageCount() || buffer.size() < pageSize()) {
        return PageRead::missing();
    }
    const std::size_t stored = m_format.physicalPageSize();
    const std::uint64_t offset = std::uint64_t { pageNumber } * stored;
    if (m_format.zipSize == 0 && !m_format.pageCompressed && !m_format.encrypted) {
        // Stored as the decoders read it: straight into the caller's buffer.
        const auto got = readAt(offset, buffer.first(stored));
        if (!got.ok() || *got != stored) {
            return PageRead::missing();
        }
        auto form = mysqlStoredForm(buffer);
        return form.empty() ? PageRead {} : unreadable(std::move(form));
    }
    m_stored.resize(stored);
    const auto got = readAt(offset, m_stored);
    if (!got.ok() || *got != stored) {
        return PageRead::missing();
    }
    return viewOf(m_stored, buffer.first(pageSize()));
}

common::Status TablespaceFile::checkHeader() const
{
    return checkTablespaceHeader(m_descriptor, m_sizeBytes);
}

void TablespaceFile::adviseSequential()
{
    // Advice only: a refusal changes nothing but speed.
    (void)::posix_fadvise(m_descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
}

} // namespace innodb

#include "innodb/tablespace_file.h"

#include "innodb/tablespace_check.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace innodb {

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
    return TablespaceFile(descriptor, path, static_cast<std::uint64_t>(status.st_size));
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
    }
    return *this;
}

TablespaceFile::~TablespaceFile()
{
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
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

bool TablespaceFile::readPage(std::uint32_t pageNumber, PageBuffer buffer)
{
    if (pageNumber >= pageCount()) {
        return false;
    }
    const auto got = readAt(std::uint64_t { pageNumber } * kPageSize, buffer);
    return got.ok() && *got == kPageSize;
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

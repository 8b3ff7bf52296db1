// TablespaceFile: an InnoDB data file (ibdata1 or a table's .ibd) opened read-only.
//
// The file is only ever read: opened O_RDONLY, read with pread so that the sequential scan and
// single-page reads never disturb each other's position. Its page 0 tells how it stores pages
// (SpaceFormat): their size, and whether they are compressed or encrypted; readPage() gives every
// page as the uncompressed view the decoders read. Damage is never an error here: a page past the
// end, a short read or a page that does not decompress makes readPage() say so, and the callers
// decide what it means.
#pragma once

#include "common/result.h"
#include "innodb/page_source.h"
#include "innodb/space_format.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace innodb {

class TablespaceFile : public PageSource
{
public:
    // NotSupported when page 0 names a format this program cannot read (naming it).
    static common::Result<TablespaceFile> open(const std::string &path);

    TablespaceFile(TablespaceFile &&other) noexcept;
    TablespaceFile &operator=(TablespaceFile &&other) noexcept;
    TablespaceFile(const TablespaceFile &) = delete;
    TablespaceFile &operator=(const TablespaceFile &) = delete;
    ~TablespaceFile() override;

    const std::string &path() const { return m_path; }
    std::uint64_t sizeBytes() const { return m_sizeBytes; }
    const SpaceFormat &format() const { return m_format; }
    // Set when page 0 could not be trusted and the format was inferred or assumed: one line
    // for the user, empty otherwise.
    const std::string &formatNote() const { return m_formatNote; }

    std::size_t pageSize() const override { return m_format.pageSize; }
    // Whole pages only: a tail shorter than a page is not a page.
    std::uint64_t pageCount() const override { return m_sizeBytes / m_format.physicalPageSize(); }
    std::size_t compressedPageSize() const override { return m_format.zipSize; }

    PageRead readPage(std::uint32_t pageNumber, PageBuffer buffer) override;

    // Turns one page as stored (physicalPageSize() bytes) into its view, for the scanner that
    // reads many pages at once. `view` holds pageSize() bytes.
    PageRead viewOf(std::span<const std::uint8_t> stored, PageBuffer view);
    // True when the stored page's FIL and index headers are its view's, so that a scan can
    // classify it without making the view: every page of an uncompressed space, and of a
    // ROW_FORMAT=COMPRESSED one, whose headers are stored as they are.
    bool headersAsStored(std::span<const std::uint8_t> stored) const;

    // Reads up to buffer.size() bytes starting at `offset`, for the scanner's sequential pass.
    // Returns the number of bytes read: fewer than asked at the end of the file, and an Io
    // error only when the operating system refuses the read.
    common::Result<std::size_t> readAt(std::uint64_t offset, std::span<std::uint8_t> buffer);

    // Whether the file can be an InnoDB tablespace: at least a page, and a first page that is a
    // tablespace header (see checkTablespaceHeader).
    common::Status checkHeader() const;

    // Tells the kernel the whole file will be read front to back (read-ahead, early eviction).
    void adviseSequential();

private:
    TablespaceFile(int descriptor, std::string path, std::uint64_t sizeBytes);
    common::Status readFormat();

    int m_descriptor = -1;
    std::string m_path;
    std::uint64_t m_sizeBytes = 0;
    SpaceFormat m_format;
    std::string m_formatNote;
    std::vector<std::uint8_t> m_stored; // one stored page, for the spaces whose views differ
};

} // namespace innodb

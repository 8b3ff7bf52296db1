// TablespaceFile: an InnoDB data file (ibdata1 or a table's .ibd) opened read-only.
//
// The file is only ever read: opened O_RDONLY, read with pread so that the sequential scan and
// single-page reads never disturb each other's position. Damage is never an error here: a page
// past the end or a short read makes readPage() false, and the callers decide what it means.
#pragma once

#include "common/result.h"
#include "innodb/page_source.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace innodb {

class TablespaceFile : public PageSource
{
public:
    static common::Result<TablespaceFile> open(const std::string &path);

    TablespaceFile(TablespaceFile &&other) noexcept;
    TablespaceFile &operator=(TablespaceFile &&other) noexcept;
    TablespaceFile(const TablespaceFile &) = delete;
    TablespaceFile &operator=(const TablespaceFile &) = delete;
    ~TablespaceFile() override;

    const std::string &path() const { return m_path; }
    std::uint64_t sizeBytes() const { return m_sizeBytes; }
    // Whole pages only: a tail shorter than a page is not a page.
    std::uint64_t pageCount() const override { return m_sizeBytes / kPageSize; }

    bool readPage(std::uint32_t pageNumber, PageBuffer buffer) override;

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

    int m_descriptor = -1;
    std::string m_path;
    std::uint64_t m_sizeBytes = 0;
};

} // namespace innodb

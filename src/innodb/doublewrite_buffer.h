// DoublewriteBuffer: the last copies of pages the server wrote, kept in the doublewrite area of
// ibdata1 and, on MySQL 8.0.20 and later, in the #ib_*.dblwr files beside it.
//
// Before InnoDB writes a batch of pages to their places it writes them, whole and with their
// checksums, to the doublewrite area (buf0dblwr.cc), so that a page torn by a crash can be put
// back. The area keeps the last batches after a clean shutdown too: where a page fails its checks
// at its place, an intact copy of the same space and page number here is the same page as the
// server last wrote it, or an older state of it, never a foreign page.
//
//   const DoublewriteBuffer copies = DoublewriteBuffer::read(systemFile, dataFolder);
//   if (const auto *copy = copies.copyOf(spaceId, pageNumber, pageSize)) { ... }
#pragma once

#include "innodb/tablespace_file.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace innodb {

// The doublewrite fields of the TRX_SYS page (page 5 of ibdata1), trx0sys.h: they start
// kTrxSysDoublewriteFromEnd bytes before the end of the page.
inline constexpr std::uint32_t kTrxSysPage = 5;
inline constexpr std::size_t kTrxSysDoublewriteFromEnd = 200; // TRX_SYS_DOUBLEWRITE
inline constexpr std::size_t kTrxSysDoublewriteMagic = 10; // 4, after the 10-byte segment header
inline constexpr std::size_t kTrxSysDoublewriteBlock1 = 14; // 4: first page of block 1
inline constexpr std::size_t kTrxSysDoublewriteBlock2 = 18; // 4: first page of block 2
inline constexpr std::size_t kTrxSysDoublewriteRepeat = 22; // magic, block 1, block 2 again
inline constexpr std::uint32_t kDoublewriteMagic = 536853855; // 0x1FFFBD5F

class DoublewriteBuffer
{
public:
    // The copies in `system`'s doublewrite area and in the doublewrite files of `folder` (the
    // folder of ibdata1). Nothing here fails: an area or file that cannot be read holds no copy,
    // and a copy that fails its own checks is not kept.
    static DoublewriteBuffer read(TablespaceFile *system, const std::string &folder);

    // Keeps `page` when it is an intact copy and newer than any copy of the same page so far;
    // true when it was kept. Used by read() and by tests.
    bool add(std::span<const std::uint8_t> page);

    // The newest intact copy of page `pageNumber` of space `spaceId`, of `pageSize` bytes, or
    // null.
    const std::vector<std::uint8_t> *copyOf(
        std::uint32_t spaceId, std::uint32_t pageNumber, std::size_t pageSize) const;

    std::size_t size() const { return m_copies.size(); }
    bool empty() const { return m_copies.empty(); }
    // Where the copies were read, for the log: "ibdata1 pages 64-191", "#ib_16384_0.dblwr".
    const std::vector<std::string> &sources() const { return m_sources; }

private:
    void readSystemArea(TablespaceFile &system);
    void readFile(const std::string &path, std::size_t pageSize);

    // (space id, page number) -> the newest intact copy.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::uint8_t>> m_copies;
    std::vector<std::string> m_sources;
};

} // namespace innodb

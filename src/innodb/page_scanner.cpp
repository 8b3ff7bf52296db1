#include "innodb/page_scanner.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <memory>
#include <new>

namespace innodb {

namespace {

constexpr std::uint16_t kFilPageTypeFspHeader = 8;

// Page 0 is trusted when it says it is page 0 and an FSP header (MySQL 5.0 wrote type 0
// there). A damaged page 0 must not stop the scan: the file's space and page size are then
// taken as the defaults (any space, 16 KiB).
bool isTrustedFspHeader(ConstPage page)
{
    const auto type = pageTypeOf(page);
    return pageNumberOf(page) == 0
        && (type == kFilPageTypeFspHeader || type == kFilPageTypeAllocated);
}

// Page size in bytes from the FSP flags; 0 when the flags name no size this program knows.
std::size_t pageSizeFromFlags(std::uint32_t flags)
{
    // MariaDB full_crc32 spaces: bit 4 marks the layout, bits 0-3 the size code (5 = 16 KiB).
    if ((flags & 0x10) != 0 && (flags & 0xFFFFFF00) == 0) {
        const auto code = flags & 0xF;
        return code >= 3 && code <= 7 ? std::size_t { 512 } << code : 0;
    }
    // Older layout: bits 6-9, 0 = 16 KiB, else 512 << code.
    const auto code = (flags >> 6) & 0xF;
    if (code == 0) {
        return kPageSize;
    }
    return code <= 7 ? std::size_t { 512 } << code : 0;
}

} // namespace

const rawtable *ScanResult::group(std::uint64_t indexId) const
{
    const auto found = m_groupOf.find(indexId);
    return found == m_groupOf.end() ? nullptr : &groups[found->second];
}

const strcUniqueIdPages *ScanResult::page(std::uint32_t pageNumber) const
{
    // Pages are kept in file order, so their numbers rise: no index is needed to find one.
    const auto found = std::lower_bound(allPages.begin(), allPages.end(), pageNumber,
        [](const strcUniqueIdPages &entry, std::uint32_t number) {
            return entry.pageNumber < number;
        });
    return found != allPages.end() && found->pageNumber == pageNumber ? &*found : nullptr;
}

void ScanResult::addPage(std::uint64_t indexId, const strcUniqueIdPages &entry)
{
    assert(allPages.empty() || allPages.back().pageNumber < entry.pageNumber);
    const auto slot = static_cast<std::uint32_t>(allPages.size());
    allPages.push_back(entry);
    const auto [found, inserted] = m_groupOf.try_emplace(indexId, groups.size());
    if (inserted) {
        groups.push_back(rawtable { indexId, {} });
    }
    groups[found->second].slots.push_back(slot);
}

bool examinePage(ConstPage page, std::uint64_t position, std::optional<std::uint32_t> spaceId,
    strcUniqueIdPages &entry)
{
    if (!isIndexPage(page) || pageLevelOf(page) != 0 || pageNumberOf(page) != position) {
        return false;
    }
    if (spaceId && spaceIdOf(page) != *spaceId) {
        return false;
    }
    entry.pageNumber = pageNumberOf(page);
    entry.heapTop = heapTopOf(page);
    entry.pageType = static_cast<std::uint16_t>(page[kFilPageType] | (page[kFilPageType + 1] << 8));
    entry.recordCount = recordCountOf(page);
    entry.reserved = 0;
    entry.lsn = pageLsnOf(page);
    entry.indexId = indexIdOf(page);
    entry.previousPage = previousPageOf(page);
    entry.nextPage = nextPageOf(page);
    entry.compact = isCompactPage(page);
    return true;
}

common::Result<ScanResult> scanTablespace(TablespaceFile &file, const ScanCallbacks &callbacks)
{
    const auto stop = [&] { return callbacks.stopRequested && callbacks.stopRequested(); };
    const auto totalPages = file.pageCount();
    if (totalPages == 0) {
        return common::corruption("tablespace is smaller than one page", file.path());
    }

    // Before the first read, so that the kernel's read-ahead starts wide from page 0 on.
    file.adviseSequential();
    ScanResult result;
    std::optional<std::uint32_t> spaceId;
    {
        std::array<std::uint8_t, kPageSize> first {};
        if (file.readPage(0, first) && isTrustedFspHeader(first)) {
            const auto flags = readUint32(first, kFspSpaceFlags);
            if (pageSizeFromFlags(flags) != kPageSize) {
                return common::Error { common::ErrorKind::NotSupported,
                    "tablespace page size is not 16 KiB", file.path() };
            }
            spaceId = spaceIdOf(first);
            result.spaceId = *spaceId;
        }
    }

    // Room for every page the file could hold, so that the list never moves while it grows: an
    // untouched reservation costs address space only, and a kept page then costs its own 40
    // bytes rather than up to three times that while a doubling vector copies itself.
    try {
        result.allPages.reserve(static_cast<std::size_t>(totalPages));
    } catch (const std::bad_alloc &) {
        // A file too large to reserve for is scanned all the same, with the list growing.
    }
    // One buffer for the whole pass, refilled by each read and never cleared: only what a read
    // filled is examined. Reads of 4 MiB keep the kernel's copy in the processor's cache; the
    // larger chunk only sets how often progress is shown and a stop is noticed.
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kScanReadPages * kPageSize);
    std::uint64_t position = 0;
    if (callbacks.progress) {
        callbacks.progress(0, totalPages);
    }
    while (position < totalPages) {
        if (stop()) {
            result.stopped = true;
            break;
        }
        const auto chunkEnd = std::min<std::uint64_t>(position + kScanChunkPages, totalPages);
        bool shortRead = false;
        while (position < chunkEnd && !shortRead && !result.stopped) {
            const auto readPages = std::min<std::uint64_t>(kScanReadPages, chunkEnd - position);
            const auto readBytes = static_cast<std::size_t>(readPages * kPageSize);
            auto got = file.readAt(position * kPageSize, std::span(buffer.get(), readBytes));
            if (!got.ok()) {
                auto error = got.error();
                error.where = file.path() + " page " + std::to_string(position);
                return error;
            }
            // A file that shrank while we read it: examine what arrived, whole pages only.
            const auto pagesRead = *got / kPageSize;
            shortRead = pagesRead < readPages;
            std::size_t examined = 0;
            for (; examined < pagesRead; ++examined) {
                if (stop()) {
                    result.stopped = true;
                    break;
                }
                const ConstPage page(buffer.get() + examined * kPageSize, kPageSize);
                strcUniqueIdPages entry;
                ++result.pagesExamined;
                if (examinePage(page, position + examined, spaceId, entry)) {
                    result.addPage(indexIdOf(page), entry);
                } else if (isIndexPage(page) && pageLevelOf(page) == 0) {
                    ++result.pagesMisplaced;
                }
            }
            position += examined;
        }
        if (callbacks.progress) {
            callbacks.progress(position, totalPages);
        }
        if (result.stopped || shortRead) {
            break;
        }
    }
    return result;
}

} // namespace innodb

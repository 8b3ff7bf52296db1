#include "innodb/page_scanner.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <memory>
#include <new>
#include <vector>

namespace innodb {

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
    groups[found->second].pageSlots.push_back(slot);
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
    const std::size_t stored = file.format().physicalPageSize();
    std::optional<std::uint32_t> spaceId;
    {
        // The space id of a damaged page 0 is not known: no page is then dropped for its space.
        std::vector<std::uint8_t> first(stored);
        if (auto got = file.readAt(0, first);
            got && *got == stored && pageNumberOf(first) == 0 && file.formatNote().empty()) {
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
    // larger chunk only sets how often progress is shown and a stop is noticed. Both are sizes
    // in bytes, so that small compressed pages do not make them small.
    const std::size_t readPagesAtOnce = std::max<std::size_t>(1, kScanReadBytes / stored);
    const std::size_t chunkPages = std::max<std::size_t>(1, kScanChunkBytes / stored);
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(readPagesAtOnce * stored);
    // Pages stored in another form than their view (compressed, encrypted) are examined as views.
    std::vector<std::uint8_t> view(file.pageSize());
    std::uint64_t position = 0;
    if (callbacks.progress) {
        callbacks.progress(0, totalPages);
    }
    while (position < totalPages) {
        if (stop()) {
            result.stopped = true;
            break;
        }
        const auto chunkEnd = std::min<std::uint64_t>(position + chunkPages, totalPages);
        bool shortRead = false;
        while (position < chunkEnd && !shortRead && !result.stopped) {
            const auto readPages = std::min<std::uint64_t>(readPagesAtOnce, chunkEnd - position);
            const auto readBytes = static_cast<std::size_t>(readPages * stored);
            auto got = file.readAt(position * stored, std::span(buffer.get(), readBytes));
            if (!got.ok()) {
                auto error = got.error();
                error.where = file.path() + " page " + std::to_string(position);
                return error;
            }
            // A file that shrank while we read it: examine what arrived, whole pages only.
            const auto pagesRead = *got / stored;
            shortRead = pagesRead < readPages;
            std::size_t examined = 0;
            for (; examined < pagesRead; ++examined) {
                if (stop()) {
                    result.stopped = true;
                    break;
                }
                ++result.pagesExamined;
                const std::span<const std::uint8_t> storedPage(
                    buffer.get() + examined * stored, stored);
                ConstPage page = storedPage;
                if (!file.headersAsStored(storedPage)) {
                    const PageRead read = file.viewOf(storedPage, view);
                    if (!read.ok()) {
                        ++result.pagesUnreadable;
                        if (result.unreadableReason.empty()) {
                            result.unreadableReason = read.reason;
                        }
                        continue;
                    }
                    page = view;
                }
                strcUniqueIdPages entry;
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

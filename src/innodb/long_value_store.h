// StoredBytes and LongValueStore: the bytes of a character or binary value, held in memory up to a
// limit and spilled beyond it to a file in a private folder that lives as long as the store.
#pragma once

#include "common/byte_reader.h"
#include "common/result.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace innodb {

// The bytes of one value. Move-only: a spilled value owns its file and removes it when destroyed,
// so a row's files disappear as soon as the row has been handed on.
class StoredBytes
{
public:
    StoredBytes() = default;
    explicit StoredBytes(std::vector<std::uint8_t> bytes);
    StoredBytes(std::filesystem::path file, std::uint64_t size);
    ~StoredBytes();
    StoredBytes(StoredBytes &&other) noexcept;
    StoredBytes &operator=(StoredBytes &&other) noexcept;
    StoredBytes(const StoredBytes &) = delete;
    StoredBytes &operator=(const StoredBytes &) = delete;

    std::uint64_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    bool spilled() const { return !m_file.empty(); }
    // The bytes of a value held in memory; empty for a spilled one.
    common::Bytes memory() const { return m_memory; }
    // The file of a spilled value; empty for one held in memory.
    const std::filesystem::path &file() const { return m_file; }

    // All bytes at once. For a spilled value this reads its file (an Io error if that fails).
    common::Result<std::vector<std::uint8_t>> readAll() const;
    // Hands the bytes over in pieces of at most `chunkSize`, in order; stops early when
    // `consumer` returns false. Suits callers that stream a large value to a driver.
    common::Status forEachChunk(
        const std::function<bool(common::Bytes)> &consumer, std::size_t chunkSize = 1 << 20) const;

    // Reuses the memory of a value held in memory for the next value (the decoder keeps one
    // StoredBytes per column across rows to spare allocations).
    std::vector<std::uint8_t> &resetToMemory();
    // Makes this a value held in memory with a copy of `bytes`.
    void assign(common::Bytes bytes);

private:
    friend class LongValueWriter;
    void removeFile() noexcept;

    std::vector<std::uint8_t> m_memory;
    std::filesystem::path m_file;
    std::uint64_t m_size = 0;
};

class LongValueStore;

// Collects one value piece by piece into `target`: in memory until the store's limit, then in a
// file of the store's folder. The value is complete once the writer is destroyed.
class LongValueWriter
{
public:
    LongValueWriter(LongValueStore &store, StoredBytes &target);
    LongValueWriter(const LongValueWriter &) = delete;
    LongValueWriter &operator=(const LongValueWriter &) = delete;

    common::Status append(common::Bytes piece);
    std::uint64_t size() const { return m_target.m_size; }

private:
    common::Status spill();

    LongValueStore &m_store;
    StoredBytes &m_target;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> m_file { nullptr, &std::fclose };
};

class LongValueStore
{
public:
    static constexpr std::size_t kDefaultMemoryLimit = 8u << 20;

    // The private folder is made lazily, with mode 0700, below `parent` (the system temporary
    // folder when empty), on the first value that outgrows `memoryLimit` bytes.
    explicit LongValueStore(
        std::size_t memoryLimit = kDefaultMemoryLimit, std::filesystem::path parent = {});
    ~LongValueStore(); // removes the folder and whatever is still in it
    LongValueStore(const LongValueStore &) = delete;
    LongValueStore &operator=(const LongValueStore &) = delete;

    std::size_t memoryLimit() const { return m_memoryLimit; }
    // The private folder, or empty while nothing has been spilled.
    const std::filesystem::path &folder() const { return m_folder; }

    // A fresh file path inside the private folder (making the folder on first use).
    common::Result<std::filesystem::path> newFilePath();

private:
    std::size_t m_memoryLimit;
    std::filesystem::path m_parent;
    std::filesystem::path m_folder;
    std::uint64_t m_nextFile = 0;
};

} // namespace innodb

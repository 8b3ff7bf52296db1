#include "innodb/long_value_store.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace innodb {

StoredBytes::StoredBytes(std::vector<std::uint8_t> bytes)
    : m_memory(std::move(bytes))
    , m_size(m_memory.size())
{
}

StoredBytes::StoredBytes(std::filesystem::path file, std::uint64_t size)
    : m_file(std::move(file))
    , m_size(size)
{
}

StoredBytes::~StoredBytes() { removeFile(); }

StoredBytes::StoredBytes(StoredBytes &&other) noexcept
    : m_memory(std::move(other.m_memory))
    , m_file(std::move(other.m_file))
    , m_size(other.m_size)
{
    other.m_file.clear();
    other.m_size = 0;
}

StoredBytes &StoredBytes::operator=(StoredBytes &&other) noexcept
{
    if (this != &other) {
        removeFile();
        m_memory = std::move(other.m_memory);
        m_file = std::move(other.m_file);
        m_size = other.m_size;
        other.m_file.clear();
        other.m_size = 0;
    }
    return *this;
}

void StoredBytes::removeFile() noexcept
{
    if (!m_file.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_file, ignored);
        m_file.clear();
    }
}

std::vector<std::uint8_t> &StoredBytes::resetToMemory()
{
    removeFile();
    m_memory.clear();
    m_size = 0;
    return m_memory;
}

void StoredBytes::assign(common::Bytes bytes)
{
    removeFile();
    m_memory.assign(bytes.begin(), bytes.end());
    m_size = m_memory.size();
}

common::Result<std::vector<std::uint8_t>> StoredBytes::readAll() const
{
    if (!spilled()) {
        return m_memory;
    }
    std::vector<std::uint8_t> all;
    all.reserve(static_cast<std::size_t>(m_size));
    auto status = forEachChunk([&all](common::Bytes piece) {
        all.insert(all.end(), piece.begin(), piece.end());
        return true;
    });
    if (!status.ok()) {
        return status.error();
    }
    return all;
}

common::Status StoredBytes::forEachChunk(
    const std::function<bool(common::Bytes)> &consumer, std::size_t chunkSize) const
{
    if (!spilled()) {
        for (std::size_t at = 0; at < m_memory.size(); at += chunkSize) {
            const std::size_t width = std::min(chunkSize, m_memory.size() - at);
            if (!consumer(common::Bytes(m_memory).subspan(at, width))) {
                break;
            }
        }
        return common::okStatus();
    }
    std::ifstream in(m_file, std::ios::binary);
    if (!in) {
        return common::ioError("cannot open spilled value", m_file.string());
    }
    std::vector<std::uint8_t> buffer(std::max<std::size_t>(chunkSize, 1));
    std::uint64_t left = m_size;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        in.read(reinterpret_cast<char *>(buffer.data()), static_cast<std::streamsize>(want));
        if (static_cast<std::size_t>(in.gcount()) != want) {
            return common::ioError("spilled value shorter than recorded", m_file.string());
        }
        left -= want;
        if (!consumer(common::Bytes(buffer.data(), want))) {
            break;
        }
    }
    return common::okStatus();
}

LongValueWriter::LongValueWriter(LongValueStore &store, StoredBytes &target)
    : m_store(store)
    , m_target(target)
{
    m_target.resetToMemory();
}

common::Status LongValueWriter::spill()
{
    auto path = m_store.newFilePath();
    if (!path.ok()) {
        return path.error();
    }
    m_file.reset(std::fopen(path->c_str(), "wb"));
    if (!m_file) {
        return common::ioError("cannot create spill file", path->string());
    }
    m_target.m_file = *path;
    if (!m_target.m_memory.empty()
        && std::fwrite(m_target.m_memory.data(), 1, m_target.m_memory.size(), m_file.get())
            != m_target.m_memory.size()) {
        return common::ioError("cannot write spilled value", path->string());
    }
    m_target.m_memory.clear();
    m_target.m_memory.shrink_to_fit();
    return common::okStatus();
}

common::Status LongValueWriter::append(common::Bytes piece)
{
    if (piece.empty()) {
        return common::okStatus();
    }
    if (!m_file && m_target.m_size + piece.size() > m_store.memoryLimit()) {
        if (auto status = spill(); !status.ok()) {
            return status;
        }
    }
    if (m_file) {
        // Flushed per piece, so that the file always holds what size() says.
        if (std::fwrite(piece.data(), 1, piece.size(), m_file.get()) != piece.size()
            || std::fflush(m_file.get()) != 0) {
            return common::ioError("cannot write spilled value", m_target.m_file.string());
        }
    } else {
        m_target.m_memory.insert(m_target.m_memory.end(), piece.begin(), piece.end());
    }
    m_target.m_size += piece.size();
    return common::okStatus();
}

LongValueStore::LongValueStore(std::size_t memoryLimit, std::filesystem::path parent)
    : m_memoryLimit(memoryLimit)
    , m_parent(std::move(parent))
{
}

LongValueStore::~LongValueStore()
{
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

common::Result<std::filesystem::path> LongValueStore::newFilePath()
{
    if (m_folder.empty()) {
        std::error_code error;
        auto parent = m_parent.empty() ? std::filesystem::temp_directory_path(error) : m_parent;
        if (error) {
            return common::ioError("no temporary folder", error.message());
        }
        // mkdtemp makes the folder with mode 0700 and a name no other process can have chosen.
        std::string pattern = (parent / "zarafa-repair-values-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            return common::ioError(
                std::string("cannot make private value folder: ") + std::strerror(errno),
                parent.string());
        }
        m_folder = pattern;
    }
    return m_folder / ("value-" + std::to_string(m_nextFile++) + ".bin");
}

} // namespace innodb

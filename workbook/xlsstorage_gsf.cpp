#include "xlsstorage.h"

#include "platform/replacingfile.h"

#include <gsf/gsf.h>

namespace kelvora {

namespace {

// libgsf's messages may name its temporary file beside the target; the reason after that
// name is what the user needs.
std::string Reason(const GError* error) {
    std::string message = error->message;
    const std::size_t colon = message.rfind(": ");
    if (message.find(".gsf-save-") != std::string::npos && colon != std::string::npos)
        message.erase(0, colon + 2);
    return message;
}

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

void Write32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// libgsf leaves the unused entries of the last directory sector all zero, which makes their
// sibling and child ids point at the root entry; a free entry's ids must say "no entry". Finds
// the directory through the header and the sector allocation table and sets them.
void MarkFreeDirectoryEntries(std::vector<std::uint8_t>& file) {
    constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
    constexpr std::uint32_t kLastRegularSector = 0xFFFFFFF9;
    constexpr std::size_t kEntrySize = 128;
    constexpr std::size_t kHeaderSectors = 109;
    if (file.size() < 512)
        return;
    const unsigned shift = file[0x1E] | file[0x1F] << 8;
    if (shift < 9 || shift > 12)
        return;
    const std::size_t sectorSize = std::size_t(1) << shift;
    auto sectorAt = [&](std::uint32_t sector) -> std::size_t {
        const std::size_t offset = (std::size_t(sector) + 1) * sectorSize;
        return sector <= kLastRegularSector && offset + sectorSize <= file.size() ? offset : 0;
    };
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = Read32(file, 0x2C);
    for (std::size_t i = 0; i < kHeaderSectors && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(Read32(file, 0x4C + 4 * i));
    for (std::uint32_t sector = Read32(file, 0x44);
         fatSectors.size() < fatCount && sectorAt(sector) != 0;
         sector = Read32(file, sectorAt(sector) + sectorSize - 4)) {
        for (std::size_t at = 0; at + 4 < sectorSize && fatSectors.size() < fatCount; at += 4)
            fatSectors.push_back(Read32(file, sectorAt(sector) + at));
    }
    const std::size_t perSector = sectorSize / 4;
    auto next = [&](std::uint32_t sector) -> std::uint32_t {
        const std::size_t index = sector / perSector;
        const std::size_t at = index < fatSectors.size() ? sectorAt(fatSectors[index]) : 0;
        return at != 0 ? Read32(file, at + 4 * (sector % perSector)) : kNoStream;
    };
    std::size_t steps = file.size() / sectorSize; // a looping chain ends here
    for (std::uint32_t sector = Read32(file, 0x30); sectorAt(sector) != 0 && steps-- > 0;
         sector = next(sector)) {
        const std::size_t start = sectorAt(sector);
        for (std::size_t entry = start; entry < start + sectorSize; entry += kEntrySize) {
            if (file[entry + 0x42] != 0)
                continue; // a storage or a stream
            Write32(file, entry + 0x44, kNoStream);
            Write32(file, entry + 0x48, kNoStream);
            Write32(file, entry + 0x4C, kNoStream);
        }
    }
}

} // namespace

TXLSStorageStream::TXLSStorageStream(GsfOutput* stream) : stream_(stream) {}

TXLSStorageStream::~TXLSStorageStream() {
    gsf_output_close(stream_);
    g_object_unref(stream_);
}

std::size_t TXLSStorageStream::Write(const void* data, std::size_t count) {
    if (count == 0)
        return 0;
    return gsf_output_write(stream_, count, static_cast<const guint8*>(data)) ? count : 0;
}

std::int64_t TXLSStorageStream::Tell() const {
    return gsf_output_tell(stream_);
}

TXLSStorage::TXLSStorage(std::unique_ptr<ReplacingFile> file)
    : sink_(gsf_output_memory_new()), root_(gsf_outfile_msole_new(sink_)), file_(std::move(file)) {}

// libgsf builds the compound file in memory; the file written from it replaces the target on
// commit.
std::unique_ptr<TXLSStorage> TXLSStorage::CreateAtPath(const std::string& path,
                                                       std::string& error) {
    auto file = std::make_unique<ReplacingFile>();
    if (!file->open(path, error))
        return nullptr;
    return std::unique_ptr<TXLSStorage>(new TXLSStorage(std::move(file)));
}

std::unique_ptr<TXLSStorage> TXLSStorage::CreateInMemory() {
    return std::unique_ptr<TXLSStorage>(new TXLSStorage(nullptr));
}

TXLSStorage::~TXLSStorage() {
    if (!closed_)
        Abort();
    g_object_unref(root_);
    g_object_unref(sink_);
}

std::unique_ptr<TXLSStorageStream> TXLSStorage::CreateStream(const std::string& name) {
    if (closed_)
        return nullptr;
    GsfOutput* stream = gsf_outfile_new_child(root_, name.c_str(), FALSE);
    if (stream == nullptr)
        return nullptr;
    return std::make_unique<TXLSStorageStream>(stream);
}

bool TXLSStorage::Close() {
    closed_ = true;
    // Closing the root writes the directory and closes the sink with it.
    bool done = gsf_output_close(GSF_OUTPUT(root_));
    if (!gsf_output_is_closed(sink_))
        done = gsf_output_close(sink_) && done;
    if (const GError* error = gsf_output_error(sink_); error && error_.empty())
        error_ = Reason(error);
    return done && gsf_output_error(sink_) == nullptr;
}

bool TXLSStorage::Commit() {
    if (closed_ || !Close()) {
        Abort();
        return false;
    }
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink_));
    bytes_.assign(data, data + gsf_output_size(sink_));
    MarkFreeDirectoryEntries(bytes_);
    if (file_) {
        std::string error;
        const std::string_view view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
        const bool written = file_->write(view, error) && file_->commit(error);
        bytes_ = {};
        if (!written) {
            error_ = error;
            return false;
        }
    }
    return true;
}

void TXLSStorage::Abort() {
    if (!closed_)
        Close();
    if (file_)
        file_->abandon();
}

} // namespace kelvora

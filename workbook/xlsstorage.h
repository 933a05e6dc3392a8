// Compound file storage behind the workbook writer: a root storage created at a path or in
// memory, the streams created in it, and the commit that completes the file. libgsf does the
// compound file format, on Windows the system's structured storage (ole32); nothing else of
// either is visible to the writer.
#pragma once

#include "xlsblob.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
struct ILockBytes;
struct IStorage;
struct IStream;
#else
typedef struct _GsfOutput GsfOutput;
typedef struct _GsfOutfile GsfOutfile;
#endif

namespace kelvora {

class ReplacingFile;

// The shortest "Workbook" stream: the size from which a compound file keeps a stream in
// regular sectors. Some readers take the zeros of a stream in the mini stream for records.
inline constexpr std::int64_t kLeastStreamLength = 4096;

// One stream of a compound file, open for writing from position 0.
class TXLSStorageStream : public TXLSOutputStream {
public:
#ifdef _WIN32
    explicit TXLSStorageStream(IStream* stream);
#else
    explicit TXLSStorageStream(GsfOutput* stream);
#endif
    ~TXLSStorageStream() override; // releases the stream
    TXLSStorageStream(const TXLSStorageStream&) = delete;
    TXLSStorageStream& operator=(const TXLSStorageStream&) = delete;

    // Writes all count bytes and returns count, or 0 when the write failed.
    std::size_t Write(const void* data, std::size_t count) override;
    // Bytes written so far.
    std::int64_t Tell() const;

private:
#ifdef _WIN32
    IStream* stream_;
#else
    GsfOutput* stream_;
#endif
};

// The root storage of a compound file being written. Nothing reaches the target until
// Commit succeeds: the file is built in memory, written to a temporary file beside the target
// and renamed over the target only on commit, so an aborted or failed save leaves an earlier
// file as it was.
class TXLSStorage {
public:
    // A new compound file that will replace path on commit; nullptr and a message on failure
    // (missing folder, no permission).
    static std::unique_ptr<TXLSStorage> CreateAtPath(const std::string& path, std::string& error);
    // A new compound file in memory, or nullptr; its bytes are available after Commit.
    static std::unique_ptr<TXLSStorage> CreateInMemory();

    ~TXLSStorage(); // aborts when not committed
    TXLSStorage(const TXLSStorage&) = delete;
    TXLSStorage& operator=(const TXLSStorage&) = delete;

    // A new empty stream in the root storage, or nullptr. Release it before Commit.
    std::unique_ptr<TXLSStorageStream> CreateStream(const std::string& name);
    // Completes the compound file (renames a file save over its target). False when the file
    // could not be completed; the target is then left as it was.
    bool Commit();
    // Gives up the compound file: a file save removes its temporary file, the target stays.
    void Abort();
    // Why writing failed, as the file system reported it; empty when it did not say.
    const std::string& ErrorMessage() const { return error_; }
    // The complete compound file of an in-memory storage after Commit; empty otherwise.
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
#ifdef _WIN32
    TXLSStorage(IStorage* root, ILockBytes* memory, std::wstring temporary, std::wstring target);

    IStorage* root_;
    ILockBytes* memory_;     // the bytes of an in-memory storage; null for a file
    std::wstring temporary_; // the file being written beside the target
    std::wstring target_;
#else
    explicit TXLSStorage(std::unique_ptr<ReplacingFile> file);
    bool Close();

    GsfOutput* sink_;
    GsfOutfile* root_;
    std::unique_ptr<ReplacingFile> file_; // null for an in-memory storage
#endif
    bool closed_ = false;
    std::string error_;
    std::vector<std::uint8_t> bytes_;
};

} // namespace kelvora

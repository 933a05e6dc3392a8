// The compound file through the structured storage of Windows (ole32). A file save creates the
// compound file under a new name beside the target and moves it over the target on commit.
#include "xlsstorage.h"

#include "cfbdirectory.h"
#include "platform/windows.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <objbase.h>
#include <windows.h>

namespace kelvora {

namespace {

// Root storage: create, read and write, exclusive, direct. A file save's temporary name must
// not exist yet, so it is created without the "replace" flag.
constexpr DWORD kRootMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kTemporaryRootMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kStreamMode = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;

// Structured storage's own errors carry the system error they stand for in their low word.
std::string Reason(HRESULT result) {
    if (HRESULT_FACILITY(result) == FACILITY_STORAGE || HRESULT_FACILITY(result) == FACILITY_WIN32)
        return windows::systemMessage(HRESULT_CODE(result));
    return windows::systemMessage(static_cast<unsigned long>(result));
}

std::string LastError() {
    return windows::systemMessage(::GetLastError());
}

// Marks the free directory entries of the finished file at path (see cfbdirectory.h); false
// when it could not be read or written back.
bool MarkFreeEntriesInFile(const std::wstring& path) {
    const std::filesystem::path file(path);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    in.close();
    const std::vector<std::uint8_t> written = bytes;
    MarkFreeDirectoryEntries(bytes);
    if (bytes == written)
        return true;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

} // namespace

TXLSStorageStream::TXLSStorageStream(IStream* stream) : stream_(stream) {}

TXLSStorageStream::~TXLSStorageStream() {
    stream_->Release();
}

std::size_t TXLSStorageStream::Write(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<ULONG>(std::min<std::size_t>(count - done, 1u << 30));
        ULONG written = 0;
        if (FAILED(stream_->Write(bytes + done, chunk, &written)) || written != chunk)
            return 0;
        done += chunk;
    }
    return count;
}

std::int64_t TXLSStorageStream::Tell() const {
    ULARGE_INTEGER position{};
    if (FAILED(stream_->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position)))
        return -1;
    return static_cast<std::int64_t>(position.QuadPart);
}

TXLSStorage::TXLSStorage(IStorage* root, ILockBytes* memory, std::wstring temporary,
                         std::wstring target)
    : root_(root), memory_(memory), temporary_(std::move(temporary)), target_(std::move(target)) {}

std::unique_ptr<TXLSStorage> TXLSStorage::CreateAtPath(const std::string& path,
                                                       std::string& error) {
    const std::wstring target = windows::widen(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        error = windows::systemMessage(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // A name nobody else uses: the process id and a counter, tried until one is free.
    static unsigned counter = 0;
    HRESULT result = STG_E_FILEALREADYEXISTS;
    for (int tries = 0; tries < 100 && result == STG_E_FILEALREADYEXISTS; ++tries) {
        const std::wstring temporary = target + L"." + std::to_wstring(::GetCurrentProcessId()) +
                                       L"-" + std::to_wstring(++counter) + L".tmp";
        IStorage* root = nullptr;
        result =
            ::StgCreateStorageEx(temporary.c_str(), kTemporaryRootMode, STGFMT_DOCFILE, 0, nullptr,
                                 nullptr, IID_IStorage, reinterpret_cast<void**>(&root));
        if (SUCCEEDED(result))
            return std::unique_ptr<TXLSStorage>(new TXLSStorage(root, nullptr, temporary, target));
    }
    error = Reason(result);
    return nullptr;
}

std::unique_ptr<TXLSStorage> TXLSStorage::CreateInMemory() {
    ILockBytes* memory = nullptr;
    if (FAILED(::CreateILockBytesOnHGlobal(nullptr, TRUE, &memory)))
        return nullptr;
    IStorage* root = nullptr;
    if (FAILED(::StgCreateDocfileOnILockBytes(memory, kRootMode, 0, &root))) {
        memory->Release();
        return nullptr;
    }
    return std::unique_ptr<TXLSStorage>(new TXLSStorage(root, memory, {}, {}));
}

TXLSStorage::~TXLSStorage() {
    if (!closed_)
        Abort();
}

std::unique_ptr<TXLSStorageStream> TXLSStorage::CreateStream(const std::string& name) {
    if (closed_)
        return nullptr;
    IStream* stream = nullptr;
    if (FAILED(root_->CreateStream(windows::widen(name).c_str(), kStreamMode, 0, 0, &stream)))
        return nullptr;
    // The workbook stream is never shorter than the mini stream's cutoff (its end is padded).
    // Given that length at once, it goes straight to whole sectors: a stream that grows out of
    // the mini stream leaves the mini stream behind, allocated and unused, which FreeXL takes
    // for a file without a workbook.
    ULARGE_INTEGER least{};
    least.QuadPart = kLeastStreamLength;
    if (FAILED(stream->SetSize(least))) {
        stream->Release();
        return nullptr;
    }
    return std::make_unique<TXLSStorageStream>(stream);
}

bool TXLSStorage::Commit() {
    if (closed_)
        return false;
    if (const HRESULT result = root_->Commit(STGC_DEFAULT); FAILED(result)) {
        error_ = Reason(result);
        Abort();
        return false;
    }
    if (memory_ != nullptr) {
        STATSTG info{};
        HGLOBAL global = nullptr;
        bool read = SUCCEEDED(memory_->Flush()) &&
                    SUCCEEDED(memory_->Stat(&info, STATFLAG_NONAME)) &&
                    SUCCEEDED(::GetHGlobalFromILockBytes(memory_, &global));
        if (read) {
            const auto* data = static_cast<const std::uint8_t*>(::GlobalLock(global));
            read = data != nullptr && info.cbSize.QuadPart <= ::GlobalSize(global);
            if (read) {
                bytes_.assign(data, data + info.cbSize.QuadPart);
                MarkFreeDirectoryEntries(bytes_);
            }
            ::GlobalUnlock(global);
        }
        root_->Release();
        memory_->Release();
        closed_ = true;
        return read;
    }
    // Releasing the root storage closes the file; only then can it be mended and moved.
    root_->Release();
    closed_ = true;
    if (!MarkFreeEntriesInFile(temporary_)) {
        error_ = "the compound file could not be read back";
        ::DeleteFileW(temporary_.c_str());
        return false;
    }
    if (!::MoveFileExW(temporary_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error_ = LastError();
        ::DeleteFileW(temporary_.c_str());
        return false;
    }
    return true;
}

void TXLSStorage::Abort() {
    if (closed_)
        return;
    root_->Release();
    if (memory_ != nullptr)
        memory_->Release();
    else
        ::DeleteFileW(temporary_.c_str());
    closed_ = true;
}

} // namespace kelvora

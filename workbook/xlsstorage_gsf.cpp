#include "xlsstorage.h"

#include "cfbdirectory.h"
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

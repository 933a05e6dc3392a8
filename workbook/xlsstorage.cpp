#include "xlsstorage.h"

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

TXLSStorage::TXLSStorage(GsfOutput* sink, GsfOutfile* root, bool inMemory)
    : sink_(sink), root_(root), inMemory_(inMemory) {}

std::unique_ptr<TXLSStorage> TXLSStorage::CreateAtPath(const std::string& path,
                                                       std::string& error) {
    GError* gerror = nullptr;
    // libgsf writes a temporary file beside path and renames it over path on a clean close.
    GsfOutput* sink = gsf_output_stdio_new(path.c_str(), &gerror);
    if (sink == nullptr) {
        error = gerror != nullptr ? Reason(gerror) : "cannot create " + path;
        if (gerror != nullptr)
            g_error_free(gerror);
        return nullptr;
    }
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    return std::unique_ptr<TXLSStorage>(new TXLSStorage(sink, root, false));
}

std::unique_ptr<TXLSStorage> TXLSStorage::CreateInMemory() {
    GsfOutput* sink = gsf_output_memory_new();
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    return std::unique_ptr<TXLSStorage>(new TXLSStorage(sink, root, true));
}

TXLSStorage::~TXLSStorage() {
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

bool TXLSStorage::Close(bool keep) {
    closed_ = true;
    if (const GError* error = gsf_output_error(sink_))
        error_ = Reason(error);
    if (!keep) {
        // With an error on the sink, its close removes the temporary file instead of
        // renaming it over the target.
        gsf_output_set_error(sink_, 0, "save abandoned");
    }
    // Closing the root writes the directory and closes the sink with it.
    bool done = gsf_output_close(GSF_OUTPUT(root_));
    if (!gsf_output_is_closed(sink_))
        done = gsf_output_close(sink_) && done;
    if (const GError* error = gsf_output_error(sink_); keep && error && error_.empty())
        error_ = Reason(error);
    return done && gsf_output_error(sink_) == nullptr;
}

bool TXLSStorage::Commit() {
    if (closed_ || !Close(true))
        return false;
    if (inMemory_) {
        GsfOutputMemory* memory = GSF_OUTPUT_MEMORY(sink_);
        const guint8* data = gsf_output_memory_get_bytes(memory);
        bytes_.assign(data, data + gsf_output_size(sink_));
    }
    return true;
}

void TXLSStorage::Abort() {
    if (!closed_)
        Close(false);
}

} // namespace kelvora

// The compound file storage under a path, whichever implementation the platform uses (libgsf,
// or the structured storage of Windows): what reaches the target, what is left beside it.
#include "workbook/xlsstorage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <unistd.h>
#endif

using namespace kelvora;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

class StorageTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        do {
            folder_ = fs::temp_directory_path() / ("kelvora-storage-" + std::to_string(random()));
        } while (!fs::create_directory(folder_));
    }
    void TearDown() override {
        std::error_code error;
        fs::permissions(target(), fs::perms::owner_all, error);
        fs::remove_all(folder_, error);
    }

    // UTF-8, as the program names files; not ASCII, so that Windows needs its wide calls.
    std::string target() const {
        const std::u8string name = (folder_ / u8"Stückliste 図.xls").generic_u8string();
        return std::string(name.begin(), name.end());
    }
    std::string read() const {
        std::ifstream in(folder_ / u8"Stückliste 図.xls", std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    std::size_t filesBeside() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    // A storage with one stream "Workbook" holding data, released; false on any failure.
    static bool fill(TXLSStorage& storage, const std::string& data) {
        std::unique_ptr<TXLSStorageStream> stream = storage.CreateStream("Workbook");
        return stream && stream->Write(data.data(), data.size()) == data.size() &&
               stream->Tell() == static_cast<std::int64_t>(data.size());
    }

    fs::path folder_;
};

// Past the mini stream (4096 bytes), in whole sectors of 512: each sector of the stream shows
// in the file as it was written.
std::string streamData(char seed) {
    std::string data(6 * 512, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(seed + i * 7 + i / 512);
    }
    return data;
}

bool holdsEverySector(const std::string& file, const std::string& data) {
    for (std::size_t at = 0; at < data.size(); at += 512) {
        if (file.find(data.substr(at, 512)) == std::string::npos) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_F(StorageTest, CommitPutsTheFileInPlaceAndReplacesAnEarlierOne) {
    for (const char seed : {'a', 'b'}) {
        std::string error;
        std::unique_ptr<TXLSStorage> storage = TXLSStorage::CreateAtPath(target(), error);
        ASSERT_TRUE(storage) << error;
        ASSERT_TRUE(fill(*storage, streamData(seed)));
        ASSERT_TRUE(storage->Commit()) << storage->ErrorMessage();
        const std::string file = read();
        EXPECT_TRUE(file.starts_with(kSignature));
        EXPECT_EQ(file.size() % 512, 0u);
        EXPECT_TRUE(holdsEverySector(file, streamData(seed)));
        EXPECT_EQ(filesBeside(), 1u); // no temporary file left
    }
}

TEST_F(StorageTest, AbortAndRefusalsLeaveTheEarlierFile) {
    std::string error;
    std::unique_ptr<TXLSStorage> first = TXLSStorage::CreateAtPath(target(), error);
    ASSERT_TRUE(first && fill(*first, streamData('a')) && first->Commit());
    const std::string earlier = read();

    std::unique_ptr<TXLSStorage> aborted = TXLSStorage::CreateAtPath(target(), error);
    ASSERT_TRUE(aborted && fill(*aborted, streamData('b')));
    aborted->Abort();
    EXPECT_FALSE(aborted->Commit());
    aborted.reset();
    EXPECT_EQ(read(), earlier);
    EXPECT_EQ(filesBeside(), 1u);

    // A missing folder and a read-only target are refused with a reason.
    EXPECT_FALSE(TXLSStorage::CreateAtPath(target() + ".missing/x.xls", error));
    EXPECT_FALSE(error.empty());
#ifndef _WIN32
    if (::geteuid() == 0) {
        return; // permissions do not bind the super-user
    }
#endif
    fs::permissions(folder_ / u8"Stückliste 図.xls", fs::perms::owner_read);
    error.clear();
    EXPECT_FALSE(TXLSStorage::CreateAtPath(target(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(read(), earlier);
}

TEST_F(StorageTest, InMemoryTheBytesComeAfterCommit) {
    std::unique_ptr<TXLSStorage> storage = TXLSStorage::CreateInMemory();
    ASSERT_TRUE(storage && fill(*storage, streamData('c')));
    EXPECT_TRUE(storage->Bytes().empty());
    ASSERT_TRUE(storage->Commit());
    const std::string file(storage->Bytes().begin(), storage->Bytes().end());
    EXPECT_TRUE(file.starts_with(kSignature));
    EXPECT_TRUE(holdsEverySector(file, streamData('c')));
    EXPECT_EQ(filesBeside(), 0u);
}

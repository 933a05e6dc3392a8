#include "record_walker.h"

#include <sstream>

namespace kelvora::test {

Bytes BlobBytes(const TXLSBlob& blob) {
    return Bytes(blob.Data(), blob.Data() + blob.Length());
}

Bytes ListBytes(const TXLSBlobList& list) {
    Bytes bytes;
    for (std::int32_t i = 0; i < list.Count(); ++i) {
        const Bytes chunk = BlobBytes(*list.Item(i));
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    }
    return bytes;
}

Bytes Hex(const std::string& text) {
    Bytes bytes;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

Bytes Wide(const std::string& text) {
    Bytes bytes;
    for (char c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

namespace {

std::uint16_t Word(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t Dword(const Bytes& b, std::size_t at) {
    return Word(b, at) | static_cast<std::uint32_t>(Word(b, at + 2)) << 16;
}

} // namespace

::testing::AssertionResult WalkRecords(const Bytes& bytes, std::vector<Record>& records) {
    records.clear();
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (at + 4 > bytes.size())
            return ::testing::AssertionFailure() << "truncated header at " << at;
        Record r;
        r.type = Word(bytes, at);
        r.offset = static_cast<std::uint32_t>(at);
        const std::size_t length = Word(bytes, at + 2);
        if (length > kMaxRecordData)
            return ::testing::AssertionFailure() << "record at " << at << " has " << length;
        if (at + 4 + length > bytes.size())
            return ::testing::AssertionFailure() << "data of record at " << at << " cut short";
        r.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + 4 + length));
        records.push_back(std::move(r));
        at += 4 + length;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WalkSst(const Bytes& bytes, std::uint32_t streamOffset,
                                   SstContents& sst) {
    sst = SstContents{};
    std::vector<Record> records;
    if (auto framed = WalkRecords(bytes, records); !framed)
        return framed;
    if (records.empty() || records[0].type != 0x00FC || records[0].data.size() < 8)
        return ::testing::AssertionFailure() << "no SST record first";
    std::size_t r = 0;
    sst.total = Dword(records[0].data, 0);
    sst.unique = Dword(records[0].data, 4);
    std::size_t pos = 8;
    bool wide = false; // the form of the piece being read
    const auto next = [&](bool continued) -> ::testing::AssertionResult {
        if (pos != records[r].data.size())
            return ::testing::AssertionFailure() << "record " << r << " has bytes left over";
        if (++r >= records.size() || records[r].type != kContinueRecordType)
            return ::testing::AssertionFailure() << "missing CONTINUE after record " << r - 1;
        pos = 0;
        if (continued) {
            if (records[r].data.empty() || records[r].data[0] > 0x01)
                return ::testing::AssertionFailure() << "continued text without option byte";
            wide = records[r].data[0] == 0x01;
            pos = 1;
        }
        return ::testing::AssertionSuccess();
    };
    for (std::uint32_t t = 0; t < sst.unique; ++t) {
        if (pos == records[r].data.size())
            if (auto ok = next(false); !ok)
                return ok;
        if (pos + 3 > records[r].data.size())
            return ::testing::AssertionFailure() << "text " << t << " header split";
        sst.starts.push_back(
            {streamOffset + records[r].offset + 4 + static_cast<std::uint32_t>(pos),
             static_cast<std::uint16_t>(4 + pos)});
        std::size_t cch = Word(records[r].data, pos);
        if (records[r].data[pos + 2] > 0x01)
            return ::testing::AssertionFailure() << "text " << t << " option byte not 00 or 01";
        wide = records[r].data[pos + 2] == 0x01;
        sst.compressed.push_back(!wide);
        pos += 3;
        std::u16string text;
        while (cch > 0) {
            const std::size_t unit = wide ? 2 : 1;
            const std::size_t fit = std::min(cch, (records[r].data.size() - pos) / unit);
            for (std::size_t i = 0; i < fit; ++i, pos += unit)
                text.push_back(wide ? static_cast<char16_t>(Word(records[r].data, pos))
                                    : static_cast<char16_t>(records[r].data[pos]));
            cch -= fit;
            if (cch > 0)
                if (auto ok = next(true); !ok)
                    return ok;
        }
        sst.texts.push_back(std::move(text));
    }
    if (pos != records[r].data.size())
        return ::testing::AssertionFailure() << "bytes after the last text";
    sst.sstRecords = ++r;
    if (r >= records.size() || records[r].type != 0x00FF || records[r].data.size() < 2)
        return ::testing::AssertionFailure() << "no EXTSST after the SST";
    if (Word(records[r].data, 0) != 8)
        return ::testing::AssertionFailure() << "dsst is not 8";
    pos = 2;
    for (; r < records.size(); ++r, pos = 0) {
        if (r > sst.sstRecords && records[r].type != kContinueRecordType)
            return ::testing::AssertionFailure() << "record " << r << " after EXTSST";
        if ((records[r].data.size() - pos) % 8 != 0)
            return ::testing::AssertionFailure() << "EXTSST record " << r << " cuts an entry";
        for (; pos < records[r].data.size(); pos += 8) {
            if (Word(records[r].data, pos + 6) != 0)
                return ::testing::AssertionFailure() << "reserved EXTSST bytes not 0";
            sst.extEntries.push_back({Dword(records[r].data, pos), Word(records[r].data, pos + 4)});
        }
    }
    sst.extRecords = records.size() - sst.sstRecords;
    if (sst.extEntries.size() != (sst.unique + 7) / 8)
        return ::testing::AssertionFailure()
               << sst.extEntries.size() << " EXTSST entries for " << sst.unique << " texts";
    for (std::size_t e = 0; e < sst.extEntries.size(); ++e)
        if (!(sst.extEntries[e] == sst.starts[8 * e]))
            return ::testing::AssertionFailure()
                   << "EXTSST entry " << e << " points at " << sst.extEntries[e].stream << "/"
                   << sst.extEntries[e].inRecord << ", text at " << sst.starts[8 * e].stream << "/"
                   << sst.starts[8 * e].inRecord;
    return ::testing::AssertionSuccess();
}

} // namespace kelvora::test

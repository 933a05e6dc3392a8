// The workbook globals, the "Workbook" stream and saving into a compound file.
#include "workbook.h"
#include "xlsrecord.h"
#include "xlsstorage.h"

namespace kelvora {

namespace {

// BIFF8 globals record types.
constexpr std::uint16_t kCodePageType = 0x0042;
constexpr std::uint16_t kDsfType = 0x0161;
constexpr std::uint16_t kWindow1Type = 0x003D;
constexpr std::uint16_t kBackupType = 0x0040;
constexpr std::uint16_t kDateModeType = 0x0022;
constexpr std::uint16_t kPrecisionType = 0x000E;
constexpr std::uint16_t kRefModeType = 0x000F;
constexpr std::uint16_t kFnGroupCountType = 0x009C;
constexpr std::uint16_t kBookBoolType = 0x00DA;
constexpr std::uint16_t kCountryType = 0x008C;
constexpr std::uint16_t kRecalcIdType = 0x01C1;
constexpr std::uint16_t kSupBookType = 0x01AE;
constexpr std::uint16_t kExternSheetType = 0x0017;

constexpr std::uint16_t kBiffVersion = 0x0600;
// The stream is padded with zeros to a multiple of the sector size, and to at least
// kLeastStreamLength (xlsstorage.h).
constexpr std::uint32_t kStreamAlignment = 512;
const char* const kWorkbookStreamName = "Workbook";

class GlobalsWriter {
public:
    explicit GlobalsWriter(TXLSWorkbook& workbook) : workbook_(workbook) {}

    std::int32_t Build(TXLSStorage& storage) {
        IXLSWorkSheets& sheets = workbook_.Worksheets();
        if (sheets.Count() == 0)
            sheets.Add();
        workbook_.Strings().SetMaxRecordData(kMaxRecordData);
        std::uint16_t selected = 0;
        for (std::int32_t i = 1; i <= sheets.Count(); ++i) {
            IXLSWorksheet& sheet = *sheets.Item(i);
            sheet.records = std::make_unique<TXLSSheetRecords>();
            if (sheet.Selected())
                ++selected;
        }
        workbook_.XFs().PrepareForSave();
        workbook_.Strings().AssignSstIndexes();
        for (std::int32_t i = 1; i <= sheets.Count(); ++i) {
            WriteCells(*sheets.Item(i));
            WriteSheetRecords(*sheets.Item(i));
        }
        Part1(selected);
        Part2();
        AssignSheetOffsets();
        for (std::int32_t i = 1; i <= sheets.Count(); ++i)
            AddRecord(part1_, BoundSheet(*sheets.Item(i)), offset_);
        const std::int32_t result = WriteWorkbookStream(storage);
        for (std::int32_t i = 1; i <= sheets.Count(); ++i)
            sheets.Item(i)->records.reset();
        return result;
    }

private:
    void Add1(TXLSBlobPtr record) { AddRecord(part1_, std::move(record), offset_); }

    void Part1(std::uint16_t selectedSheets) {
        auto bof = NewRecord(kBofRecordType, 16);
        bof->AddWord(kBiffVersion);
        bof->AddWord(0x0005); // workbook globals
        bof->AddWord(0x18AF); // build
        bof->AddWord(0x07CD); // year
        bof->AddDword(0x000080C9);
        bof->AddDword(0x00000106);
        Add1(std::move(bof));
        Add1(WordRecord(kCodePageType, 1200)); // UTF-16
        Add1(WordRecord(kDsfType, 0));
        auto window1 = NewRecord(kWindow1Type, 18);
        window1->AddWord(0);
        window1->AddWord(0);
        window1->AddWord(9660);   // width
        window1->AddWord(5490);   // height
        window1->AddWord(0x0038); // scroll bars and sheet tabs shown
        const IXLSWorksheet* active = workbook_.Worksheets().Active();
        window1->AddWord(static_cast<std::uint16_t>(active ? active->Position() - 1 : 0));
        window1->AddWord(0); // first visible tab
        window1->AddWord(selectedSheets);
        window1->AddWord(600); // tab ratio
        Add1(std::move(window1));
        Add1(WordRecord(kBackupType, 0));
        Add1(WordRecord(kDateModeType, workbook_.dateSystem));
        Add1(WordRecord(kPrecisionType, 1));
        Add1(WordRecord(kRefModeType, workbook_.referenceMode));
        Add1(WordRecord(kFnGroupCountType, 14));
        Add1(WordRecord(kBookBoolType, 0));
        TXLSXFList& xfs = workbook_.XFs();
        for (std::int32_t i = 0; i < xfs.FontRecordCount(); ++i)
            Add1(xfs.FontRecord(i));
        for (std::int32_t i = 0; i < xfs.NextFormatIndex(); ++i)
            Add1(xfs.FormatRecord(i));
        for (std::int32_t i = 0; i < xfs.XfRecordCount(); ++i)
            Add1(xfs.XfRecord(i));
        for (std::int32_t i = 0; i < xfs.StyleCount(); ++i)
            Add1(xfs.StyleRecord(i));
        Add1(workbook_.Palette().PaletteRecord());
        auto country = NewRecord(kCountryType, 4);
        country->AddWord(1);
        country->AddWord(1);
        Add1(std::move(country));
        auto recalcId = NewRecord(kRecalcIdType, 8);
        recalcId->AddDword(0x000001C1);
        recalcId->AddDword(0x00FFFFFF);
        Add1(std::move(recalcId));
        workbook_.Strings().WriteSst(part1_, offset_);
    }

    void Part2() {
        auto supBook = NewRecord(kSupBookType, 4);
        supBook->AddWord(static_cast<std::uint16_t>(workbook_.Worksheets().Count()));
        supBook->AddWord(0x0401); // the workbook's own sheets
        part2_.AppendBlob(std::move(supBook));
        // No formula refers to a sheet: no entries.
        AddRecord(part2_, WordRecord(kExternSheetType, 0), offset_);
        // No drawing group: a workbook without shapes needs none.
        AddRecord(part2_, NewRecord(kEofRecordType, 0), offset_);
    }

    // Sheets follow the globals, BOUNDSHEET records included, one after the other.
    void AssignSheetOffsets() {
        IXLSWorkSheets& sheets = workbook_.Worksheets();
        std::int32_t position = part1_.Total() + part2_.Total();
        for (std::int32_t i = 1; i <= sheets.Count(); ++i)
            position += 12 + 2 * static_cast<std::int32_t>(sheets.Item(i)->Name().size());
        for (std::int32_t i = 1; i <= sheets.Count(); ++i) {
            TXLSSheetRecords& records = *sheets.Item(i)->records;
            records.offset = position;
            position += records.byteCount;
        }
        streamLength_ = position;
    }

    static TXLSBlobPtr BoundSheet(const IXLSWorksheet& sheet) {
        const auto cch = static_cast<std::uint8_t>(sheet.Name().size());
        auto record = NewRecord(kBoundSheetRecordType, static_cast<std::uint16_t>(8 + 2 * cch));
        record->AddDword(static_cast<std::uint32_t>(sheet.records->offset));
        record->AddByte(0); // visible
        record->AddByte(0); // worksheet
        record->AddByte(cch);
        record->AddByte(1); // UTF-16LE
        record->AddWideText(sheet.Name());
        return record;
    }

    std::int32_t WriteWorkbookStream(TXLSStorage& storage) {
        std::unique_ptr<TXLSStorageStream> stream = storage.CreateStream(kWorkbookStreamName);
        if (!stream)
            return -1;
        std::int32_t result = part1_.WriteTo(*stream);
        if (result == 1)
            result = part2_.WriteTo(*stream);
        IXLSWorkSheets& sheets = workbook_.Worksheets();
        for (std::int32_t i = 1; i <= sheets.Count() && result == 1; ++i) {
            const TXLSSheetRecords& records = *sheets.Item(i)->records;
            result = records.header.WriteTo(*stream);
            if (result == 1)
                result = records.cells.WriteTo(*stream);
            if (result == 1)
                result = records.trailer.WriteTo(*stream);
        }
        if (result == 1 && stream->Tell() != streamLength_)
            result = -1;
        const std::int64_t length = stream->Tell();
        const auto padding = static_cast<std::size_t>(
            std::max(kLeastStreamLength,
                     (length + kStreamAlignment - 1) / kStreamAlignment * kStreamAlignment) -
            length);
        if (result == 1 && padding > 0) {
            const std::vector<std::uint8_t> zeros(padding, 0);
            if (stream->Write(zeros.data(), padding) != padding)
                result = -1;
        }
        return result;
    }

    TXLSWorkbook& workbook_;
    TXLSBlobList part1_;
    TXLSBlobList part2_;
    std::int32_t offset_ = 0; // bytes added to the globals through AddRecord
    std::int64_t streamLength_ = 0;
};

bool IsBlankName(const std::string& name) {
    for (unsigned char c : name)
        if (c > 32)
            return false;
    return true;
}

} // namespace

std::int32_t BuildWorkbookStream(TXLSWorkbook& workbook, TXLSStorage& storage) {
    return GlobalsWriter(workbook).Build(storage);
}

std::int32_t SaveWorkbook(TXLSWorkbook& workbook, const std::string& fileName,
                          TXLSOutputStream* stream, std::string* errorMessage) {
    auto fail = [&](std::int32_t code, const std::string& message) {
        if (errorMessage != nullptr)
            *errorMessage = message;
        return code;
    };
    std::unique_ptr<TXLSStorage> storage;
    if (stream != nullptr) {
        storage = TXLSStorage::CreateInMemory();
        if (!storage)
            return fail(kSaveNoMemoryFile, "the compound file could not be created in memory");
    } else {
        if (IsBlankName(fileName))
            return fail(kSaveBlankName, "no file name");
        std::string error;
        storage = TXLSStorage::CreateAtPath(fileName, error);
        if (!storage)
            return fail(kSaveCannotCreate, error);
    }
    auto withReason = [&](std::string message) {
        if (!storage->ErrorMessage().empty())
            message += " (" + storage->ErrorMessage() + ")";
        return message;
    };
    if (BuildWorkbookStream(workbook, *storage) != 1) {
        storage->Abort();
        return fail(kSaveWriteFailed, withReason("the workbook stream could not be written"));
    }
    if (!storage->Commit())
        return fail(kSaveWriteFailed, withReason("the compound file could not be completed"));
    if (stream != nullptr) {
        const std::vector<std::uint8_t>& bytes = storage->Bytes();
        if (stream->Write(bytes.data(), bytes.size()) != bytes.size())
            return fail(kSaveWriteFailed, "the output stream did not take every byte");
    }
    return kSaveOk;
}

} // namespace kelvora

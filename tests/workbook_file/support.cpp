#include "support.h"

#include <gsf/gsf.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvora::test {

namespace {

class MemorySink : public TXLSOutputStream {
public:
    explicit MemorySink(Bytes& out) : out_(out) {}
    std::size_t Write(const void* data, std::size_t count) override {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        out_.insert(out_.end(), bytes, bytes + count);
        return count;
    }

private:
    Bytes& out_;
};

const std::map<std::uint16_t, std::string>& RecordNames() {
    static const std::map<std::uint16_t, std::string> names = {{0x0809, "BOF"},
                                                               {0x000A, "EOF"},
                                                               {0x0042, "CODEPAGE"},
                                                               {0x0161, "DSF"},
                                                               {0x003D, "WINDOW1"},
                                                               {0x0040, "BACKUP"},
                                                               {0x0022, "DATEMODE"},
                                                               {0x000E, "PRECISION"},
                                                               {0x000F, "REFMODE"},
                                                               {0x009C, "FNGROUPCOUNT"},
                                                               {0x00DA, "BOOKBOOL"},
                                                               {0x0031, "FONT"},
                                                               {0x041E, "FORMAT"},
                                                               {0x00E0, "XF"},
                                                               {0x0293, "STYLE"},
                                                               {0x0092, "PALETTE"},
                                                               {0x008C, "COUNTRY"},
                                                               {0x01C1, "RECALCID"},
                                                               {0x00FC, "SST"},
                                                               {0x00FF, "EXTSST"},
                                                               {0x003C, "CONTINUE"},
                                                               {0x0085, "BOUNDSHEET"},
                                                               {0x01AE, "SUPBOOK"},
                                                               {0x0017, "EXTERNSHEET"},
                                                               {0x00EB, "MSODRAWINGGROUP"},
                                                               {0x020B, "INDEX"},
                                                               {0x000D, "CALCMODE"},
                                                               {0x000C, "CALCCOUNT"},
                                                               {0x0011, "ITERATION"},
                                                               {0x0010, "DELTA"},
                                                               {0x005F, "SAVERECALC"},
                                                               {0x0055, "DEFCOLWIDTH"},
                                                               {0x007D, "COLINFO"},
                                                               {0x0225, "DEFAULTROWHEIGHT"},
                                                               {0x0208, "ROW"},
                                                               {0x002A, "PRINTHEADERS"},
                                                               {0x002B, "PRINTGRIDLINES"},
                                                               {0x0082, "GRIDSET"},
                                                               {0x0080, "GUTS"},
                                                               {0x0081, "WSBOOL"},
                                                               {0x00A1, "SETUP"},
                                                               {0x0200, "DIMENSIONS"},
                                                               {0x0029, "BOTTOMMARGIN"},
                                                               {0x0028, "TOPMARGIN"},
                                                               {0x0027, "RIGHTMARGIN"},
                                                               {0x0026, "LEFTMARGIN"},
                                                               {0x0084, "VCENTER"},
                                                               {0x0083, "HCENTER"},
                                                               {0x0015, "FOOTER"},
                                                               {0x0014, "HEADER"},
                                                               {0x023E, "WINDOW2"},
                                                               {0x001D, "SELECTION"},
                                                               {0x0099, "STANDARDWIDTH"},
                                                               {0x00FD, "LABELSST"},
                                                               {0x0201, "BLANK"},
                                                               {0x0203, "NUMBER"},
                                                               {0x027E, "RK"},
                                                               {0x00BD, "MULRK"},
                                                               {0x0205, "BOOLERR"}};
    return names;
}

} // namespace

Bytes SaveToMemory(TXLSWorkbook& workbook) {
    Bytes out;
    MemorySink sink(out);
    if (workbook.SaveToStream(sink) != 1)
        out.clear();
    return out;
}

bool ReadCompoundFile(const Bytes& file, std::vector<std::string>& names, Bytes& workbookStream) {
    GsfInput* input = gsf_input_memory_new(file.data(), file.size(), FALSE);
    GsfInfile* root = gsf_infile_msole_new(input, nullptr);
    g_object_unref(input);
    if (root == nullptr)
        return false;
    names.clear();
    for (int i = 0; i < gsf_infile_num_children(root); ++i)
        names.emplace_back(gsf_infile_name_by_index(root, i));
    GsfInput* stream = gsf_infile_child_by_name(root, "Workbook");
    if (stream != nullptr) {
        workbookStream.resize(gsf_input_size(stream));
        gsf_input_read(stream, workbookStream.size(), workbookStream.data());
        g_object_unref(stream);
    }
    g_object_unref(root);
    return true;
}

Bytes WorkbookStream(TXLSWorkbook& workbook) {
    std::vector<std::string> names;
    Bytes stream;
    ReadCompoundFile(SaveToMemory(workbook), names, stream);
    return stream;
}

std::vector<Record> WalkRecords(const Bytes& stream, std::size_t from, std::size_t to) {
    if (to == 0)
        to = stream.size();
    std::vector<Record> records;
    std::size_t pos = from;
    while (pos + 4 <= to) {
        const std::uint16_t type = stream[pos] | stream[pos + 1] << 8;
        const std::uint16_t length = stream[pos + 2] | stream[pos + 3] << 8;
        if (type == 0 || pos + 4 + length > to)
            break;
        records.push_back(
            Record{type, static_cast<std::uint32_t>(pos),
                   Bytes(stream.begin() + pos + 4, stream.begin() + pos + 4 + length)});
        pos += 4 + length;
    }
    return records;
}

Bytes RecordBytes(const Record& record) {
    Bytes out(4 + record.data.size());
    out[0] = std::uint8_t(record.type);
    out[1] = std::uint8_t(record.type >> 8);
    out[2] = std::uint8_t(record.data.size());
    out[3] = std::uint8_t(record.data.size() >> 8);
    std::copy(record.data.begin(), record.data.end(), out.begin() + 4);
    return out;
}

std::vector<Record> SheetRecords(const Bytes& stream) {
    std::vector<Record> all = WalkRecords(stream);
    std::vector<Record> sheet;
    bool inSheet = false;
    for (auto& record : all) {
        if (record.type == 0x0809 && record.data.size() >= 4 && record.data[2] == 0x10)
            inSheet = true;
        if (inSheet)
            sheet.push_back(record);
        if (inSheet && record.type == 0x000A)
            break;
    }
    return sheet;
}

std::vector<std::string> Names(const std::vector<Record>& records) {
    std::vector<std::string> names;
    for (const auto& record : records) {
        auto it = RecordNames().find(record.type);
        names.push_back(it != RecordNames().end() ? it->second : std::to_string(record.type));
    }
    return names;
}

IXLSWorksheet& FillLikeTheEngine(TXLSWorkbook& workbook, const std::vector<std::string>& titles,
                                 const std::vector<std::vector<std::string>>& rows) {
    IXLSWorksheet& sheet = *workbook.Worksheets().Add();
    sheet.Cells()->Item(1, 1)->SetValue(std::string("Block Name"));
    sheet.Cells()->EntireRow()->Item(1)->Interior()->SetColorIndex(19);
    for (std::size_t k = 0; k < titles.size(); ++k)
        sheet.Cells()->Item(1, static_cast<int>(k) + 2)->SetValue(titles[k]);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t k = 0; k < rows[r].size(); ++k)
            sheet.Cells()
                ->Item(static_cast<int>(r) + 2, static_cast<int>(k) + 1)
                ->SetValue(rows[r][k]);
    return sheet;
}

namespace {

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The rows as a JSON array of arrays of texts, and ', "numbers": [[row, column], ...]'. The
// JSON texts here are built by appending: for "," + a temporary text, GCC 12 at -O3 warns of an
// overlapping copy (-Wrestrict) that cannot happen.
std::string JsonRows(const Table& table) {
    std::string json = "[";
    for (std::size_t r = 0; r < table.size(); ++r) {
        json += r ? ",[" : "[";
        for (std::size_t c = 0; c < table[r].size(); ++c) {
            if (c)
                json += ',';
            json += JsonText(table[r][c]);
        }
        json += ']';
    }
    return json + ']';
}

std::string JsonSheets(const std::vector<std::string>& sheets) {
    std::string json = ", \"sheets\": [";
    for (std::size_t k = 0; k < sheets.size(); ++k) {
        if (k)
            json += ',';
        json += JsonText(sheets[k]);
    }
    json += ']';
    return json;
}

std::string JsonNumbers(const NumberCells& numbers) {
    std::string json = ", \"numbers\": [";
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        json += k ? ",[" : "[";
        json += std::to_string(numbers[k].first);
        json += ',';
        json += std::to_string(numbers[k].second);
        json += ']';
    }
    return json + ']';
}

} // namespace

bool HaveLibreOffice() {
    return std::string(KELVORA_SOFFICE).find("NOTFOUND") == std::string::npos;
}

void ExpectReadersAgree(const std::string& file, const Table& table, bool withLibreOffice,
                        const NumberCells& numbers, const std::vector<std::string>& sheets) {
    std::string json = "{\"filled_row\": 0, \"rows\": ";
    json += JsonRows(table);
    json += JsonNumbers(numbers);
    json += JsonSheets(sheets);
    json += '}';
    const std::string expected = file + ".json";
    WriteFile(expected, json);
    std::string command = std::string(KELVORA_PYTHON) + " " + KELVORA_CHECK_SCRIPT + " '" + file +
                          "' '" + expected + "' --java '" + KELVORA_JAVA + "' --poi-classpath '" +
                          KELVORA_POI_CLASSPATH + "' --freexl-read '" + KELVORA_FREEXL_READ +
                          "' --ssconvert '" + KELVORA_SSCONVERT + "'";
    if (withLibreOffice)
        command += std::string(" --soffice ") + KELVORA_SOFFICE;
    std::string output;
    EXPECT_EQ(Run(command, output), 0) << file << ": " << output;
    // A reader left out for a known fault of its own says so.
    if (output.rfind("NOTE:", 0) == 0)
        std::cout << file << ": " << output;
    std::filesystem::remove(expected);
}

std::string TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvora-wb-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    return pattern;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

int Run(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace kelvora::test

namespace kelvora::test {

void ExpectXlsxReadersAgree(const std::string& file, const Table& table,
                            const std::vector<std::pair<std::string, double>>& widths,
                            const NumberCells& numbers, const std::vector<std::string>& sheets) {
    std::string json;
    json.reserve(table.size() * 16);
    json += "{\"rows\": ";
    json += JsonRows(table);
    json += JsonNumbers(numbers);
    json += JsonSheets(sheets);
    json += ", \"widths\": {";
    for (std::size_t k = 0; k < widths.size(); ++k) {
        if (k)
            json += ", ";
        json += JsonText(widths[k].first);
        json += ": ";
        json += std::to_string(widths[k].second);
    }
    json += "}}";
    const std::string expected = file + ".json";
    WriteFile(expected, json);
    std::string command = std::string(KELVORA_PYTHON) + " " + KELVORA_XLSX_CHECK_SCRIPT + " '" +
                          file + "' '" + expected + "'";
    // Every reader takes part: one that is not found fails the check, naming it.
    command +=
        std::string(" --soffice '") + KELVORA_SOFFICE + "' --ssconvert '" + KELVORA_SSCONVERT + "'";
    std::string output;
    EXPECT_EQ(Run(command, output), 0) << file << ": " << output;
    std::filesystem::remove(expected);
}

} // namespace kelvora::test

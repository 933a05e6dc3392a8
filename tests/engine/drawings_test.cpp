// Runs kelvora-batch on the drawings of tests/engine/fixtures (written with ezdxf by
// make_fixtures.py) and on files made here, and checks the tables and reports it writes.
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvora::test;

namespace {

// The columns Ref, Qty and Desc take the tags REF, QTY and DESC of every insert.
const char* const kConfiguration =
    "3\r\nRef\r\nQty\r\nDesc\r\n"
    "1\r\n*\r\n3\r\n*\r\nAny Space\r\nREF\r\n1\r\nQTY\r\n2\r\nDESC\r\n3\r\n";

const std::string kTitles = "Block Name,Ref,Qty,Desc\r\n";
const std::string kByteOrderMark = "\xEF\xBB\xBF";

// Writes a workbook's first sheet as UTF-8 text with a byte-order mark, CR LF line ends and
// quotes where needed, every row as wide as the sheet: what a text result of the same table is.
const char* const kWorkbookAsText = R"(
import csv, sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
with open(sys.argv[2], "w", encoding="utf-8-sig", newline="") as out:
    writer = csv.writer(out, lineterminator="\r\n")
    for r in range(sheet.nrows):
        writer.writerow([str(sheet.cell_value(r, c)) if c < sheet.row_len(r) else ""
                         for c in range(sheet.ncols)])
)";

std::string fixture(const std::string& name) {
    return std::string(KELVORA_FIXTURES) + "/" + name;
}

// Runs the program with the arguments, without a shell; standard output and standard error go
// to the file. The exit status, or -1 when the program did not end normally.
int runProgram(const std::vector<std::string>& arguments, const std::string& outputFile) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int output = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Drawings : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.file("rules.kvx"), kConfiguration);
        std::filesystem::create_directory(dir.file("in"));
        std::filesystem::create_directory(dir.file("out"));
    }

    // kelvora-batch on the drawings, results into out/, the report into report.txt.
    int batch(const std::vector<std::string>& drawings, const std::string& extension,
              const std::string& textEncoding = "utf-8",
              const std::vector<std::string>& flags = {}) {
        std::vector<std::string> arguments{KELVORA_BATCH,
                                           "-q",
                                           "-c",
                                           dir.file("rules.kvx"),
                                           "-o",
                                           dir.file("out"),
                                           "-e",
                                           extension,
                                           "--report",
                                           dir.file("report.txt"),
                                           "--text-encoding",
                                           textEncoding};
        arguments.insert(arguments.end(), flags.begin(), flags.end());
        arguments.insert(arguments.end(), drawings.begin(), drawings.end());
        return runProgram(arguments, dir.file("messages.txt"));
    }
    std::string messages() const { return readFile(dir.file("messages.txt")); }
    std::string result(const std::string& name) const { return readFile(dir.file("out/" + name)); }
    bool hasResult(const std::string& name) const {
        return std::filesystem::exists(dir.file("out/" + name));
    }

    // A workbook result read by xlrd, as text in the form of a UTF-8 text result.
    std::string workbookAsText(const std::string& name) const {
        const int status = runProgram({KELVORA_PYTHON, "-c", kWorkbookAsText,
                                       dir.file("out/" + name), dir.file("workbook.csv")},
                                      dir.file("python.txt"));
        EXPECT_EQ(status, 0) << readFile(dir.file("python.txt"));
        return readFile(dir.file("workbook.csv"));
    }

    std::vector<std::string> reportLines() const {
        std::vector<std::string> lines;
        std::istringstream text(readFile(dir.file("report.txt")));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line.substr(0, line.find('\r')));
        }
        return lines;
    }

    // The report line two below the drawing's path: its error line or its first count.
    std::string reportLineFor(const std::string& drawing) const {
        const std::vector<std::string> lines = reportLines();
        const auto at = std::find(lines.begin(), lines.end(), drawing);
        return lines.end() - at > 2 ? at[2] : "(not in the report)";
    }

    TempDir dir;
};

} // namespace

TEST_F(Drawings, TextAndBinaryFormsOfEveryVersionGiveTheSameTable) {
    const std::string expected = kByteOrderMark + kTitles +
                                 "BOLT,B-1,4,\"Bolt, hex \"\"M8\"\"\"\r\n"
                                 "NUT,N-2,4,Mutter Größe 8\r\n"
                                 "WASHER,,,\r\n";
    std::vector<std::string> names;
    for (const char* version : {"r12", "r2000", "r2018"}) {
        names.push_back(std::string("twin_") + version);
        names.push_back(std::string("twin_") + version + "_bin");
    }
    std::vector<std::string> drawings;
    for (const std::string& name : names) {
        drawings.push_back(fixture(name + ".dxf"));
    }
    ASSERT_EQ(batch(drawings, "csv"), 0) << messages();
    for (const std::string& name : names) {
        EXPECT_EQ(result(name + ".csv"), expected) << name;
    }
    ASSERT_EQ(batch(drawings, "xls"), 0) << messages();
    for (const std::string& name : names) {
        EXPECT_EQ(workbookAsText(name + ".xls"), expected) << name;
    }
}

TEST_F(Drawings, Release2018TextsArePlainAndDecoded) {
    // The embedded MTEXT, not the attribute's one-line text, gives the value.
    const std::string expected = kByteOrderMark + kTitles +
                                 "LABEL,L-1,,\"Hex bolt\nM8 x 1/2\"\r\n"
                                 "ESC,A：B,中,⌀12 x 45° ±0.1\r\n";
    ASSERT_EQ(batch({fixture("multiline_r2018.dxf")}, "csv"), 0) << messages();
    EXPECT_EQ(result("multiline_r2018.csv"), expected);
    ASSERT_EQ(batch({fixture("multiline_r2018.dxf")}, "xls"), 0) << messages();
    EXPECT_EQ(workbookAsText("multiline_r2018.xls"), expected);
}

TEST_F(Drawings, EscapesAndPercentCodesBecomeCharacters) {
    ASSERT_EQ(batch({fixture("escapes_r2000.dxf")}, "csv"), 0) << messages();
    EXPECT_EQ(result("escapes_r2000.csv"), kByteOrderMark + kTitles +
                                               "ESC,A：B,中,⌀12 x 45° ±0.1\r\n"
                                               "MORE,ソ,,100% A\r\n");
}

TEST_F(Drawings, CodePagesAreDecodedAndAsReadKeepsTheBytes) {
    struct CodePage {
        const char* number;
        const char* block; // as decoded, in UTF-8
        const char* value;
        const char* blockBytes; // as drawn, in the code page
        const char* valueBytes;
    };
    // Some second bytes are ASCII letters (ト is 83 67, "g") or a backslash (ソ is 83 5C): only
    // whole characters count.
    const CodePage codePages[] = {
        {"1251", "Болт", "Болт М12", "\xc1\xee\xeb\xf2", "\xc1\xee\xeb\xf2 \xcc\x31\x32"},
        {"932", "ボルト", "ソケット M12", "\x83{\x83\x8b\x83g", "\x83\x5c\x83P\x83\x62\x83g M12"},
        {"936", "螺栓", "六角螺栓 M12", "\xc2\xdd\xcb\xa8", "\xc1\xf9\xbd\xc7\xc2\xdd\xcb\xa8 M12"},
        {"949", "볼트", "육각 볼트 M12", "\xba\xbc\xc6\xae",
         "\xc0\xb0\xb0\xa2 \xba\xbc\xc6\xae M12"},
        {"950", "螺絲", "功能螺絲 M12", "\xc1\xb3\xb5\xb7", "\xa5\x5c\xaf\xe0\xc1\xb3\xb5\xb7 M12"},
        {"1253", "Βίδα", "Βίδα Μ12", "\xc2\xdf\xe4\xe1", "\xc2\xdf\xe4\xe1 \xcc\x31\x32"},
        {"874", "สลัก", "สลักเกลียว M12", "\xca\xc5\xd1\xa1",
         "\xca\xc5\xd1\xa1\xe0\xa1\xc5\xd5\xc2\xc7 M12"},
    };
    std::vector<std::string> drawings;
    for (const CodePage& page : codePages) {
        drawings.push_back(fixture(std::string("codepage_") + page.number + ".dxf"));
    }
    ASSERT_EQ(batch(drawings, "csv"), 0) << messages();
    for (const CodePage& page : codePages) {
        EXPECT_EQ(result(std::string("codepage_") + page.number + ".csv"),
                  kByteOrderMark + kTitles + page.block + ",R1,," + page.value + "\r\n")
            << "ANSI_" << page.number;
    }
    ASSERT_EQ(batch(drawings, "xls"), 0) << messages();
    for (const CodePage& page : codePages) {
        EXPECT_EQ(workbookAsText(std::string("codepage_") + page.number + ".xls"),
                  kByteOrderMark + kTitles + page.block + ",R1,," + page.value + "\r\n")
            << "ANSI_" << page.number;
    }
    ASSERT_EQ(batch(drawings, "csv", "as-read"), 0) << messages();
    for (const CodePage& page : codePages) {
        EXPECT_EQ(result(std::string("codepage_") + page.number + ".csv"),
                  kTitles + page.blockBytes + ",R1,," + page.valueBytes + "\r\n")
            << "ANSI_" << page.number;
    }
}

TEST_F(Drawings, WordsOfTheFileStructureAreOnlyNamesAndValues) {
    // A LINE on layer INSERT and a TEXT "INSERT" are no inserts; an attribute value SEQEND
    // does not end the attributes, ENTITIES and ENDSEC change no section.
    ASSERT_EQ(batch({fixture("traps_r2000.dxf")}, "csv"), 0) << messages();
    EXPECT_EQ(result("traps_r2000.csv"), kByteOrderMark + kTitles +
                                             "PART,SEQEND,ENTITIES,after\r\n"
                                             "PART2,ENDSEC,EOF,SECTION\r\n"
                                             "LAST,,,\r\n");
    EXPECT_EQ(reportLineFor(fixture("traps_r2000.dxf")), "Number of processed Blocks : 3");
}

TEST_F(Drawings, AThreeMebibyteValueIsReadWhole) {
    std::string value(3 << 20, ' ');
    for (std::size_t i = 0; i < value.size(); ++i) {
        value[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    }
    writeFile(dir.file("in/big.dxf"),
              drawing(insert("big", "0", {{"REF", "R"}, {"DESC", value}, {"QTY", "1"}})));
    ASSERT_EQ(batch({dir.file("in/big.dxf")}, "csv"), 0) << messages();
    EXPECT_TRUE(result("big.csv") == kByteOrderMark + kTitles + "BIG,R,1," + value + "\r\n")
        << "the result holds " << result("big.csv").size() << " bytes";
}

TEST_F(Drawings, FilesThatAreNoDxfDrawingsAreReportedWithoutResult) {
    std::string binary(256, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>(i * 37 % 256);
    }
    const std::pair<const char*, std::string> files[] = {
        {"a_dwg.dxf", std::string("AC1032") + std::string(6, '\0') + binary},
        {"b_png.dxf", "\x89PNG\r\n\x1a\n" + binary},
        {"c_zip.dxf", "PK\x03\x04" + binary},
        {"d_pdf.dxf", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n" + binary},
    };
    std::vector<std::string> drawings;
    for (const auto& [name, bytes] : files) {
        writeFile(dir.file(std::string("in/") + name), bytes);
        drawings.push_back(dir.file(std::string("in/") + name));
    }
    writeFile(dir.file("in/e_good.dxf"), drawing(insert("DOOR", "0", {{"REF", "D-1"}})));
    drawings.push_back(dir.file("in/e_good.dxf"));

    EXPECT_EQ(batch(drawings, "csv"), 1) << messages();
    EXPECT_EQ(reportLineFor(drawings[0]), "*** Error, DWG drawing: save it as DXF first ***");
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(reportLineFor(drawings[i]), "*** Error, not a DXF drawing ***") << drawings[i];
    }
    for (const char* stem : {"a_dwg", "b_png", "c_zip", "d_pdf"}) {
        EXPECT_FALSE(hasResult(std::string(stem) + ".csv")) << stem;
    }
    // The run went on after them.
    EXPECT_EQ(result("e_good.csv"), kByteOrderMark + kTitles + "DOOR,D-1,,\r\n");
}

TEST_F(Drawings, AnEmptyFileOrOneWithoutEntitiesGivesTheTitleRowOnly) {
    writeFile(dir.file("in/empty.dxf"), "");
    // An insert inside a block definition is no insert of the drawing.
    writeFile(dir.file("in/blocks_only.dxf"),
              dxfPairs({{"0", "SECTION"},
                        {"2", "HEADER"},
                        {"9", "$ACADVER"},
                        {"1", "AC1009"},
                        {"0", "ENDSEC"},
                        {"0", "SECTION"},
                        {"2", "BLOCKS"},
                        {"0", "BLOCK"},
                        {"2", "OUTER"}}) +
                  dxfPairs(insert("INNER", "0", {{"REF", "R-1"}})) +
                  dxfPairs({{"0", "ENDBLK"}, {"0", "ENDSEC"}, {"0", "EOF"}}));
    ASSERT_EQ(batch({dir.file("in/empty.dxf"), dir.file("in/blocks_only.dxf")}, "csv"), 0)
        << messages();
    EXPECT_EQ(result("empty.csv"), kByteOrderMark + kTitles);
    EXPECT_EQ(result("blocks_only.csv"), kByteOrderMark + kTitles);
    EXPECT_EQ(reportLineFor(dir.file("in/blocks_only.dxf")), "Number of processed Blocks : 0");
}

// blocks_r2018 (see make_fixtures.py): dynamic blocks' states, three layouts, arrays, nesting.
TEST_F(Drawings, BlocksAreReadAsTheChoicesSay) {
    const std::string entities = "*U1,V-1,,\r\nVALVE,V-2,,\r\n*U2,P-9,,\r\nBOLT,B-1,6,\r\n"
                                 "ASSEMBLY,A-1,,\r\nTITLE,S1,,\r\n";
    std::string sixBolts;
    for (int i = 0; i < 6; ++i) {
        sixBolts += "BOLT,B-1,6,\r\n";
    }
    const std::string held =
        "BOLT,B-2,,\r\nBOLT,B-2,,\r\nPLATE,P-1,,\r\nNUT,N-1,,\r\nNUT,N-1,,\r\n";
    const std::string defaults = "VALVE,V-1,,\r\nVALVE,V-2,,\r\nPUMP,P-9,,\r\n" + sixBolts +
                                 "ASSEMBLY,A-1,,\r\nTITLE,S1,,\r\nTITLE,S2,,\r\nTITLE,S3,,\r\n"
                                 "ASSEMBLY,A-2,,\r\n";
    const std::string nested =
        "VALVE,V-1,,\r\nVALVE,V-2,,\r\nPUMP,P-9,,\r\n" + sixBolts + "ASSEMBLY,A-1,,\r\n" + held +
        "TITLE,S1,,\r\nTITLE,S2,,\r\nTITLE,S3,,\r\nASSEMBLY,A-2,,\r\n" + held;
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs{
        {{}, defaults},
        {{"--nested"}, nested},
        {{"--no-dynamic-names", "--active-layout-only", "--no-minsert-copies"}, entities},
    };
    for (const std::string drawing : {"blocks_r2018.dxf", "blocks_r2018_bin.dxf"}) {
        for (const auto& [flags, rows] : runs) {
            ASSERT_EQ(batch({fixture(drawing)}, "csv", "as-read", flags), 0) << messages();
            const std::string stem = drawing.substr(0, drawing.find('.'));
            EXPECT_EQ(result(stem + ".csv"), kTitles + rows) << drawing << " " << flags.size();
        }
    }
    const std::vector<std::string> report = reportLines();
    EXPECT_NE(std::find(report.begin(), report.end(), "Number of processed Blocks : 6"),
              report.end());

    // Each choice alone, counted as the rows are.
    ASSERT_EQ(batch({fixture("blocks_r2018.dxf")}, "csv", "as-read", {"--no-dynamic-names"}), 0);
    EXPECT_NE(result("blocks_r2018.csv").find("*U2,P-9"), std::string::npos);
    ASSERT_EQ(batch({fixture("blocks_r2018.dxf")}, "xls", "as-read", {"--active-layout-only"}), 0);
    EXPECT_EQ(workbookAsText("blocks_r2018.xls"),
              kByteOrderMark + kTitles + defaults.substr(0, defaults.find("TITLE,S2")));
    ASSERT_EQ(batch({fixture("blocks_r2018.dxf")}, "csv", "as-read", {"--no-minsert-copies"}), 0);
    EXPECT_EQ(reportLineFor(fixture("blocks_r2018.dxf")), "Number of processed Blocks : 9");
    ASSERT_EQ(batch({fixture("blocks_r2018.dxf")}, "csv", "as-read", {"--nested"}), 0);
    const std::vector<std::string> tally = reportLines();
    EXPECT_NE(std::find(tally.begin(), tally.end(), "NUT : 4"), tally.end());
    EXPECT_NE(std::find(tally.begin(), tally.end(), "BOLT : 10"), tally.end());
}

// Checks a text result against what ezdxf reads of the drawing: every row's handle, insertion
// point, rotation, scales and layout belong to one INSERT of the drawing, and every INSERT
// has its row. Prints what differs; exits 1 then.
const char* const kFieldsAgainstEzdxf = R"(
import csv, sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
want = set()
for layout in doc.layouts:
    for e in layout.query("INSERT"):
        d = e.dxf
        want.add((d.handle, d.insert.x, d.insert.y, d.insert.z, d.rotation, d.xscale, d.yscale,
                  d.zscale, d.layer, layout.name))
with open(sys.argv[2], newline="", encoding="utf-8-sig") as f:
    rows = list(csv.reader(f))[1:]
got = {(r[1],) + tuple(float(v) for v in r[2:9]) + (r[9], r[10]) for r in rows}
if got != want:
    print("only in the result:", sorted(got - want), "only in ezdxf:", sorted(want - got))
    sys.exit(1)
)";

TEST_F(Drawings, InsertFieldsAreWhatEzdxfReads) {
    // Every field; a rule naming a field takes no tag, and a tag pattern no field.
    writeFile(
        dir.file("rules.kvx"),
        "11\r\nHandle\r\nX\r\nY\r\nZ\r\nRotation\r\nXS\r\nYS\r\nZS\r\nLayer\r\nLayout\r\n"
        "Drawing\r\n1\r\n*\r\n12\r\n*\r\nAny Space\r\n{HANDLE}\r\n1\r\n{X}\r\n2\r\n{Y}\r\n3\r\n"
        "{Z}\r\n4\r\n{ROTATION}\r\n5\r\n{XSCALE}\r\n6\r\n{YSCALE}\r\n7\r\n{ZSCALE}\r\n8\r\n"
        "{LAYER}\r\n9\r\n{LAYOUT}\r\n10\r\n{DRAWING}\r\n11\r\n*\r\n11\r\n");
    for (const std::string drawing : {"bom_r2018", "blocks_r2018_bin", "twin_r2000"}) {
        ASSERT_EQ(batch({fixture(drawing + ".dxf")}, "csv"), 0) << messages();
        const int status =
            runProgram({KELVORA_PYTHON, "-c", kFieldsAgainstEzdxf, fixture(drawing + ".dxf"),
                        dir.file("out/" + drawing + ".csv")},
                       dir.file("python.txt"));
        EXPECT_EQ(status, 0) << drawing << ": " << readFile(dir.file("python.txt"));
        // The drawing's name, not the value of the tag that "*" takes.
        EXPECT_NE(result(drawing + ".csv").find("," + drawing + ".dxf\r\n"), std::string::npos);
    }
}

TEST_F(Drawings, QuantitiesCountTheInsertsOfEachDistinctRow) {
    ASSERT_EQ(batch({fixture("bom_r2018.dxf")}, "csv", "utf-8", {"--quantities"}), 0) << messages();
    EXPECT_EQ(result("bom_r2018.csv"),
              kByteOrderMark +
                  "Block Name,Ref,Qty,Desc,Quantity\r\nPART,P-1,,Plate,4\r\nPART,P-2,,,6\r\n"
                  "PART,N-0,,,1\r\nPART,N-1,,,1\r\nPART,N-2,,,1\r\nPART,N-3,,,1\r\n"
                  "PART,N-4,,,1\r\nPART,N-5,,,1\r\nPART,N-6,,,1\r\nPART,N-7,,,1\r\n"
                  "PART,P-3,,,2\r\n");
    // The counters and the tally still count inserts, each copy of an array one.
    const std::vector<std::string> report = reportLines();
    for (const char* line : {"Number of Blocks matching criteria : 20", "PART : 20",
                             "  Results : identical rows combined with a Quantity column"}) {
        EXPECT_NE(std::find(report.begin(), report.end(), line), report.end()) << line;
    }
    // Without the choice, one row per insert.
    ASSERT_EQ(batch({fixture("bom_r2018.dxf")}, "csv", "utf-8"), 0);
    const std::string rows = result("bom_r2018.csv");
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 21);
    EXPECT_EQ(rows.find("Quantity"), std::string::npos);
}

// Checks a combined workbook with quantities: each drawing's worksheet row counts the same as
// that drawing's column of the summary, and each total is the sum of its row. Prints the sum
// of all totals.
const char* const kSummaryAgainstSheets = R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
summary = book.sheet_by_index(0)
titles = summary.row_values(0)
width = titles.index(book.sheet_names()[1])  # the key columns come before the drawings
keys = {tuple(summary.row_values(r)[:width]): summary.row_values(r) for r in range(1, summary.nrows)}
grand = 0
for k, name in enumerate(book.sheet_names()[1:]):
    sheet = book.sheet_by_name(name)
    for r in range(1, sheet.nrows):
        row = sheet.row_values(r)
        key = tuple(row[:width])
        assert keys[key][width + k] == row[-1], (name, key, keys[key][width + k], row[-1])
for key, row in keys.items():
    counts = [int(v) for v in row[width:]]
    assert sum(counts[:-1]) == counts[-1], row
    grand += counts[-1]
print(grand)
)";

TEST_F(Drawings, OneResultForAllDrawingsSumsAsTheirOwnResults) {
    std::filesystem::copy_file(fixture("bom_r2018.dxf"), dir.file("in/bom_r2018.dxf"));
    const std::vector<std::string> drawings{fixture("bom_r2018.dxf"), dir.file("in/bom_r2018.dxf"),
                                            fixture("blocks_r2018.dxf")};
    ASSERT_EQ(batch(drawings, "xls", "utf-8", {"--quantities", "--combine", "All"}), 0)
        << messages();
    EXPECT_FALSE(hasResult("bom_r2018.xls"));
    const int status =
        runProgram({KELVORA_PYTHON, "-c", kSummaryAgainstSheets, dir.file("out/All.xls")},
                   dir.file("sum.txt"));
    ASSERT_EQ(status, 0) << readFile(dir.file("sum.txt"));
    // Every insert of the three drawings: 20 + 20 + 14 as the report counts them.
    EXPECT_EQ(readFile(dir.file("sum.txt")), "54\n");
    long long matched = 0;
    for (const std::string& line : reportLines()) {
        if (line.starts_with("Number of Blocks matching criteria : ")) {
            matched += std::stoll(line.substr(line.find(':') + 2));
        }
    }
    EXPECT_EQ(matched, 54);

    // Text: the drawing's file name first, then the rows as its own result has them.
    ASSERT_EQ(batch({fixture("twin_r2000.dxf"), fixture("twin_r12.dxf")}, "csv", "utf-8",
                    {"--combine", "All"}),
              0);
    EXPECT_EQ(result("All.csv"), kByteOrderMark +
                                     "Drawing,Block Name,Ref,Qty,Desc\r\n"
                                     "twin_r2000.dxf,BOLT,B-1,4,\"Bolt, hex \"\"M8\"\"\"\r\n"
                                     "twin_r2000.dxf,NUT,N-2,4,Mutter Größe 8\r\n"
                                     "twin_r2000.dxf,WASHER,,,\r\n"
                                     "twin_r12.dxf,BOLT,B-1,4,\"Bolt, hex \"\"M8\"\"\"\r\n"
                                     "twin_r12.dxf,NUT,N-2,4,Mutter Größe 8\r\n"
                                     "twin_r12.dxf,WASHER,,,\r\n");
    // A name that would leave the destination folder is refused.
    EXPECT_EQ(batch(drawings, "csv", "utf-8", {"--combine", "a/b"}), 2);
    EXPECT_NE(messages().find("not a valid result name"), std::string::npos);
}

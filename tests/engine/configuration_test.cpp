#include "configuration/configuration.h"
#include "configuration/settings.h"
#include "configuration/templateimport.h"
#include "testutil.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace kelvora;
using namespace kelvora::test;

namespace {

RuleSet exampleRules() {
    RuleSet rules;
    rules.columns = {"Qty", "Ref"};
    rules.blockRules.push_back({"DOOR*", "*", "Any Space", {{"REF", "2"}, {"QTY", "1"}}});
    return rules;
}

const char* const kExampleText =
    "2\r\nQty\r\nRef\r\n1\r\nDOOR*\r\n2\r\n*\r\nAny Space\r\nREF\r\n2\r\nQTY\r\n1\r\n";

} // namespace

TEST(Configuration, SerialisesLineByLine) {
    EXPECT_EQ(getconf(exampleRules()), kExampleText);
    EXPECT_EQ(getconf(RuleSet{}), "0\r\n0\r\n");
}

TEST(Configuration, ReadsEveryKindOfLineEnd) {
    std::string lf = kExampleText;
    std::string cr = kExampleText;
    std::erase(lf, '\r');
    std::erase(cr, '\r');
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    for (const std::string& text : {std::string(kExampleText), lf, cr}) {
        const LoadedConfiguration loaded = parseConfiguration(text, "x.kvx");
        ASSERT_TRUE(loaded.rules) << loaded.error;
        EXPECT_EQ(*loaded.rules, exampleRules());
    }
}

TEST(Configuration, KeepsTextsAsTheyStand) {
    RuleSet rules;
    rules.columns = {"  Padded title ", "", "Comma, title"};
    rules.blockRules.push_back({" DOOR* ", "", "whatever", {{" REF", "abc"}, {"", "-1"}}});
    rules.blockRules.push_back({"", "*", "Model Space", {}});
    const LoadedConfiguration loaded = parseConfiguration(getconf(rules), "x.kvx");
    ASSERT_TRUE(loaded.rules) << loaded.error;
    EXPECT_EQ(*loaded.rules, rules);
}

TEST(Configuration, RefusesTextsThatDoNotFollowTheFormat) {
    struct Case {
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"", "line 1:"},
        {"two\r\n", "line 1:"},
        {"2\r\nA\r\n", "line 3:"},  // fewer titles than announced
        {"0\r\nx\r\n", "line 2:"},  // block count not a number
        {"0\r\n-1\r\n", "line 2:"}, // negative count
        {"0\r\n1\r\nB\r\nmany\r\n*\r\nAny Space\r\n", "line 4:"},
        {"0\r\n1\r\nB\r\n2\r\n*\r\nAny Space\r\nTAG\r\n1\r\n", "line 9:"},
        {"0\r\n2147483647\r\n", "line 3:"}, // a huge count must not allocate ahead
    };
    for (const Case& c : cases) {
        const LoadedConfiguration loaded = parseConfiguration(c.text, "/cfg/bad.kvx");
        EXPECT_FALSE(loaded.rules) << c.text;
        EXPECT_NE(loaded.error.find("/cfg/bad.kvx"), std::string::npos) << loaded.error;
        EXPECT_NE(loaded.error.find(c.line), std::string::npos) << loaded.error;
    }
}

TEST(Configuration, ChangeDetectionComparesBytes) {
    EXPECT_TRUE(sameConfiguration(std::nullopt, std::string("a")));
    EXPECT_TRUE(sameConfiguration(std::string("a"), std::nullopt));
    EXPECT_TRUE(sameConfiguration(std::string("0\r\n0\r\n"), std::string("0\r\n0\r\n")));
    EXPECT_FALSE(sameConfiguration(std::string("0\r\n0\r\n"), std::string("0\n0\n")));
}

TEST(Configuration, SavesAndLoadsFiles) {
    TempDir dir;
    const std::string path = dir.file("rules.kvx");
    std::string error;
    ASSERT_TRUE(saveConfiguration(path, exampleRules(), error)) << error;
    EXPECT_EQ(readFile(path), kExampleText);
    const LoadedConfiguration loaded = loadconf(path);
    ASSERT_TRUE(loaded.rules);
    EXPECT_EQ(*loaded.rules, exampleRules());
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path().filename(), "rules.kvx");

    const LoadedConfiguration missing = loadconf(dir.file("none.kvx"));
    EXPECT_FALSE(missing.rules);
    EXPECT_NE(missing.error.find("none.kvx"), std::string::npos);
    const LoadedConfiguration folder = loadconf(dir.path());
    EXPECT_FALSE(folder.rules);
    EXPECT_NE(folder.error.find("not a file"), std::string::npos) << folder.error;
}

TEST(Configuration, AFailedSaveKeepsTheEarlierFile) {
    TempDir dir;
    const std::string path = dir.file("rules.kvx");
    writeFile(path, "0\r\n0\r\n");
    std::string error;
#ifndef _WIN32
    // Files may not grow past 16 bytes: writing the new configuration fails half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved16 = saveConfiguration(path, exampleRules(), error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(saved16);
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_EQ(readFile(path), "0\r\n0\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1); // no half-written file is left beside it
#endif

    if (permissionsBind()) {
        std::filesystem::permissions(pathFromUtf8(path), std::filesystem::perms::owner_read);
        EXPECT_FALSE(saveConfiguration(path, exampleRules(), error));
        EXPECT_NE(error.find(path), std::string::npos);
        EXPECT_EQ(readFile(path), "0\r\n0\r\n");
        std::filesystem::permissions(pathFromUtf8(path), std::filesystem::perms::owner_all);
    }
}

TEST(Configuration, RemembersTheLastConfigurationForTheNextStart) {
    TempDir dir;
    const ProgramPaths paths = ProgramPaths::forFolder(dir.path());
    EXPECT_EQ(paths.configurationsFolder, dir.path() + "/configurations");
    EXPECT_EQ(paths.reportFile, dir.path() + "/KelvoraLog.txt");

    StartupConfiguration none = loadStartupConfiguration(paths);
    EXPECT_EQ(none.fileName, "None");
    EXPECT_FALSE(none.rules);
    EXPECT_TRUE(none.message.empty()); // no "kelvora.ini": no message

    std::string error;
    ASSERT_TRUE(rememberLastConfiguration(paths, "doors.kvx", error)) << error;
    EXPECT_EQ(readFile(paths.lastConfigurationFile), "doors.kvx\r\n");
    StartupConfiguration missing = loadStartupConfiguration(paths);
    EXPECT_EQ(missing.fileName, "None");
    EXPECT_EQ(missing.message, "Configuration file \"" + paths.configurationsFolder +
                                   "/doors.kvx\" not found, default values used instead");

    std::filesystem::create_directory(paths.configurationsFolder);
    writeFile(paths.configurationsFolder + "/doors.kvx", kExampleText);
    StartupConfiguration found = loadStartupConfiguration(paths);
    EXPECT_EQ(found.fileName, "doors.kvx");
    ASSERT_TRUE(found.rules);
    EXPECT_EQ(*found.rules, exampleRules());

    writeFile(paths.lastConfigurationFile, "\r\n");
    EXPECT_EQ(loadStartupConfiguration(paths).fileName, "None");
}

TEST(Configuration, AnInstalledProgramKeepsTheUsersFilesInTheUserFolder) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the installed layout (share/kelvora, the XDG data folder) is the Debian package's";
#endif
    TempDir dir;
    const std::string root = dir.path();
    const std::string shared = root + "/usr/share/kelvora/";
    std::filesystem::create_directories(root + "/usr/bin");
    std::filesystem::create_directories(shared + "configurations");
    writeFile(shared + "configurations/doors.kvx", kExampleText);
    writeFile(shared + "kelvora.ini", "doors.kvx\r\n");

    const ProgramPaths paths =
        ProgramPaths::forProgram(root + "/usr/bin", (root + "/data").c_str(), "/nonexistent");
    EXPECT_EQ(paths.programFolder, shared);
    EXPECT_EQ(paths.helpFile, shared + "help_kelvora.html");
    EXPECT_EQ(paths.reportFile, root + "/data/kelvora/KelvoraLog.txt");
    // A first start has the configuration that comes with the program.
    const StartupConfiguration first = loadStartupConfiguration(paths);
    EXPECT_EQ(first.fileName, "doors.kvx");
    EXPECT_EQ(paths.configurationsFolder, root + "/data/kelvora/configurations");

    // Later starts leave the user's choices alone, even a configuration removed.
    std::filesystem::remove(paths.configurationsFolder + "/doors.kvx");
    std::string error;
    ASSERT_TRUE(rememberLastConfiguration(paths, "mine.kvx", error)) << error;
    ProgramPaths::forProgram(root + "/usr/bin/", (root + "/data").c_str(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(paths.configurationsFolder + "/doors.kvx"));
    EXPECT_EQ(readFile(paths.lastConfigurationFile), "mine.kvx\r\n");

    // Without an absolute $XDG_DATA_HOME the user folder is under $HOME.
    EXPECT_EQ(ProgramPaths::forProgram(root + "/usr/bin", "relative", (root + "/home").c_str())
                  .reportFile,
              root + "/home/.local/share/kelvora/KelvoraLog.txt");
    // A program without share/kelvora beside its folder keeps everything beside itself.
    EXPECT_EQ(ProgramPaths::forProgram(root + "/build/bin", nullptr, nullptr).reportFile,
              root + "/build/bin/KelvoraLog.txt");
}

TEST(Settings, MissingValuesGetDefaultsAndAreCreated) {
    MemorySettingsStore store;
    const Settings settings = loadSettings(store);
    EXPECT_EQ(settings.extension, "xls");
    EXPECT_TRUE(settings.locked);
    EXPECT_FALSE(settings.autosel);
    EXPECT_FALSE(settings.showlog.has_value());
    EXPECT_EQ(store.texts.at("extension"), "xls");
    EXPECT_EQ(store.ints.at("locked"), 1);
    EXPECT_EQ(store.ints.count("showlog"), 0u);

    store.writeText(kSettingExtension, "csv");
    storeBool(store, kSettingShowLog, false);
    store.writeInt(kSettingAutoSel, 5);
    const Settings stored = loadSettings(store);
    EXPECT_EQ(stored.extension, "csv");
    EXPECT_EQ(stored.showlog, false);
    EXPECT_TRUE(stored.autosel);

    MemorySettingsStore copy;
    storeSettings(copy, stored);
    EXPECT_EQ(copy.texts, store.texts);
    EXPECT_EQ(copy.ints.at("autosel"), 1);
}

TEST(Settings, WindowSizeIsWidthByHeightOrNothing) {
    MemorySettingsStore store;
    EXPECT_FALSE(loadSettings(store).windowsize.has_value());
    EXPECT_EQ(store.texts.count("windowsize"), 0u);
    store.writeText(kSettingWindowSize, "800x600");
    EXPECT_EQ(loadSettings(store).windowsize, (WindowSize{800, 600}));
    for (const char* wrong : {"800", "x600", "800x", "-800x600", "800x600px", "0x600", "1e3x5"}) {
        EXPECT_FALSE(parseWindowSize(wrong).has_value()) << wrong;
    }
    Settings sized;
    sized.windowsize = WindowSize{1024, 700};
    MemorySettingsStore copy;
    storeSettings(copy, sized);
    EXPECT_EQ(copy.texts.at("windowsize"), "1024x700");
}

TEST(TemplateImport, MakesOneRulePerBlockWithItsTags) {
    TempDir dir;
    const std::string path = dir.file("template.dxf");
    writeFile(path, drawing(concat({
                        insert("Door", "0", {{"REF", "1"}, {"REF", "2"}}),
                        insert("DOOR", "0", {{"OTHER", "x"}}),
                        insert("*U12", "0", {{"A", "1"}}),
                        insert("*u13", "0", {{"B", "1"}}),
                        insert("*D3", "0", {{"C", "1"}}),
                        insert("chair", "0"),
                    })));
    TemplateImportResult result = importTemplate(path, {});
    ASSERT_TRUE(result.opened);
    std::vector<BlockRule> expected{
        {"Door", "*", "Any Space", {{"REF", "-1"}, {"REF", "-1"}}},
        {"*u13", "*", "Any Space", {{"B", "-1"}}},
        {"*D3", "*", "Any Space", {{"C", "-1"}}},
    };
    EXPECT_EQ(result.blockRules, expected);

    result = importTemplate(
        path, {.importAnonymous = true, .importBlocksWithoutAttributes = true, .reading = {}});
    ASSERT_EQ(result.blockRules.size(), 5u);
    EXPECT_EQ(result.blockRules[1].blockPattern, "*U12");
    EXPECT_EQ(result.blockRules[4], (BlockRule{"chair", "*", "Any Space", {}}));
}

// blocks_r2018 (see fixtures/make_fixtures.py): dynamic blocks' states, layouts, nesting.
TEST(TemplateImport, ReadsTheDrawingAsARunDoes) {
    const std::string drawing = std::string(KELVORA_FIXTURES) + "/blocks_r2018.dxf";
    auto names = [&](const TemplateImportOptions& options) {
        std::vector<std::string> found;
        for (const BlockRule& rule : importTemplate(drawing, options).blockRules) {
            found.push_back(rule.blockPattern);
        }
        return found;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(names({}), (Names{"Valve", "Pump", "BOLT", "ASSEMBLY", "TITLE"}));
    EXPECT_EQ(names({.reading = {.nested = true}}),
              (Names{"Valve", "Pump", "BOLT", "ASSEMBLY", "PLATE", "NUT", "TITLE"}));
    EXPECT_EQ(names({.reading = {.dynamicNames = false}}),
              (Names{"Valve", "BOLT", "ASSEMBLY", "TITLE"})); // the anonymous states left out
}

TEST(TemplateImport, ReportsADrawingThatCannotBeOpened) {
    TempDir dir;
    const TemplateImportResult result = importTemplate(dir.file("missing.dxf"), {});
    EXPECT_FALSE(result.opened);
    EXPECT_TRUE(result.blockRules.empty());
}

// The user settings and where they are kept. The window supplies a store on top of the
// platform's settings; tests use the memory store.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

inline constexpr std::string_view kSettingExtension = "extension";
inline constexpr std::string_view kSettingImportBlkNonAtt = "importblknonatt";
inline constexpr std::string_view kSettingImportAnonymous = "importanonymous";
inline constexpr std::string_view kSettingShowLog = "showlog";
inline constexpr std::string_view kSettingDxfPath = "dxfpath";
inline constexpr std::string_view kSettingDestPath = "destpath";
inline constexpr std::string_view kSettingLocked = "locked";
inline constexpr std::string_view kSettingAutoSel = "autosel";
inline constexpr std::string_view kSettingTextUtf8 = "textutf8";
inline constexpr std::string_view kSettingTextRaw = "textraw";
inline constexpr std::string_view kSettingDynNames = "dynnames";
inline constexpr std::string_view kSettingAllLayouts = "alllayouts";
inline constexpr std::string_view kSettingMinsertCopies = "minsertcopies";
inline constexpr std::string_view kSettingNested = "nested";
// The main window's size, as the text "WIDTHxHEIGHT" in pixels, e.g. "800x600".
inline constexpr std::string_view kSettingWindowSize = "windowsize";

struct WindowSize {
    int width = 0;
    int height = 0;
    bool operator==(const WindowSize&) const = default;
};

// "WIDTHxHEIGHT" with both numbers positive decimals; anything else is no size.
std::optional<WindowSize> parseWindowSize(std::string_view text);
std::string windowSizeText(const WindowSize& size);

struct Settings {
    std::string extension = "xls";
    bool importblknonatt = false;
    bool importanonymous = false;
    std::optional<bool> showlog; // unset: neither report choice is selected
    std::string dxfpath;
    std::string destpath;
    bool locked = true; // the destination follows the drawing folder
    bool autosel = false;
    bool textutf8 = false; // text results decoded to UTF-8 instead of the drawings' bytes
    bool textraw = false;  // text results keep values that begin like formulas as read
    // How drawings are read (see ReadingChoices).
    bool dynnames = true;
    bool alllayouts = true;
    bool minsertcopies = true;
    bool nested = false;
    std::optional<WindowSize> windowsize; // unset: the window opens at its own size
};

// Texts are kept as strings, booleans as the integers 0 and 1.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> readText(std::string_view name) = 0;
    virtual std::optional<int> readInt(std::string_view name) = 0;
    virtual void writeText(std::string_view name, const std::string& value) = 0;
    virtual void writeInt(std::string_view name, int value) = 0;
};

// Reads the values; a missing value gets its default and is written back (all but
// showlog, whose absence means that no report choice has been made, and windowsize).
Settings loadSettings(SettingsStore& store);
void storeBool(SettingsStore& store, std::string_view name, bool value);
// Writes all values (showlog and windowsize only when set).
void storeSettings(SettingsStore& store, const Settings& settings);

class MemorySettingsStore : public SettingsStore {
public:
    std::optional<std::string> readText(std::string_view name) override;
    std::optional<int> readInt(std::string_view name) override;
    void writeText(std::string_view name, const std::string& value) override;
    void writeInt(std::string_view name, int value) override;

    std::map<std::string, std::string, std::less<>> texts;
    std::map<std::string, int, std::less<>> ints;
};

} // namespace kelvora

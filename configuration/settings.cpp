#include "configuration/settings.h"

namespace kelvora {

namespace {

std::string readTextOr(SettingsStore& store, std::string_view name, const std::string& fallback) {
    if (std::optional<std::string> value = store.readText(name)) {
        return *value;
    }
    store.writeText(name, fallback);
    return fallback;
}

bool readBoolOr(SettingsStore& store, std::string_view name, bool fallback) {
    if (std::optional<int> value = store.readInt(name)) {
        return *value != 0;
    }
    storeBool(store, name, fallback);
    return fallback;
}

} // namespace

std::optional<WindowSize> parseWindowSize(std::string_view text) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) {
        return std::nullopt;
    }
    auto number = [](std::string_view digits) -> std::optional<int> {
        if (digits.empty() || digits.size() > 6) {
            return std::nullopt;
        }
        int value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        return value > 0 ? std::optional<int>(value) : std::nullopt;
    };
    const std::optional<int> width = number(text.substr(0, x));
    const std::optional<int> height = number(text.substr(x + 1));
    if (!width || !height) {
        return std::nullopt;
    }
    return WindowSize{*width, *height};
}

std::string windowSizeText(const WindowSize& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

void storeBool(SettingsStore& store, std::string_view name, bool value) {
    store.writeInt(name, value ? 1 : 0);
}

Settings loadSettings(SettingsStore& store) {
    const Settings defaults;
    Settings settings;
    settings.extension = readTextOr(store, kSettingExtension, defaults.extension);
    settings.importblknonatt = readBoolOr(store, kSettingImportBlkNonAtt, defaults.importblknonatt);
    settings.importanonymous = readBoolOr(store, kSettingImportAnonymous, defaults.importanonymous);
    if (std::optional<int> showlog = store.readInt(kSettingShowLog)) {
        settings.showlog = *showlog != 0;
    }
    settings.dxfpath = readTextOr(store, kSettingDxfPath, defaults.dxfpath);
    settings.destpath = readTextOr(store, kSettingDestPath, defaults.destpath);
    settings.locked = readBoolOr(store, kSettingLocked, defaults.locked);
    settings.autosel = readBoolOr(store, kSettingAutoSel, defaults.autosel);
    settings.textutf8 = readBoolOr(store, kSettingTextUtf8, defaults.textutf8);
    settings.textraw = readBoolOr(store, kSettingTextRaw, defaults.textraw);
    settings.dynnames = readBoolOr(store, kSettingDynNames, defaults.dynnames);
    settings.alllayouts = readBoolOr(store, kSettingAllLayouts, defaults.alllayouts);
    settings.minsertcopies = readBoolOr(store, kSettingMinsertCopies, defaults.minsertcopies);
    settings.nested = readBoolOr(store, kSettingNested, defaults.nested);
    if (std::optional<std::string> size = store.readText(kSettingWindowSize)) {
        settings.windowsize = parseWindowSize(*size);
    }
    return settings;
}

void storeSettings(SettingsStore& store, const Settings& settings) {
    store.writeText(kSettingExtension, settings.extension);
    storeBool(store, kSettingImportBlkNonAtt, settings.importblknonatt);
    storeBool(store, kSettingImportAnonymous, settings.importanonymous);
    if (settings.showlog) {
        storeBool(store, kSettingShowLog, *settings.showlog);
    }
    store.writeText(kSettingDxfPath, settings.dxfpath);
    store.writeText(kSettingDestPath, settings.destpath);
    storeBool(store, kSettingLocked, settings.locked);
    storeBool(store, kSettingAutoSel, settings.autosel);
    storeBool(store, kSettingTextUtf8, settings.textutf8);
    storeBool(store, kSettingTextRaw, settings.textraw);
    storeBool(store, kSettingDynNames, settings.dynnames);
    storeBool(store, kSettingAllLayouts, settings.alllayouts);
    storeBool(store, kSettingMinsertCopies, settings.minsertcopies);
    storeBool(store, kSettingNested, settings.nested);
    if (settings.windowsize) {
        store.writeText(kSettingWindowSize, windowSizeText(*settings.windowsize));
    }
}

std::optional<std::string> MemorySettingsStore::readText(std::string_view name) {
    const auto found = texts.find(name);
    return found == texts.end() ? std::nullopt : std::optional<std::string>(found->second);
}

std::optional<int> MemorySettingsStore::readInt(std::string_view name) {
    const auto found = ints.find(name);
    return found == ints.end() ? std::nullopt : std::optional<int>(found->second);
}

void MemorySettingsStore::writeText(std::string_view name, const std::string& value) {
    texts.insert_or_assign(std::string(name), value);
}

void MemorySettingsStore::writeInt(std::string_view name, int value) {
    ints.insert_or_assign(std::string(name), value);
}

} // namespace kelvora

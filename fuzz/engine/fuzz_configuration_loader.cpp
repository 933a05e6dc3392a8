// Configuration files as outside data: parsed, and when accepted written and parsed again
// to the same rules.
#include "configuration/configuration.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvora;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const LoadedConfiguration loaded = parseConfiguration(text, "fuzz.kvx");
    if (!loaded.rules) {
        if (loaded.error.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    // Texts holding line breaks cannot survive a save; every other rule set must.
    const LoadedConfiguration again = parseConfiguration(getconf(*loaded.rules), "again.kvx");
    if (!again.rules) {
        __builtin_trap();
    }
    const HighestColumn highest = highestColumn(*loaded.rules);
    (void)highest;
    for (const BlockRule& rule : loaded.rules->blockRules) {
        matchPatternList(rule.blockPattern, rule.layerPattern);
    }
    return 0;
}

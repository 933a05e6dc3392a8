// Building block rules from the inserts found in a template drawing.
#pragma once

#include "engine/rules.h"

#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

inline constexpr std::string_view kTemplateOpenFailedMessage =
    "Error, file is used by another application.";
inline constexpr std::string_view kTemplateNoBlocksMessage =
    "The DXF file does not contain blocks matching the criteria.";

struct TemplateImportOptions {
    bool importAnonymous = false;               // "Import Anonymous blocks"
    bool importBlocksWithoutAttributes = false; // "Import blocks that don't have attributes"
};

struct TemplateImportResult {
    bool opened = false; // false: the drawing could not be opened, the rules stay as they are
    // One rule per distinct block name (case ignored), in file order: the name as first read,
    // layer "*", "Any Space", and one attribute rule per tag of its first kept insert.
    std::vector<BlockRule> blockRules;
};

TemplateImportResult importTemplate(const std::string& drawingPath,
                                    const TemplateImportOptions& options);

} // namespace kelvora

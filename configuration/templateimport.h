// Building block rules from the inserts found in a template drawing.
#pragma once

#include "engine/dxfwalk.h"
#include "engine/rules.h"

#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

inline constexpr std::string_view kTemplateOpenFailedMessage =
    "Error, file is used by another application.";
inline constexpr std::string_view kTemplateDwgMessage =
    "Error, this is a DWG drawing: save it as DXF first.";
inline constexpr std::string_view kTemplateNotDxfMessage = "Error, this is not a DXF drawing.";
inline constexpr std::string_view kTemplateNoBlocksMessage =
    "The DXF file does not contain blocks matching the criteria.";

// What the template import takes of an insert: the block name followed by every attribute tag,
// decoded, in their case as read; hasAttributes from group 66.
struct TemplateInsert {
    std::vector<std::string> names;
    bool hasAttributes = false;
};

TemplateInsert readTemplateInsert(const InsertRecord& insert, const DrawingText& text);

struct TemplateImportOptions {
    bool importAnonymous = false;               // "Import Anonymous blocks"
    bool importBlocksWithoutAttributes = false; // "Import blocks that don't have attributes"
    ReadingChoices reading;                     // as a run reads the drawings
};

struct TemplateImportResult {
    bool opened = false; // false: the drawing could not be read, the rules stay as they are
    std::string error;   // then: why, for the user
    // One rule per distinct block name (case ignored), in file order: the name as first read,
    // layer "*", "Any Space", and one attribute rule per tag of its first kept insert.
    std::vector<BlockRule> blockRules;
};

TemplateImportResult importTemplate(const std::string& drawingPath,
                                    const TemplateImportOptions& options);

// "Add layer and position columns": the titles Layer, Layout, X and Y, each appended unless
// the columns hold it already, and in every block rule the insert fields {LAYER}, {LAYOUT},
// {X} and {Y} put into them.
void addLayerAndPositionColumns(RuleSet& rules);

} // namespace kelvora

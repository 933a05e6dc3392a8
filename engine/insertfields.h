// The insert's own properties as columns: an attribute rule whose name pattern is exactly
// "{LAYER}", "{LAYOUT}", "{HANDLE}", "{X}", "{Y}", "{Z}", "{ROTATION}", "{XSCALE}", "{YSCALE}",
// "{ZSCALE}" or "{DRAWING}" takes that property of the insert instead of an attribute's value.
#pragma once

#include "engine/insertrecord.h"
#include "engine/rules.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// Handle and those after it are the insert's properties, in the order of InsertProperty.
enum class InsertField {
    Layer,
    Layout,
    Drawing,
    Handle,
    X,
    Y,
    Z,
    Rotation,
    XScale,
    YScale,
    ZScale
};

// The field a pattern starting with "{" names exactly, or none.
std::optional<InsertField> namedInsertField(std::string_view namePattern);
// The field a name pattern names, or none for a pattern that matches tags; most patterns are
// told at their first character.
inline std::optional<InsertField> insertFieldOf(std::string_view namePattern) {
    if (namePattern.empty() || namePattern.front() != '{') {
        return std::nullopt;
    }
    return namedInsertField(namePattern);
}

// The name patterns of the fields, in the order above, for the lists that offer them.
std::string_view insertFieldPattern(InsertField field);
inline constexpr std::size_t kInsertFieldCount = 11;

// Whether any attribute rule names the field.
bool usesInsertField(const RuleSet& rules, InsertField field);

// What the fields of a drawing's inserts take from beyond the insert.
struct FieldSource {
    std::string drawingName; // the drawing's file name
    // Layout names by the upper-cased name of the layout's block ("*PAPER_SPACE0").
    std::map<std::string, std::string, std::less<>> layoutNames;
};

// The layouts of a drawing: each LAYOUT object's name (group 1 after the AcDbLayout marker) by
// the block its group 330 there names, through the BLOCK_RECORD table's handles. Empty for a
// drawing without layout objects or one that cannot be read.
std::map<std::string, std::string, std::less<>> readLayoutNames(const std::string& path);

// The field's text for the insert, as the drawing writes it (a property the drawing leaves out
// is its default: "0" for the point and rotation, "1" for the scales). The layout of model
// space is "Model", that of an unnamed layout empty.
std::string insertFieldValue(InsertField field, const InsertRecord& insert,
                             const FieldSource& source);

} // namespace kelvora

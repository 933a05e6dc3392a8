#include "engine/insertfields.h"

#include "engine/dxfreader.h"

#include <array>

namespace kelvora {

namespace {

constexpr std::array<std::string_view, kInsertFieldCount> kPatterns = {
    "{LAYER}", "{LAYOUT}",   "{DRAWING}", "{HANDLE}", "{X}",     "{Y}",
    "{Z}",     "{ROTATION}", "{XSCALE}",  "{YSCALE}", "{ZSCALE}"};
// What a property the drawing leaves out is, in the order of InsertProperty.
constexpr std::array<std::string_view, kInsertPropertyCount> kPropertyDefaults = {
    "", "0", "0", "0", "0", "1", "1", "1"};

} // namespace

std::optional<InsertField> namedInsertField(std::string_view namePattern) {
    for (std::size_t i = 0; i < kPatterns.size(); ++i) {
        if (namePattern == kPatterns[i]) {
            return static_cast<InsertField>(i);
        }
    }
    return std::nullopt;
}

std::string_view insertFieldPattern(InsertField field) {
    return kPatterns[static_cast<std::size_t>(field)];
}

bool usesInsertField(const RuleSet& rules, InsertField field) {
    for (const BlockRule& rule : rules.blockRules) {
        for (const AttributeRule& attribute : rule.attributes) {
            if (insertFieldOf(attribute.namePattern) == field) {
                return true;
            }
        }
    }
    return false;
}

std::map<std::string, std::string, std::less<>> readLayoutNames(const std::string& path) {
    std::map<std::string, std::string, std::less<>> names;
    DxfPairReader reader;
    if (!reader.open(path)) {
        return names;
    }
    std::map<std::string, std::string, std::less<>> blockByHandle; // BLOCK_RECORD handle, name
    std::map<std::string, std::string, std::less<>> layoutByBlock; // block handle, layout name
    enum class In { Other, BlockRecord, Layout } in = In::Other;
    std::string handle;
    std::string name;
    std::string block;
    bool layoutPart = false; // after (100, AcDbLayout)
    auto finish = [&] {
        if (in == In::BlockRecord && !handle.empty()) {
            blockByHandle[handle] = name;
        } else if (in == In::Layout && !block.empty()) {
            layoutByBlock[block] = name;
        }
        handle.clear();
        name.clear();
        block.clear();
        layoutPart = false;
    };
    while (reader.next()) {
        const int code = reader.code();
        if (code == 0) {
            finish();
            const std::string_view kind = reader.value();
            in = kind == "BLOCK_RECORD" ? In::BlockRecord
                 : kind == "LAYOUT"     ? In::Layout
                                        : In::Other;
        } else if (in == In::BlockRecord) {
            if (code == 5) {
                handle = reader.value();
            } else if (code == 2) {
                name = reader.value();
            }
        } else if (in == In::Layout) {
            if (code == 100) {
                layoutPart = reader.value() == "AcDbLayout";
            } else if (layoutPart && code == 1 && name.empty()) {
                name = reader.value();
            } else if (layoutPart && code == 330 && block.empty()) {
                block = reader.value();
            }
        }
    }
    finish();
    for (const auto& [blockHandle, layout] : layoutByBlock) {
        if (const auto found = blockByHandle.find(blockHandle); found != blockByHandle.end()) {
            names[asciiUpper(found->second)] = layout;
        }
    }
    return names;
}

std::string insertFieldValue(InsertField field, const InsertRecord& insert,
                             const FieldSource& source) {
    switch (field) {
    case InsertField::Layer:
        return insert.layer;
    case InsertField::Layout: {
        if (!insert.paperSpace) {
            return "Model";
        }
        const std::string block =
            asciiUpper(insert.layoutBlock.empty() ? "*Paper_Space" : insert.layoutBlock);
        const auto found = source.layoutNames.find(block);
        return found != source.layoutNames.end() ? found->second : std::string();
    }
    case InsertField::Drawing:
        return source.drawingName;
    default:
        break;
    }
    const auto property =
        static_cast<std::size_t>(field) - static_cast<std::size_t>(InsertField::Handle);
    const std::string& value = insert.properties[property];
    return value.empty() ? std::string(kPropertyDefaults[property]) : value;
}

} // namespace kelvora

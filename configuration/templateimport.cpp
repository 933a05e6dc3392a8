#include "configuration/templateimport.h"

#include "engine/insertfields.h"

#include <algorithm>
#include <set>

namespace kelvora {

TemplateInsert readTemplateInsert(const InsertRecord& insert, const DrawingText& text) {
    TemplateInsert result;
    result.hasAttributes = insert.hasAttributes;
    result.names.push_back(text.decode(insert.blockName));
    for (const DxfAttribute& attribute : insert.attributes()) {
        result.names.push_back(text.decode(attribute.tag));
    }
    return result;
}

TemplateImportResult importTemplate(const std::string& drawingPath,
                                    const TemplateImportOptions& options) {
    TemplateImportResult result;
    DxfPairReader reader;
    if (!reader.open(drawingPath)) {
        result.error = std::string(kTemplateOpenFailedMessage);
        return result;
    }
    if (reader.form() == DxfForm::Dwg) {
        result.error = std::string(kTemplateDwgMessage);
        return result;
    }
    if (reader.form() == DxfForm::Other) {
        result.error = std::string(kTemplateNotDxfMessage);
        return result;
    }
    result.opened = true;
    std::set<std::string> seen; // block names upper-cased: compared without regard to case
    DrawingText text;
    auto onInsert = [&](const InsertRecord& record) {
        TemplateInsert insert = readTemplateInsert(record, text);
        const std::string& name = insert.names.front();
        // Only anonymous blocks named in upper case ("*U...") count as anonymous.
        const bool anonymous = name.starts_with("*U");
        if ((!insert.hasAttributes && !options.importBlocksWithoutAttributes) ||
            (anonymous && !options.importAnonymous)) {
            return;
        }
        if (!seen.insert(asciiUpper(name)).second) {
            return; // a later insert of a block already taken adds nothing
        }
        BlockRule rule;
        rule.blockPattern = name;
        rule.layerPattern.assign(1, '*');
        rule.space = std::string(kAnySpace);
        for (std::size_t i = 1; i < insert.names.size(); ++i) {
            rule.attributes.push_back({insert.names[i], "-1"});
        }
        result.blockRules.push_back(std::move(rule));
    };
    forEachInsert(
        reader, text, onInsert, [] { return true; }, options.reading);
    return result;
}

void addLayerAndPositionColumns(RuleSet& rules) {
    constexpr std::pair<std::string_view, InsertField> kAdded[] = {{"Layer", InsertField::Layer},
                                                                   {"Layout", InsertField::Layout},
                                                                   {"X", InsertField::X},
                                                                   {"Y", InsertField::Y}};
    for (const auto& [title, field] : kAdded) {
        auto at = std::find(rules.columns.begin(), rules.columns.end(), title);
        if (at == rules.columns.end()) {
            at = rules.columns.insert(at, std::string(title));
        }
        const std::string column = std::to_string(at - rules.columns.begin() + 1);
        for (BlockRule& rule : rules.blockRules) {
            rule.attributes.push_back({std::string(insertFieldPattern(field)), column});
        }
    }
}

} // namespace kelvora

#include "configuration/templateimport.h"

#include "engine/dxfreader.h"

#include <set>

namespace kelvora {

TemplateImportResult importTemplate(const std::string& drawingPath,
                                    const TemplateImportOptions& options) {
    TemplateImportResult result;
    DxfLineReader reader;
    if (!reader.open(drawingPath)) {
        return result;
    }
    result.opened = true;
    std::set<std::string> seen; // block names upper-cased: compared without regard to case
    scanForInserts(reader, [&] {
        std::optional<TemplateInsert> insert = readTemplateInsert(reader);
        if (!insert) {
            return;
        }
        const std::string& name = insert->names.front();
        // Only anonymous blocks named in upper case ("*U...") count as anonymous.
        const bool anonymous = name.starts_with("*U");
        if ((!insert->hasAttributes && !options.importBlocksWithoutAttributes) ||
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
        for (std::size_t i = 1; i < insert->names.size(); ++i) {
            rule.attributes.push_back({insert->names[i], "-1"});
        }
        result.blockRules.push_back(std::move(rule));
    });
    return result;
}

} // namespace kelvora

// An insert as the drawing walk hands it over, and the choices of how much it reads.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace kelvora {

struct DxfAttribute {
    std::string tag;    // group 2 of the ATTRIB
    std::string value;  // its group 1, or the text of its embedded MTEXT
    bool mtext = false; // value is MTEXT text, formatting codes included
};

// How much of a drawing the walk reads beyond the inserts of its entities section, each as
// the insert's block name in that section says.
struct ReadingChoices {
    // An anonymous block that stands for a state of a dynamic block ("*U16") is read under
    // the dynamic block's own name.
    bool dynamicNames = true;
    // The inserts of every layout's block definition are read too, after the entities section.
    bool allLayouts = true;
    // An array insert (column count 70, row count 71) counts columns x rows copies.
    bool minsertCopies = true;
    // An insert also yields the inserts of its block's definition, level by level.
    bool nested = false;
    // The insert's handle, insertion point, rotation and scales are kept on its record.
    bool insertProperties = false;
};

// The properties of an insert that the walk keeps when the choices ask for them, each as
// the drawing writes it: handle (5), insertion point (10, 20, 30), rotation (50) and scale
// factors (41, 42, 43).
enum class InsertProperty { Handle, X, Y, Z, Rotation, XScale, YScale, ZScale, Count };
inline constexpr std::size_t kInsertPropertyCount = static_cast<std::size_t>(InsertProperty::Count);

// An insert as the drawing holds it: every text trimmed, in the drawing's bytes.
struct InsertRecord {
    std::string blockName;      // the dynamic block's name when the choices ask for it
    std::string layer;          // the last group 8 before the block name; empty without one
    bool paperSpace = false;    // group 67 with value 1 before the block name, or a layout's
    bool hasAttributes = false; // group 66 with value 1: ATTRIB entities follow
    long long copies = 1;       // the copies of an array insert, times those of its holders
    // Empty where the drawing leaves a property out.
    std::array<std::string, kInsertPropertyCount> properties;
    // For an insert read from a layout's block definition, or held by one: that block's name.
    std::string layoutBlock;
    std::string& property(InsertProperty which) {
        return properties[static_cast<std::size_t>(which)];
    }
    std::span<const DxfAttribute> attributes() const { return {slots_.data(), count_}; }

    // Building, for the walk: slots keep their storage from one insert to the next.
    void clear() {
        blockName.clear();
        layer.clear();
        paperSpace = hasAttributes = false;
        copies = 1;
        count_ = 0;
        layoutBlock.clear();
    }
    // The properties are cleared apart: only a walk that keeps them needs to.
    void clearProperties() {
        for (std::string& value : properties) {
            value.clear();
        }
    }
    DxfAttribute& addAttribute() {
        if (count_ == slots_.size()) {
            slots_.emplace_back();
        }
        DxfAttribute& slot = slots_[count_++];
        slot.tag.clear();
        slot.value.clear();
        slot.mtext = false;
        return slot;
    }
    void dropLastAttribute() { --count_; }

private:
    std::vector<DxfAttribute> slots_;
    std::size_t count_ = 0;
};

} // namespace kelvora

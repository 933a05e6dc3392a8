// One walk over a drawing's pairs that hands over every insert of its entities section as a
// plain record, for runs and for the template import alike.
#pragma once

#include "engine/dxfreader.h"
#include "text/drawingtext.h"

#include <span>
#include <string>
#include <vector>

namespace kelvora {

struct DxfAttribute {
    std::string tag;    // group 2 of the ATTRIB
    std::string value;  // its group 1, or the text of its embedded MTEXT
    bool mtext = false; // value is MTEXT text, formatting codes included
};

// An insert as the drawing holds it: every text trimmed, in the drawing's bytes.
struct InsertRecord {
    std::string blockName;
    std::string layer;          // the last group 8 before the block name; empty without one
    bool paperSpace = false;    // group 67 with value 1 before the block name
    bool hasAttributes = false; // group 66 with value 1: ATTRIB entities follow
    std::span<const DxfAttribute> attributes() const { return {slots_.data(), count_}; }

    // Building, for the walk: slots keep their storage from one insert to the next.
    void clear() {
        blockName.clear();
        layer.clear();
        paperSpace = hasAttributes = false;
        count_ = 0;
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

struct WalkOutcome {
    bool stopped = false;       // beforePair asked to stop
    long long insertsFound = 0; // INSERT entities, those cut off before their name included
};

// Reads the drawing's header for its encoding (into text) and calls
// onInsert(const InsertRecord&) for every insert of the entities section in file order.
// The entities section starts at the pair (0, SECTION) followed by (2, ENTITIES) and ends at
// (0, ENDSEC); an insert starts at (0, INSERT); its attributes, when group 66 says they follow,
// are the ATTRIB entities up to (0, SEQEND) or the next entity of another kind. beforePair runs
// before every pair read and stops the walk by returning false; an insert being read then is
// dropped. An insert cut off by the end of the file is handed over with what it holds, unless
// it has no block name yet. A template, so that the per-pair work is compiled into the loop.
template <class OnInsert, class BeforePair>
WalkOutcome forEachInsert(DxfPairReader& reader, DrawingText& text, OnInsert&& onInsert,
                          BeforePair&& beforePair) {
    WalkOutcome outcome;
    InsertRecord insert;
    auto step = [&] {
        if (!beforePair()) {
            outcome.stopped = true;
            return false;
        }
        return reader.next();
    };
    auto atEntity = [&](std::string_view kind) {
        return reader.code() == 0 && reader.value() == kind;
    };

    // Pairs of one ATTRIB entity, up to the next group 0.
    auto readAttribute = [&] {
        DxfAttribute& attribute = insert.addAttribute();
        bool tagged = false;
        bool valued = false;
        bool embedded = false; // after (101, "Embedded Object"): the MTEXT's pairs
        std::string tail;      // the embedded MTEXT's group 1, which follows its groups 3
        while (step() && reader.code() != 0) {
            const int code = reader.code();
            if (!embedded) {
                if (code == 1 && !valued) {
                    attribute.value = reader.value(); // the first value counts
                    valued = true;
                } else if (code == 2) {
                    attribute.tag = reader.value();
                    tagged = true;
                } else if (code == 101 && reader.value() == "Embedded Object") {
                    embedded = true;
                }
            } else if (code == 3 || code == 1) {
                if (!attribute.mtext) {
                    attribute.mtext = true;
                    attribute.value.clear();
                }
                if (code == 3) {
                    attribute.value += reader.untrimmedValue();
                } else {
                    tail = reader.untrimmedValue();
                }
            }
        }
        if (attribute.mtext) {
            attribute.value += tail;
            attribute.value = trimBlanks(attribute.value); // the joined text, as any value
        }
        if (!tagged) {
            insert.dropLastAttribute(); // nothing to place without a tag
        }
    };

    // From (0, INSERT) to the pair after the insert, which is left unread.
    auto readInsert = [&] {
        insert.clear();
        bool named = false;
        bool more;
        while ((more = step()) && reader.code() != 0) {
            switch (reader.code()) {
            case 2:
                if (!named) {
                    insert.blockName = reader.value();
                    named = true;
                }
                break;
            case 8:
                if (!named) {
                    insert.layer = reader.value();
                }
                break;
            case 67:
                if (!named && reader.value() == "1") {
                    insert.paperSpace = true;
                }
                break;
            case 66:
                if (reader.value() == "1") {
                    insert.hasAttributes = true;
                }
                break;
            default:
                break;
            }
        }
        if (named && insert.hasAttributes) {
            while (more && atEntity("ATTRIB")) {
                readAttribute();
                more = !outcome.stopped && reader.code() == 0;
            }
        }
        if (named && !outcome.stopped) {
            onInsert(static_cast<const InsertRecord&>(insert));
        }
        return more;
    };

    auto readHeader = [&] {
        std::string variable;
        std::string version;
        std::string codePage;
        while (step() && !atEntity("ENDSEC")) {
            const int code = reader.code();
            if (code == 9) {
                variable = reader.value();
            } else if (code == 1 && variable == "$ACADVER") {
                version = reader.value();
            } else if (code == 3 && variable == "$DWGCODEPAGE") {
                codePage = reader.value();
            }
        }
        text.setHeader(version, codePage);
    };

    bool headerRead = false;
    bool more = step();
    while (more) {
        if (!atEntity("SECTION")) {
            more = step();
            continue;
        }
        more = step();
        if (!more || reader.code() != 2) {
            continue; // the pair is looked at again as a possible section start
        }
        const std::string_view name = reader.value();
        if (name == "HEADER" && !headerRead) {
            readHeader();
            headerRead = true;
        } else if (name == "ENTITIES") {
            more = step();
            while (more && !atEntity("ENDSEC")) {
                if (atEntity("INSERT")) {
                    ++outcome.insertsFound;
                    more = readInsert();
                } else {
                    more = step();
                }
            }
            break; // nothing after the entities section is read
        }
        more = !outcome.stopped && step();
    }
    return outcome;
}

} // namespace kelvora

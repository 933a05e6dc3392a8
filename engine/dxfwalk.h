// One walk over a drawing's pairs that hands over every insert of its entities section as a
// plain record, for runs and for the template import alike.
#pragma once

#include "engine/blocklibrary.h"
#include "engine/dxfreader.h"
#include "engine/insertrecord.h"
#include "text/drawingtext.h"

#include <charconv>
#include <string>

namespace kelvora {

struct WalkOutcome {
    bool stopped = false;       // beforePair asked to stop
    long long insertsFound = 0; // inserts read, each copy counted, those without a name included
};

// Reads the drawing's header for its encoding (into text) and calls
// onInsert(const InsertRecord&) for every insert of the entities section in file order, then,
// as the choices ask, for the inserts of the other layouts' block definitions in file order;
// with nested blocks each insert is followed by those its block holds.
// The entities section starts at the pair (0, SECTION) followed by (2, ENTITIES) and ends at
// (0, ENDSEC); an insert starts at (0, INSERT); its attributes, when group 66 says they follow,
// are the ATTRIB entities up to (0, SEQEND) or the next entity of another kind. The block
// definitions are read likewise from (0, BLOCK) to (0, ENDBLK), and the dynamic blocks' names
// from the BLOCK_RECORD table. beforePair runs before every pair read, and before every insert
// handed over from a block definition, and stops the walk by returning false; an insert being
// read then is dropped. An insert cut off by the end of the file is handed over with what it
// holds, unless it has no block name yet. A template, so that the per-pair work is compiled
// into the loop.
template <class OnInsert, class BeforePair>
WalkOutcome forEachInsert(DxfPairReader& reader, DrawingText& text, OnInsert&& onInsert,
                          BeforePair&& beforePair, const ReadingChoices& choices = {}) {
    WalkOutcome outcome;
    InsertRecord insert;
    BlockLibrary library;
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
    auto count = [&](std::string_view value) {
        int n = 1;
        std::from_chars(value.data(), value.data() + value.size(), n);
        return n > 1 ? n : 1;
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

    // The insert's properties, when the choices ask for them; other groups are passed over.
    auto keepProperty = [&] {
        const int code = reader.code();
        const InsertProperty which = code == 5    ? InsertProperty::Handle
                                     : code == 10 ? InsertProperty::X
                                     : code == 20 ? InsertProperty::Y
                                     : code == 30 ? InsertProperty::Z
                                     : code == 41 ? InsertProperty::XScale
                                     : code == 42 ? InsertProperty::YScale
                                     : code == 43 ? InsertProperty::ZScale
                                     : code == 50 ? InsertProperty::Rotation
                                                  : InsertProperty::Count;
        if (which != InsertProperty::Count) {
            insert.property(which) = reader.value();
        }
    };

    // From (0, INSERT) to the pair after the insert, which is left unread. Returns whether a
    // pair is left; named tells whether the insert got its block name.
    bool named = false;
    auto readInsert = [&] {
        insert.clear();
        if (choices.insertProperties) {
            insert.clearProperties();
        }
        named = false;
        int columns = 1;
        int rows = 1;
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
            case 70:
                columns = count(reader.value());
                break;
            case 71:
                rows = count(reader.value());
                break;
            default:
                if (choices.insertProperties) {
                    keepProperty();
                }
                break;
            }
        }
        if (choices.minsertCopies) {
            insert.copies = timesCopies(columns, rows);
        }
        if (named && insert.hasAttributes) {
            while (more && atEntity("ATTRIB")) {
                readAttribute();
                more = !outcome.stopped && reader.code() == 0;
            }
        }
        named = named && !outcome.stopped;
        return more;
    };

    // Hands one insert over under the name the choices give it.
    auto handOver = [&](InsertRecord& record) {
        if (choices.dynamicNames) {
            if (const std::string* name = library.dynamicName(record.blockName)) {
                record.blockName = *name;
            }
        }
        outcome.insertsFound = std::min(outcome.insertsFound + record.copies, kMostCopies);
        onInsert(static_cast<const InsertRecord&>(record));
    };
    // An insert read at the top level, followed, for nested blocks, by those its block holds.
    InsertRecord nested;
    std::string definition;
    std::string layoutBlock;
    auto handOverWithNested = [&](InsertRecord& record) {
        if (!choices.nested) {
            handOver(record);
            return true;
        }
        definition = record.blockName; // the anonymous state's own definition holds its content
        const bool paperSpace = record.paperSpace;
        layoutBlock = record.layoutBlock;
        const long long copies = record.copies;
        handOver(record);
        for (const BlockLibrary::Nested& held : library.nestedIn(definition)) {
            if (!beforePair()) {
                outcome.stopped = true;
                return false;
            }
            library.load(held.insert, nested);
            nested.paperSpace = paperSpace;
            nested.layoutBlock = layoutBlock;
            nested.copies = timesCopies(copies, held.copies);
            handOver(nested);
        }
        return true;
    };

    // One BLOCK_RECORD entry: its handle, name and what its XDATA says of a dynamic block.
    auto readBlockRecord = [&] {
        std::string handle;
        std::string name;
        std::string represented;
        std::string trueName;
        enum class Xdata { Other, Represents, TrueName } application = Xdata::Other;
        bool more;
        while ((more = step()) && reader.code() != 0) {
            switch (reader.code()) {
            case 5:
                handle = reader.value();
                break;
            case 2:
                name = reader.value();
                break;
            case 1001:
                application = reader.value() == "AcDbBlockRepBTag"           ? Xdata::Represents
                              : reader.value() == "AcDbDynamicBlockTrueName" ? Xdata::TrueName
                                                                             : Xdata::Other;
                break;
            case 1005:
                if (application == Xdata::Represents && represented.empty()) {
                    represented = reader.value();
                }
                break;
            case 1000:
                if (application == Xdata::TrueName && trueName.empty()) {
                    trueName = reader.value();
                }
                break;
            default:
                break;
            }
        }
        library.addBlockRecord(handle, name, represented, trueName);
        return more;
    };
    auto readTables = [&] {
        bool blockRecords = false; // inside the BLOCK_RECORD table
        bool more = step();
        while (more && !atEntity("ENDSEC")) {
            if (atEntity("TABLE")) {
                more = step();
                blockRecords = more && reader.code() == 2 && reader.value() == "BLOCK_RECORD";
            } else if (blockRecords && atEntity("BLOCK_RECORD")) {
                more = readBlockRecord();
            } else {
                more = step();
            }
        }
        library.resolveDynamicNames();
    };

    // The block definitions; their inserts are kept where layouts or nesting need them.
    auto readBlocks = [&] {
        bool keeping = false;
        bool more = step();
        while (more && !atEntity("ENDSEC")) {
            if (atEntity("BLOCK")) {
                std::string name;
                bool nameRead = false;
                while ((more = step()) && reader.code() != 0) {
                    if (reader.code() == 2 && !nameRead) {
                        name = reader.value();
                        nameRead = true;
                    }
                }
                library.beginBlock(name);
                keeping = choices.nested || (choices.allLayouts && BlockLibrary::layoutOf(name) !=
                                                                       BlockLibrary::Layout::None);
            } else if (atEntity("ENDBLK")) {
                library.endBlock();
                keeping = false;
                more = step();
            } else if (keeping && atEntity("INSERT")) {
                more = readInsert();
                if (named) {
                    library.keepInsert(insert);
                }
            } else {
                more = step();
            }
        }
    };

    // The layouts kept in block definitions, after the entities section.
    auto readLayouts = [&] {
        for (const std::uint32_t block : library.layoutBlocks()) {
            const bool paperSpace = library.layoutOfBlock(block) == BlockLibrary::Layout::Paper;
            const auto [first, end] = library.insertsOf(block);
            for (std::uint32_t i = first; i < end; ++i) {
                if (!beforePair()) {
                    outcome.stopped = true;
                    return;
                }
                library.load(i, insert);
                insert.paperSpace = paperSpace;
                insert.layoutBlock = library.nameOfBlock(block);
                if (!handOverWithNested(insert)) {
                    return;
                }
            }
        }
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
        } else if (name == "TABLES" && choices.dynamicNames) {
            readTables();
        } else if (name == "BLOCKS" && (choices.allLayouts || choices.nested)) {
            readBlocks();
        } else if (name == "ENTITIES") {
            more = step();
            while (more && !atEntity("ENDSEC")) {
                if (!atEntity("INSERT")) {
                    more = step();
                    continue;
                }
                more = readInsert();
                if (!named) {
                    ++outcome.insertsFound; // cut off before its name: found, but no row
                } else if (!handOverWithNested(insert)) {
                    break;
                }
            }
            if (choices.allLayouts && !outcome.stopped) {
                readLayouts();
            }
            break; // nothing after the entities section is read
        }
        more = !outcome.stopped && step();
    }
    return outcome;
}

} // namespace kelvora

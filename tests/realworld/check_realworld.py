"""Reads drawings made by real CAD programs with ezdxf and with kelvora-batch and compares the rows.

usage: check_realworld.py KELVORA_BATCH FOLDER

FOLDER holds the drawings and MANIFEST.tsv (file name, producer and version of each). For every
drawing listed there:

1. ezdxf reads the INSERT entities of the ENTITIES section in file order, each with the tags and
   plain values of its ATTRIB entities, and the whole drawing: its block records (the names of
   dynamic blocks behind their anonymous states), its layouts and its block definitions.
2. A configuration is written for the drawing: one block rule "*" on layer "*" in "Any Space",
   and one attribute rule per distinct tag (ASCII case folded), each to a column of its own.
3. kelvora-batch -e csv --text-encoding utf-8 writes the table three times, and each is compared
   row by row, field by field, with the rows that the ezdxf reading and the same rules give:
   - with every reading choice off: the inserts of the entities section under their names as
     written, one row each;
   - with the defaults: the same inserts under their dynamic blocks' names, an array insert
     (MINSERT) once per copy (rows x columns, whatever the spacing), then the inserts of every
     other layout in file order;
   - with --nested: after each insert, the inserts held by its block at any depth (each level
     multiplied by its copies, a block inside itself not entered again), compared as a set
     since the order within such a group is ours to choose.
   A few drawings are also written as workbooks (defaults) and read back with xlrd.
4. The binary and text copies of one drawing give the same rows.

A difference is accepted only when it is of a kind listed in KNOWN_DIFFERENCES; any other fails
the check and is printed with the drawing, the reading, the insert's index, the field, our
value and ezdxf's.

Tags that cannot stand in a pattern as they are -- holding ",", "*", "?" or control characters,
blanks at either end or non-ASCII characters -- get a pattern in which each of the first is "?"
and the blanks at an end and each run of non-ASCII characters are "*". Such a pattern may match
other tags too, so the rules with wildcards come first and the literal ones after them (the last
matching rule gives the column), and the expected rows are built by matching every tag against
the same rules.

Exit status: 0 all rows agree up to known differences; 1 a new kind of difference or a failed
run; 77 (registered as the test's SKIP_RETURN_CODE) when FOLDER is absent.
"""
import argparse
import csv
import io
import itertools
import logging
import os
import re
import subprocess
import sys
import tempfile
import time

import ezdxf
import xlrd
from ezdxf import recover
from ezdxf.entities import factory
from ezdxf.entities.subentity import entity_linker
from ezdxf.lldxf.const import DXFStructureError
from ezdxf.lldxf.extendedtags import ExtendedTags
from ezdxf.lldxf.tagger import binary_tags_loader, tag_compiler
from ezdxf.lldxf.validator import is_binary_dxf_file
from ezdxf.tools.text import plain_mtext, plain_text

SKIP_RETURN_CODE = 77

BLOCK_NAME_TITLE = "Block Name"

# How a kind of difference turns the drawn text, before ezdxf makes it plain, so that ezdxf's
# reading becomes ours.


def diameter_sign(text):
    return re.sub(r"%%[cC]", "\u2300", text)


def percent_codes(text):
    return re.sub(r"%%(%|[0-9]{3})", lambda m: "%" if m.group(1) == "%" else chr(int(m.group(1))),
                  text)


MIF_CODECS = {"1": "cp932", "2": "cp950", "3": "cp949", "4": "johab", "5": "gbk"}


def mif_escape(text):
    return re.sub(r"\\M\+([1-5])([0-9A-Fa-f]{4})",
                  lambda m: bytes.fromhex(m.group(2)).decode(MIF_CODECS[m.group(1)]), text)


def stacked_fraction(text):
    return re.sub(r"\\S([^;^]*)\^([^;]*);", r"\\S\1/\2;", text)


# Accepted kinds of difference: kind -> (why the readers differ, the tweak that explains it).
# The drawings of tests/engine/fixtures show each of them (the check's run on them asks for it).
KNOWN_DIFFERENCES = {
    "diameter-sign": ("%%c: ezdxf gives the letter \u00d8 (U+00D8), we give the diameter sign "
                      "\u2300 (U+2300); both look alike, ours names the symbol", diameter_sign),
    "percent-codes": ("%%% and %%nnn: ezdxf keeps them as drawn, we give \"%\" and the "
                      "character of code nnn; ours is right", percent_codes),
    "mif-escape": ("\\M+Nxxxx (a character of an Asian code page): ezdxf keeps it as drawn, "
                   "we decode it; ours is right", mif_escape),
    "stacked-fraction": ("\\S1^2; in MTEXT: ezdxf reads ^2 as a control character (\"1p\"), "
                         "we give \"1/2\"; ours is right", stacked_fraction),
}

# Drawings whose results are also written as workbooks: embedded MTEXT, an empty value, a
# formatting code, non-ASCII block names, a repeated tag, several tags per insert.
WORKBOOK_DRAWINGS = [
    "acadsharp_sample_AC1032_ascii.dxf",
    "gdal_attrib.dxf",
    "qcad_dxflib_demo.dxf",
    "libredwg_2010_gh209_1.dxf",
    "qcad_test_layer_off_freeze_001_11_11_11.dxf",
    "ezdxf_multi_insert_with_attribs.dxf",
]

# The same drawing saved as binary and as text DXF.
TWINS = [
    ("acadsharp_sample_AC1009_binary.dxf", "acadsharp_sample_AC1009_ascii.dxf"),
    ("acadsharp_sample_AC1015_binary.dxf", "acadsharp_sample_AC1015_ascii.dxf"),
    ("netdxf_sample_binary.dxf", "netdxf_sample.dxf"),
]

UNICODE_ESCAPE = re.compile(r"\\[Uu]\+([0-9A-Fa-f]{4})")


def decode_unicode_escapes(text):
    # ezdxf decodes \U+XXXX only in its loader for text drawings and only with upper-case hex
    # digits: the escapes that it leaves (all of them in binary drawings) are decoded here.
    return UNICODE_ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), text)


def ascii_upper(text):
    return "".join(c.upper() if c.isascii() else c for c in text)


class Insert:
    def __init__(self, name):
        self.name = name
        self.attributes = []  # (tag, drawn text, whether the text is MTEXT)


def insert_of(entity, name=None):
    """The insert as a row source: its (true) block name and the tags and texts of its
    ATTRIB entities."""
    insert = Insert(decode_unicode_escapes(name if name is not None else entity.dxf.name))
    for attrib in entity.attribs:
        tag = decode_unicode_escapes(attrib.dxf.tag)
        if attrib.has_embedded_mtext_entity:
            text = decode_unicode_escapes(attrib.virtual_mtext_entity().text)
            insert.attributes.append((tag, text, True))
        else:
            insert.attributes.append((tag, decode_unicode_escapes(attrib.dxf.text), False))
    return insert


def copies_of(entity):
    # Every copy of an array counts, also where a zero spacing stacks them (ezdxf's mcount
    # leaves those out, as they draw as one).
    return max(1, entity.dxf.get("row_count", 1)) * max(1, entity.dxf.get("column_count", 1))


def ezdxf_tags(path):
    if is_binary_dxf_file(path):
        with open(path, "rb") as stream:
            return tag_compiler(binary_tags_loader(stream.read()))
    # The recover loader finds the code page from the header like a CAD program does.
    with open(path, "rb") as stream:
        return recover.safe_tag_loader(io.BytesIO(stream.read()))


def entities_section(tags):
    """Yields the tags of every entity of the ENTITIES section, one list per entity."""
    inside = False
    previous = None
    entity = None
    for tag in tags:
        if tag.code == 0:
            if entity is not None:
                yield entity
                entity = None
            if inside and tag.value == "ENDSEC":
                return
            if inside:
                entity = [tag]
        elif entity is not None:
            entity.append(tag)
        elif (tag.code, tag.value) == (2, "ENTITIES") and previous == (0, "SECTION"):
            inside = True
        previous = (tag.code, tag.value)
    if entity is not None:
        yield entity


def read_with_ezdxf(path):
    """The INSERT entities of the entities section in file order, as ezdxf reads and links
    them."""
    inserts = []
    link = entity_linker()
    for tags in entities_section(ezdxf_tags(path)):
        entity = factory.load(ExtendedTags(tags))
        try:
            link(entity)
        except DXFStructureError:
            # An ATTRIB list ended without SEQEND: the next entity starts afresh.
            link = entity_linker()
            link(entity)
        if entity.dxftype() == "INSERT":
            inserts.append(entity)
    return inserts


class Drawing:
    """ezdxf's reading of the whole drawing: dynamic blocks' names, layouts, definitions."""

    ACTIVE_LAYOUTS = ("*MODEL_SPACE", "*PAPER_SPACE")  # their inserts are in the entities section

    def __init__(self, path):
        if is_binary_dxf_file(path):
            self.doc = ezdxf.readfile(path)
        else:
            self.doc, _ = recover.readfile(path)
        self.true_names = {}
        for record in self.doc.block_records:
            name = self.dynamic_name(record)
            if name is not None:
                self.true_names[record.dxf.name.upper()] = name

    def dynamic_name(self, record):
        """The dynamic block's name for an anonymous state: the block record that its
        AcDbBlockRepBTag points at, or the name in AcDbDynamicBlockTrueName where that record
        is anonymous too."""
        if not record.dxf.name.startswith("*"):
            return None
        for _ in range(8):
            pointer = None
            if record.has_xdata("AcDbBlockRepBTag"):
                pointer = next((t.value for t in record.get_xdata("AcDbBlockRepBTag")
                                if t.code == 1005), None)
            target = self.doc.entitydb.get(pointer) if pointer else None
            if target is not None and target is not record and target.dxftype() == "BLOCK_RECORD":
                record = target
                if not record.dxf.name.startswith("*"):
                    return record.dxf.name
                continue
            if record.has_xdata("AcDbDynamicBlockTrueName"):
                return next((t.value for t in record.get_xdata("AcDbDynamicBlockTrueName")
                             if t.code == 1000), None)
            return None
        return None

    def shown_name(self, entity):
        return self.true_names.get(entity.dxf.name.upper(), entity.dxf.name)

    def other_layouts(self):
        """The inserts of the layouts kept in block definitions, in file order."""
        inserts = []
        for block in self.doc.blocks:
            record = block.block_record
            if record.is_any_layout and record.dxf.name.upper() not in self.ACTIVE_LAYOUTS:
                inserts.extend(block.query("INSERT"))
        return inserts

    def nested(self, entity, copies, path=()):
        """(insert entity, copies) of everything the insert's block holds, at any depth."""
        name = entity.dxf.name
        block = self.doc.blocks.get(name)
        if block is None or name.upper() in path:
            return []
        found = []
        for inner in block.query("INSERT"):
            inner_copies = copies * copies_of(inner)
            found.append((inner, inner_copies))
            found.extend(self.nested(inner, inner_copies, path + (name.upper(),)))
        return found


READINGS = {
    # reading -> kelvora-batch flags
    "entities": ["--no-dynamic-names", "--active-layout-only", "--no-minsert-copies"],
    "defaults": [],
    "nested": ["--nested"],
}


def expected_inserts(reading, entities, drawing):
    """The rows that a reading gives, as Insert objects in our order, and the spans of rows
    whose order is ours to choose."""
    if reading == "entities":
        return [insert_of(e) for e in entities], []
    result = []
    spans = []
    for entity in entities + (drawing.other_layouts() if drawing else []):
        copies = copies_of(entity)
        result += [insert_of(entity, drawing.shown_name(entity))] * copies
        if reading == "nested":
            start = len(result)
            for inner, inner_copies in drawing.nested(entity, copies):
                result += [insert_of(inner, drawing.shown_name(inner))] * inner_copies
            spans.append((start, len(result)))
    return result, spans


def ezdxf_value(text, mtext, kinds=()):
    """ezdxf's plain value of a drawn text, after the tweaks of the known kinds of difference."""
    for kind in kinds:
        text = KNOWN_DIFFERENCES[kind][1](text)
    return plain_mtext(text) if mtext else plain_text(text)


# --- rules --------------------------------------------------------------------------------


def tag_pattern(tag):
    """A pattern that matches the tag: "?" stands for each of "," "*" "?" and a control
    character, "*" for blanks at either end (a reader may trim them) and for each run of
    non-ASCII characters."""
    body = tag.strip(" ")
    pieces = ["*"] if tag.startswith(" ") else []
    for run in re.findall(r"[^\x00-\x7f]+|.", body, re.DOTALL):
        if not run.isascii():
            pieces.append("*")
        elif run in ",*?" or run < " ":
            pieces.append("?")
        else:
            pieces.append(run)
    if body and tag.endswith(" "):
        pieces.append("*")
    return "".join(pieces)


def pattern_regex(pattern):
    parts = (".*" if c == "*" else "." if c == "?" else re.escape(c) for c in pattern)
    return re.compile("".join(parts), re.DOTALL)


class Rules:
    """One attribute rule per distinct tag (ASCII case folded), rules with wildcards first."""

    def __init__(self, inserts):
        tags = {}
        for insert in inserts:
            for tag, _, _ in insert.attributes:
                tags.setdefault(ascii_upper(tag), tag)
        patterns = sorted({tag_pattern(tag) for tag in tags.values()})
        literal = [p for p in patterns if "*" not in p and "?" not in p]
        self.patterns = [p for p in patterns if p not in literal] + literal
        self.regexes = [pattern_regex(ascii_upper(p)) for p in self.patterns]
        self.wildcard_tags = sum(1 for tag in tags.values() if tag_pattern(tag) != tag)

    def column(self, tag):
        """The column of the last rule whose pattern matches the tag (1-based)."""
        folded = ascii_upper(tag)
        matches = [i for i, r in enumerate(self.regexes) if r.fullmatch(folded)]
        return matches[-1] + 1

    def titles(self):
        return ["C%d" % (i + 1) for i in range(len(self.patterns))]

    def configuration(self):
        lines = [str(len(self.patterns))] + self.titles()
        lines += ["1", "*", str(len(self.patterns)), "*", "Any Space"]
        for i, pattern in enumerate(self.patterns):
            lines += [pattern, str(i + 1)]
        return "".join(line + "\r\n" for line in lines).encode("utf-8")

    def row(self, insert):
        """The row that ezdxf's reading of the insert gives under these rules."""
        row = [ascii_upper(insert.name)] + [""] * len(self.patterns)
        for tag, text, mtext in insert.attributes:
            row[self.column(tag)] = ezdxf_value(text, mtext)
        return row


# --- runs of kelvora-batch ----------------------------------------------------------------


class Failure(Exception):
    pass


def run_batch(program, drawing, configuration, folder, extension, flags=()):
    out = os.path.join(folder, extension + "".join(flags))
    os.makedirs(out, exist_ok=True)
    command = [program, "-q", "-c", configuration, "-o", out, "-e", extension,
               "--text-encoding", "utf-8", "--report", os.path.join(folder, "report.txt"),
               *flags, drawing]
    done = subprocess.run(command, capture_output=True, text=True, errors="replace")
    if done.returncode != 0:
        raise Failure("kelvora-batch -e %s exited with %d: %s" %
                      (extension, done.returncode, done.stderr.strip()))
    stem = os.path.splitext(os.path.basename(drawing))[0]
    return os.path.join(out, stem + "." + extension)


def csv_bytes(rows):
    text = io.StringIO()
    csv.writer(text, lineterminator="\r\n").writerows(rows)
    return b"\xef\xbb\xbf" + text.getvalue().encode("utf-8")


def read_csv_result(path):
    """The rows of a text result; Failure when it is not UTF-8 with a byte-order mark, CR LF
    line ends and the minimal RFC 4180 quoting."""
    with open(path, "rb") as stream:
        raw = stream.read()
    if not raw.startswith(b"\xef\xbb\xbf"):
        raise Failure("the text result has no UTF-8 byte-order mark")
    try:
        rows = list(csv.reader(io.StringIO(raw[3:].decode("utf-8"), newline="")))
    except UnicodeDecodeError as error:
        raise Failure("the text result is not UTF-8: %s" % error)
    if csv_bytes(rows) != raw:
        ours = raw.split(b"\r\n")
        expected = csv_bytes(rows).split(b"\r\n")
        line = next(i for i, pair in enumerate(itertools.zip_longest(ours, expected))
                    if pair[0] != pair[1])
        raise Failure("text result line %d is %r; with CR LF line ends and quoting only where "
                      "needed it reads %r" % (line + 1, (ours + [None])[line],
                                              (expected + [None])[line]))
    return rows


def read_xls_result(path, columns):
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    return [[str(sheet.cell_value(r, c)) if c < sheet.row_len(r) else ""
             for c in range(columns)] for r in range(sheet.nrows)]


def workbook_text(value):
    # A worksheet cell drops one leading apostrophe of a text.
    return value[1:] if value.startswith("'") else value


# --- comparison ---------------------------------------------------------------------------


class Tally:
    def __init__(self):
        self.drawings = 0
        self.inserts = 0
        self.rows = 0
        self.workbook_rows = 0
        self.known = {kind: 0 for kind in KNOWN_DIFFERENCES}
        self.new = []  # lines describing differences of no known kind

    def new_difference(self, drawing, what):
        self.new.append("%s: %s" % (drawing, what))


def explaining_kinds(text, mtext, ours, finish):
    """The smallest set of known kinds whose tweaks turn ezdxf's value into ours, or None."""
    for size in range(1, len(KNOWN_DIFFERENCES) + 1):
        for kinds in itertools.combinations(KNOWN_DIFFERENCES, size):
            if finish(ezdxf_value(text, mtext, kinds)) == ours:
                return kinds
    return None


def compare_rows(tally, drawing, rules, inserts, ours, source, spans=()):
    expected_header = [BLOCK_NAME_TITLE] + rules.titles()
    if not ours or ours[0] != expected_header:
        tally.new_difference(drawing, "%s title row %r, expected %r" %
                             (source, ours[:1], expected_header))
        return
    rows = ours[1:]
    if len(rows) != len(inserts):
        tally.new_difference(drawing, "%s has %d rows, ezdxf reads %d inserts" %
                             (source, len(rows), len(inserts)))
        return
    inserts = list(inserts)
    for start, end in spans:  # rows in an order of our choosing: sorted on both sides
        rows[start:end] = sorted(rows[start:end])
        inserts[start:end] = sorted(inserts[start:end], key=rules.row)
    workbook = source.startswith("xls")
    for index, (insert, row) in enumerate(zip(inserts, rows)):
        if workbook:
            tally.workbook_rows += 1
        else:
            tally.rows += 1
        expected = rules.row(insert)
        if len(row) != len(expected):
            tally.new_difference(drawing, "%s insert %d: %d fields, expected %d" %
                                 (source, index, len(row), len(expected)))
            continue
        finish = workbook_text if workbook else str  # str: a text stays as it is
        expected = [finish(v) for v in expected]
        if row[0] != expected[0]:
            tally.new_difference(drawing, "%s insert %d block name: ours %r, ezdxf %r" %
                                 (source, index, row[0], expected[0]))
        for column in range(1, len(row)):
            if row[column] == expected[column]:
                continue
            # Which attribute gave the column: the last one whose tag has it.
            drawn = [(t, m) for tag, t, m in insert.attributes if rules.column(tag) == column]
            kinds = explaining_kinds(*drawn[-1], row[column], finish) if drawn else None
            if kinds is None:
                tally.new_difference(drawing, "%s insert %d column %d (%s): ours %r, ezdxf %r" % (
                    source, index, column, rules.patterns[column - 1], row[column][:200],
                    expected[column][:200]))
            else:
                for kind in kinds:
                    tally.known[kind] += 1


def check_drawing(program, folder, name, work, tally, results):
    path = os.path.join(folder, name)
    entities = read_with_ezdxf(path)
    drawing = Drawing(path)
    expected = {reading: expected_inserts(reading, entities, drawing) for reading in READINGS}
    rules = Rules(expected["nested"][0] + expected["entities"][0])
    place = os.path.join(work, name)
    os.makedirs(place)
    configuration = os.path.join(place, "rules.kvx")
    with open(configuration, "wb") as stream:
        stream.write(rules.configuration())
    for reading, flags in READINGS.items():
        inserts, spans = expected[reading]
        ours = read_csv_result(run_batch(program, path, configuration, place, "csv", flags))
        compare_rows(tally, name, rules, inserts, ours, "csv " + reading, spans)
        if reading == "defaults":
            results[name] = ours[1:]
            tally.inserts += len(inserts)
    if name in WORKBOOK_DRAWINGS:
        workbook = run_batch(program, path, configuration, place, "xls")
        compare_rows(tally, name, rules, expected["defaults"][0],
                     read_xls_result(workbook, len(rules.patterns) + 1), "xls defaults")
    tally.drawings += 1
    return (len(entities), len(expected["defaults"][0]), len(expected["nested"][0]),
            rules.wildcard_tags)


def drawings_of(folder, tally):
    """(file, version, producer) of every drawing: from MANIFEST.tsv when the folder has one,
    which must then name every drawing of the folder."""
    present = sorted(n for n in os.listdir(folder) if n.lower().endswith(".dxf"))
    manifest = os.path.join(folder, "MANIFEST.tsv")
    if not os.path.exists(manifest):
        return [(name, "", "") for name in present]
    with open(manifest, encoding="utf-8", newline="") as stream:
        entries = list(csv.DictReader(stream, delimiter="\t"))
    listed = {entry["file"] for entry in entries}
    for name in sorted(set(present) - listed):
        tally.new_difference(name, "not listed in MANIFEST.tsv")
    for name in sorted(listed - set(present)):
        tally.new_difference(name, "listed in MANIFEST.tsv but missing")
    return [(e["file"], e["acadver"], e["producer"]) for e in entries if e["file"] in present]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program", help="the kelvora-batch program")
    parser.add_argument("folder", help="the drawings, with MANIFEST.tsv if there is one")
    parser.add_argument("--every-kind", action="store_true",
                        help="fail when a known kind of difference does not show")
    options = parser.parse_args()
    if not os.path.isdir(options.folder):
        print("SKIPPED: the drawings folder %s was not found; nothing was compared" %
              options.folder)
        return SKIP_RETURN_CODE
    logging.disable(logging.CRITICAL)  # ezdxf's notes on odd structures
    started = time.monotonic()
    tally = Tally()
    results = {}
    with tempfile.TemporaryDirectory(prefix="kelvora-realworld-") as work:
        for name, version, producer in drawings_of(options.folder, tally):
            try:
                entities, rows, nested, wildcards = check_drawing(
                    options.program, options.folder, name, work, tally, results)
            except Failure as failure:
                tally.new_difference(name, str(failure))
                continue
            note = ", %d tags as wildcard patterns" % wildcards if wildcards else ""
            print("%-46s %-8s %4d inserts, %4d rows, %4d nested%s  %s" % (
                name, version, entities, rows, nested, note, producer))
    twins = [(b, t) for b, t in TWINS if b in results and t in results]
    for binary, text in twins:
        if results[binary] != results[text]:
            tally.new_difference(binary, "rows differ from those of its text twin " + text)
    if options.every_kind:
        for kind in KNOWN_DIFFERENCES:
            if tally.known[kind] == 0:
                tally.new_difference(options.folder, "no difference of the known kind " + kind)

    print()
    print("drawings: %d, rows with the defaults: %d, rows compared: %d (csv, three readings) + %d "
          "(xls), binary/text twins: %d, %.1f s" % (tally.drawings, tally.inserts, tally.rows,
                                                    tally.workbook_rows,
                          len(twins), time.monotonic() - started))
    print("differences by kind:")
    for kind, (reason, _) in KNOWN_DIFFERENCES.items():
        print("  %-17s %4d  %s" % (kind, tally.known[kind], reason))
    print("  %-17s %4d" % ("new kinds", len(tally.new)))
    for line in tally.new:
        print("NEW DIFFERENCE " + line)
    return 1 if tally.new else 0


if __name__ == "__main__":
    sys.exit(main())

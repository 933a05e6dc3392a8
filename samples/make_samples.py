#!/usr/bin/python3
"""Writes the sample drawings of this folder (run from anywhere: /usr/bin/python3 make_samples.py).

doors_r12.dxf          R12: doors with attributes on two layers, model and paper space
windows_r2000.dxf      R2000: windows with attributes, one window on a layer the rules skip
equipment_tags.dxf     R2010: equipment tags, a block without attributes, a lower-case block name
"""
import os

import ezdxf

HERE = os.path.dirname(os.path.abspath(__file__))


def define(doc, name, tags):
    block = doc.blocks.new(name=name)
    block.add_line((0, 0), (1, 0))
    for i, tag in enumerate(tags):
        block.add_attdef(tag, (0, -0.3 * i))
    return name


def place(space, name, layer, point, values):
    insert = space.add_blockref(name, point, dxfattribs={"layer": layer})
    for i, (tag, value) in enumerate(values):
        insert.add_attrib(tag, value, (point[0], point[1] - 0.3 * i))
    return insert


def save(doc, filename):
    doc.saveas(os.path.join(HERE, filename))


def doors():
    doc = ezdxf.new("R12")
    for layer in ("DOORS", "DOORS-EXT", "NOTES"):
        doc.layers.add(layer)
    define(doc, "DOOR_SINGLE", ["REF", "TYPE", "WIDTH", "HEIGHT", "QTY"])
    define(doc, "DOOR_DOUBLE", ["REF", "TYPE", "WIDTH", "HEIGHT", "QTY"])
    msp = doc.modelspace()
    place(msp, "DOOR_SINGLE", "DOORS", (0, 0),
          [("REF", "D-01"), ("TYPE", "Flush"), ("WIDTH", "900"), ("HEIGHT", "2100"), ("QTY", "1")])
    place(msp, "DOOR_SINGLE", "DOORS", (5, 0),
          [("REF", "D-02"), ("TYPE", "Glazed"), ("WIDTH", "800"), ("HEIGHT", "2100"), ("QTY", "1")])
    place(msp, "DOOR_DOUBLE", "DOORS-EXT", (10, 0),
          [("REF", "D-03"), ("TYPE", "Fire, 60 min"), ("WIDTH", "1600"), ("HEIGHT", "2400"),
           ("QTY", "2")])
    msp.add_text("Door schedule", dxfattribs={"layer": "NOTES"})
    # A title-sheet copy in paper space: the rules take model space only.
    place(doc.layout("Layout1"), "DOOR_SINGLE", "DOORS", (0, 0),
          [("REF", "D-01"), ("TYPE", "Flush"), ("WIDTH", "900"), ("HEIGHT", "2100"), ("QTY", "1")])
    save(doc, "doors_r12.dxf")
    # Written as on the platform where such drawings are made: carriage return and line feed.
    path = os.path.join(HERE, "doors_r12.dxf")
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))


def windows():
    doc = ezdxf.new("R2000")
    for layer in ("WINDOWS", "WINDOWS-DEMOLISHED"):
        doc.layers.add(layer)
    define(doc, "WIN_CASEMENT", ["REF", "WIDTH", "HEIGHT"])
    define(doc, "WIN_FIXED", ["REF", "WIDTH", "HEIGHT"])
    msp = doc.modelspace()
    place(msp, "WIN_CASEMENT", "WINDOWS", (0, 5), [("REF", "W-01"), ("WIDTH", "1200"), ("HEIGHT", "1400")])
    place(msp, "WIN_CASEMENT", "WINDOWS", (4, 5), [("REF", "W-02"), ("WIDTH", "1200"), ("HEIGHT", "1400")])
    place(msp, "WIN_FIXED", "WINDOWS", (8, 5), [("REF", "W-03"), ("WIDTH", "600"), ("HEIGHT", "1800")])
    place(msp, "WIN_FIXED", "WINDOWS-DEMOLISHED", (12, 5),
          [("REF", "W-04"), ("WIDTH", "600"), ("HEIGHT", "1800")])
    save(doc, "windows_r2000.dxf")


def equipment():
    doc = ezdxf.new("R2010")
    for layer in ("EQUIPMENT", "FURNITURE"):
        doc.layers.add(layer)
    define(doc, "TAG_PUMP", ["TAG", "DESC", "QTY"])
    define(doc, "TAG_VALVE", ["TAG", "DESC"])
    define(doc, "chair", [])
    msp = doc.modelspace()
    place(msp, "TAG_PUMP", "EQUIPMENT", (0, 10), [("TAG", "P-101"), ("DESC", "Feed pump"), ("QTY", "2")])
    place(msp, "TAG_VALVE", "EQUIPMENT", (3, 10), [("TAG", "V-201"), ("DESC", "Gate valve \"DN50\"")])
    place(msp, "TAG_VALVE", "EQUIPMENT", (6, 10), [("TAG", "V-202"), ("DESC", "Check valve")])
    for x in (0, 1, 2):
        msp.add_blockref("chair", (x, 20), dxfattribs={"layer": "FURNITURE"})
    save(doc, "equipment_tags.dxf")


if __name__ == "__main__":
    doors()
    windows()
    equipment()

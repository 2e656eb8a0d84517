#!/usr/bin/python3
"""Every record the layout writes has the items and the nesting the document gives it.

    layout_vs_document.py BINARY

Runs `BINARY -o doc.gnv -layout layout.json` over every file of the corpus
(VEX_CORPUS_DIR, else ../shared/corpus beside the source tree), as a
copybook, with -lenient and with -program; wherever both files are written,
each layout record is compared with the document's definition of that name:

- a group's members that redefine nothing are the document's <Item>s of its
  definition, in order, by name (a FILLER by being one), group or not, with
  the same OCCURS bounds; a member the document made stand-alone (ref=) is
  followed to its definition;
- the members that redefine a sibling are the document's stand-alone
  definitions of the record that no <Item> refers to: as many, with the
  same last names, group or not, and as many items inside.

Exit status 77 (skipped) without a corpus, 1 when a record differs.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

DEFINITIONS = ("GroupDefinition", "StringDefinition", "NumberDefinition", "BinaryDefinition")


def filler_free(name):
    """A name as both sides must agree on it: FILLER without its number,
    a redefining group without the redefined name the document adds."""
    name = re.sub(r"_REDEFINES_.*$", "", name)
    return "FILLER" if re.fullmatch(r"FILLER\d*", name) else name


class Node:
    """A layout item with its members, built from the order of the items
    (paths need not be unique)."""

    def __init__(self, item):
        self.item = item
        self.name = item["path"].split(".")[-1]
        self.members = []

    def size(self):
        return 1 + sum(m.size() for m in self.members)


def layout_tree(record):
    stack = []
    for item in record["items"]:
        if item["level"] == 66:
            continue
        node = Node(item)
        depth = item["path"].count(".")
        del stack[depth:]
        if stack:
            stack[-1].members.append(node)
        stack.append(node)
    return stack[0]


def written(node, siblings):
    """The names the document may build the names of definitions inside an
    item from: FILLER unnumbered (or nothing, for an item without a name), a
    -lenient repeat without its number."""
    if re.fullmatch(r"FILLER\d*", node.name):
        return ["FILLER", ""]
    repeat = re.fullmatch(r"(.*)_(\d+)", node.name)
    if repeat and any(s.name == repeat.group(1) for s in siblings):
        return [repeat.group(1)]
    return [node.name]


class Document:
    def __init__(self, path):
        root = ET.parse(path).getroot()
        fmt = root.find("MessageFormat")
        # Stand-alone definitions in document order; two may share a name.
        self.order = [(d.get("name"), d) for d in (fmt if fmt is not None else [])
                      if d.tag in DEFINITIONS and d.get("name")]
        self.referenced = {i.get("ref") for i in root.iter("Item") if i.get("ref")}
        self.used = set()

    def named(self, name):
        return next((d for n, d in self.order if n == name), None)

    def definition(self, item):
        if item.get("ref"):
            return self.named(item.get("ref"))
        for child in item:
            if child.tag in DEFINITIONS:
                return child
        return None

    def redefinition(self, parent_paths, node, siblings):
        """The first unused stand-alone definition of `node`, a redefining
        member of the group whose definitions are named from one of
        `parent_paths`: by its own name, or a group's name extended by the
        name it redefines."""
        target = filler_free(node.item["redefines"].split(".")[-1]).upper().replace("_", "-")
        wanted = [p + "_" + node.name for p in parent_paths] + \
                 [p + "_" + w + "_REDEFINES_" + target for p in parent_paths
                  for w in written(node, siblings)]
        for index, (name, definition) in enumerate(self.order):
            if name in wanted and index not in self.used and name not in self.referenced:
                self.used.add(index)
                return name, definition
        return None, None


def compare(node, definition, doc_paths, doc, problems):
    path = node.item["path"]
    if definition is None:
        problems.append(f"{path}: no definition in the document")
        return
    if bool(node.members) != (definition.tag == "GroupDefinition"):
        problems.append(f"{path}: group in one, not in the other ({definition.tag})")
        return
    if not node.members:
        return
    plain = [m for m in node.members if "redefines" not in m.item]
    items = definition.findall("Item")
    if [filler_free(m.name) for m in plain] != [filler_free(i.get("name")) for i in items]:
        problems.append(f"{path}: members {[m.name for m in plain]}, the document "
                        f"{[i.get('name') for i in items]}")
        return
    for member, item in zip(plain, items):
        occurs = member.item.get("occurs")
        want = (str(occurs["min"]), str(occurs["max"])) if occurs else (None, None)
        got = (item.get("minOccurs"), item.get("maxOccurs"))
        if want != got:
            problems.append(f"{member.item['path']}: OCCURS {want}, the document {got}")
        inner = [p + "_" + w for p in doc_paths for w in written(member, node.members)]
        compare(member, doc.definition(item), inner, doc, problems)
    for member in node.members:
        if "redefines" not in member.item:
            continue
        name, found = doc.redefinition(doc_paths, member, node.members)
        if found is None:
            problems.append(f"{member.item['path']}: redefines, the document has no "
                            f"{doc_paths[0]}_{member.name}")
            continue
        compare(member, found, [name], doc, problems)


def compare_record(record, doc, record_names, problems):
    root = layout_tree(record)
    # A record group that redefines another: the document adds that name
    # (normalised, so without "_").
    name = record["name"]
    pattern = re.compile("|".join(re.escape(w) + "_REDEFINES_[^_]+" for w in [name] +
                                  written(root, [])))
    found, definition = name, doc.named(name)
    for index, (other, element) in enumerate(doc.order):
        if index not in doc.used and pattern.fullmatch(other):
            doc.used.add(index)
            found, definition = other, element
            break
    paths = written(root, []) if found == name else [found]
    compare(root, definition, paths, doc, problems)
    prefixes = tuple(w + "_" for w in paths)
    for index, (name, _) in enumerate(doc.order):
        if name.startswith(prefixes) and name not in doc.referenced and index not in doc.used \
                and name not in record_names:
            problems.append(f"{record['name']}: the document's {name} is no item of the layout")


def loose_parts(record, doc):
    """A copybook's entries without an 01 are one layout record (RECORD,
    RECORD-2 ...) where the document defines each entry on its own: its
    top-level members as the records the document compares with."""
    if doc.named(record["name"]) is not None or not re.fullmatch(r"RECORD(-\d+)?", record["name"]):
        return [record]
    prefix = record["name"] + "."
    parts = []
    for item in record["items"][1:]:
        path = item["path"][len(prefix):]
        if "." not in path:
            parts.append({"name": path, "items": []})
        parts[-1]["items"].append(dict(item, path=path))
    return parts


def main():
    binary = os.path.realpath(sys.argv[1])
    here = os.path.dirname(os.path.abspath(__file__))
    source = os.environ.get("VEX_SOURCE_DIR", os.path.join(here, "..", ".."))
    corpus = os.environ.get("VEX_CORPUS_DIR", os.path.join(source, "..", "shared", "corpus"))
    manifest = os.path.join(corpus, "MANIFEST.tsv")
    if not os.path.exists(manifest):
        print(f"no corpus at {corpus} (set VEX_CORPUS_DIR); skipped")
        return 77
    rows = [line.rstrip("\n").split("\t") for line in open(manifest, encoding="utf-8")][1:]
    # A COPY names the original file name: one folder of links per corpus folder.
    stages = {}
    compared = failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        for row in rows:
            folder = os.path.dirname(row[0])
            if folder not in stages:
                stage = os.path.join(scratch, "stage", str(len(stages)))
                os.makedirs(stage)
                for other in rows:
                    if os.path.dirname(other[0]) == folder:
                        link = os.path.join(stage, os.path.basename(other[2]))
                        if not os.path.exists(link):
                            os.symlink(os.path.join(corpus, other[0]), link)
                stages[folder] = stage
            path = os.path.join(corpus, row[0])
            free = ["-f"] if row[7] != "yes" and row[8] == "yes" else []
            for mode in ([], ["-lenient"], ["-program"]):
                work = tempfile.mkdtemp(dir=scratch)
                run = subprocess.run(
                    [binary, *free, *mode, "-i", path, "-d", stages[folder], "-d",
                     os.path.dirname(path), "-e", ".cbl", "-e", ".cob", "-o", "doc.gnv",
                     "-layout", "layout.json"],
                    cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL, timeout=60)
                doc_path = os.path.join(work, "doc.gnv")
                layout_path = os.path.join(work, "layout.json")
                if run.returncode != 0 or not os.path.exists(layout_path) \
                        or not os.path.exists(doc_path):
                    continue
                doc = Document(doc_path)
                records = json.load(open(layout_path))["records"]
                records = [part for record in records for part in loose_parts(record, doc)]
                names = {r["name"] for r in records}
                for record in records:
                    problems = []
                    compare_record(record, doc, names, problems)
                    compared += 1
                    if problems:
                        failures += 1
                        print(f"FAIL {row[0]} {' '.join(mode)} record {record['name']}:")
                        for problem in problems[:10]:
                            print(f"    {problem}")
    print(f"{compared} records compared with their document definitions, {failures} differ")
    return 1 if failures or compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

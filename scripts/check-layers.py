#!/usr/bin/env python3
"""Checks that the sources keep to the layer order the build defines.

Each folder of src/ is one library (src/CMakeLists.txt, vok_layer), and the
libraries a library links are the ones it builds on. The build writes that
order at configure time to layers.tsv in the build folder: one line per
library, with its folder below src/ and the targets it links directly. The
order is partial: a file may include headers of its own library and of the
libraries its library links, directly or through others; anything else (a
library beside it, one above it) is an error. Qt headers are included only
by libraries that link Qt, and no header includes itself back through a cycle.

    check-layers.py [--layers FILE] [REPOSITORY]
        check REPOSITORY/src (default: this repository) against FILE
        (default: REPOSITORY/build/layers.tsv)
    check-layers.py --self-test --layers FILE [REPOSITORY]
        check that the checker finds violations planted in a copy of the tree
"""
import os
import re
import shutil
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Q[A-Za-z0-9]+|Qt[A-Za-z]+/.*|q[a-z0-9_]+\.h)$")


class Layers:
    """The libraries, their folders and what each links, as the build wrote them."""

    def __init__(self, text):
        self.folder_of = {}
        self.links = {}
        for line in text.splitlines():
            if not line.strip():
                continue
            name, folder, *rest = line.split("\t")
            self.folder_of[name] = folder
            self.links[name] = rest[0].split() if rest else []
        self.library_in = {folder: name for name, folder in self.folder_of.items()}

    def reach(self, library):
        """Every target the library links, directly or through its libraries."""
        seen, todo = set(), list(self.links.get(library, []))
        while todo:
            target = todo.pop()
            if target not in seen:
                seen.add(target)
                todo.extend(self.links.get(target, []))
        return seen

    def uses_qt(self, library):
        return any(t.startswith("Qt") for t in self.reach(library))


def source_files(src_root):
    files = {}
    for folder, _, names in os.walk(src_root):
        for name in names:
            if name.endswith((".h", ".cpp")):
                path = os.path.join(folder, name)
                files[os.path.relpath(path, src_root).replace(os.sep, "/")] = path
    return files


def folder_of_file(relative):
    return relative.rsplit("/", 1)[0] if "/" in relative else ""


def resolve(header, relative, files):
    """The file below src/ a quoted include names, found as the compiler
    finds it: beside the including file first, then from src/."""
    beside = os.path.normpath(os.path.join(folder_of_file(relative), header)).replace(os.sep, "/")
    for candidate in (beside, header):
        if candidate in files:
            return candidate
    return None


def check_includes(relative, path, layers, files, problems):
    """The includes of one file that break the order; returns the ones in src/."""
    library = layers.library_in[folder_of_file(relative)]
    reach = layers.reach(library)
    found = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, header = match.groups()
            if kind == "<" and QT_HEADER.match(header) and not layers.uses_qt(library):
                problems.append(f"{relative}:{number}: {library} includes the Qt header "
                                f"<{header}> but does not link Qt")
            header = resolve(header, relative, files) if kind == '"' else None
            if header is None:
                continue
            found.append(header)
            target = layers.library_in.get(folder_of_file(header))
            if target and target != library and target not in reach:
                problems.append(f"{relative}:{number}: {library} includes {header} of "
                                f"{target}, which {library} does not link")
    return found


def include_cycles(graph):
    problems, state = [], {}

    def visit(node, stack):
        state[node] = 1
        stack.append(node)
        for nxt in graph.get(node, []):
            if state.get(nxt) == 1:
                cycle = stack[stack.index(nxt):] + [nxt]
                problems.append("include cycle: " + " -> ".join(cycle))
            elif nxt not in state:
                visit(nxt, stack)
        stack.pop()
        state[node] = 2

    for node in sorted(graph):
        if node not in state:
            visit(node, [])
    return problems


def check(src_root, layers):
    problems = []
    for name, folder in sorted(layers.folder_of.items()):
        if not os.path.isdir(os.path.join(src_root, folder)):
            problems.append(f"{name}: its folder src/{folder} does not exist")
    files = source_files(src_root)
    graph = {}
    for relative, path in sorted(files.items()):
        if folder_of_file(relative) not in layers.library_in:
            problems.append(f"{relative}: its folder is no library's folder")
            continue
        graph[relative] = check_includes(relative, path, layers, files, problems)
    return problems + include_cycles(graph)


# Includes planted in a copy of the real tree, each with the start of the
# message it must give (None: it must pass). They try the partial order:
# layout and recipe sit beside the output, not above it, the engines beside
# each other, and the core does not link the engines it loads.
PLANTED = [
    ("layout/Planted.cpp", '#include "output/CsvWriter.h"',
     "layout/Planted.cpp:1: vok_layout includes output/CsvWriter.h of vok_output, "
     "which vok_layout does not link"),
    ("recipe/Planted.cpp", '#include "output/OutputType.h"',
     "recipe/Planted.cpp:1: vok_recipe includes output/OutputType.h of vok_output"),
    ("output/Planted.cpp", '#include "output/xlsx/XlsxWorkbook.h"',
     "output/Planted.cpp:1: vok_output includes output/xlsx/XlsxWorkbook.h of vok_xlsx"),
    ("output/xls/Planted.cpp", '#include "output/xlsx/ZipPackage.h"',
     "output/xls/Planted.cpp:1: vok_xls includes output/xlsx/ZipPackage.h of vok_xlsx"),
    ("job/Planted.cpp", '#include "cli/TerminalProgress.h"',
     "job/Planted.cpp:1: vok_job includes cli/TerminalProgress.h of vok_cli"),
    ("cli/Planted.cpp", '#include "desktop_services/JobRunner.h"',
     "cli/Planted.cpp:1: vok_cli includes desktop_services/JobRunner.h"),
    ("editor/Planted.cpp", '#include "desktop/frmMain.h"',
     "editor/Planted.cpp:1: vok_editor includes desktop/frmMain.h of vok_desktop"),
    ("engine/Planted.cpp", "#include <QString>",
     "engine/Planted.cpp:1: vok_engine includes the Qt header <QString>"),
    ("output/PlantedBeside.cpp", '#include "xls/XlsWorkbook.h"',
     "output/PlantedBeside.cpp:1: vok_output includes output/xls/XlsWorkbook.h of vok_xls"),
    ("planted/Planted.cpp", "", "planted/Planted.cpp: its folder is no library's folder"),
    ("base/PlantedA.h", '#include "base/PlantedB.h"',
     "include cycle: base/PlantedA.h -> base/PlantedB.h -> base/PlantedA.h"),
    ("base/PlantedB.h", '#include "base/PlantedA.h"', None),
    # Includes the order allows: through links, however long the way.
    ("desktop/Planted.cpp", '#include <QWidget>\n#include "output/CsvWriter.h"\n'
     '#include "engine/clsTable.h"\n#include "pdf/grid/PdfGrid.h"', None),
    ("output/xlsx/Planted.cpp", '#include "output/workbook/SheetData.h"\n'
     '#include "output/Workbook.h"\n#include "output/typed_input/TypedInput.h"', None),
]


def self_test(repo, layers):
    real = check(os.path.join(repo, "src"), layers)
    if real:
        print("self-test failed: the real tree does not pass:", *real, sep="\n  ")
        return 1
    with tempfile.TemporaryDirectory() as root:
        src = os.path.join(root, "src")
        shutil.copytree(os.path.join(repo, "src"), src)
        for relative, text, _ in PLANTED:
            os.makedirs(os.path.dirname(os.path.join(src, relative)), exist_ok=True)
            with open(os.path.join(src, relative), "w") as f:
                f.write(text + "\n")
        found = check(src, layers)
    expected = [e for _, _, e in PLANTED if e]
    missing = [e for e in expected if not any(p.startswith(e) for p in found)]
    if missing or len(found) != len(expected):
        print("self-test failed; expected:", *missing, sep="\n  ")
        print("found:", *found, sep="\n  ")
        return 1
    print(f"self-test passed: the real tree passes, {len(expected)} planted "
          f"violations found, {len(PLANTED) - len(expected)} allowed includes pass")
    return 0


def main(argv):
    test = "--self-test" in argv
    argv = [a for a in argv if a != "--self-test"]
    layers_file = None
    if argv[:1] == ["--layers"]:
        layers_file, argv = argv[1], argv[2:]
    repo = argv[0] if argv else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    layers_file = layers_file or os.path.join(repo, "build", "layers.tsv")
    if not os.path.isfile(layers_file):
        print(f"{layers_file}: no layer order; configure the build first (cmake -B build)")
        return 2
    with open(layers_file, encoding="utf-8") as f:
        layers = Layers(f.read())
    if test:
        return self_test(repo, layers)
    problems = check(os.path.join(repo, "src"), layers)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} layer problem(s)")
        return 1
    print(f"layers: every include of {len(layers.folder_of)} libraries keeps to the build's order")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

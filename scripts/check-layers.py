#!/usr/bin/env python3
"""Checks that the sources keep to their layers.

Each file of src/ belongs to a layer; a file may include headers of its own
layer and of the layers below it, never of a layer above. Qt headers are
included only in the desktop folders (src/ui, src/editor), and no header
includes itself back through a cycle.

    check-layers.py [SOURCE_ROOT]     check the tree (default: the repository)
    check-layers.py --self-test       check that the checker finds violations
"""
import os
import re
import sys
import tempfile

# Lowest first. A file's layer is the first rule that matches its path below src/.
LAYERS = [
    ("base", [r"base/"]),
    ("pdf", [r"pdf/"]),
    ("output", [r"output/"]),
    ("layout", [r"layout/"]),
    ("recipe", [r"recipe/"]),
    ("engine", [r"engine/"]),
    # The command line's files; the rest of app/ is the job driver.
    ("cli", [r"app/(main|MainModule|modParseCommandLine|CommandLineObserver|InterruptWatcher)\."]),
    ("job", [r"app/"]),
    # The desktop's shared services, then the recipe editor, then the forms.
    ("desktop-services", [r"ui/(mod[A-Za-z]*|clsMRU|JobRunner|DesktopMessages)\."]),
    ("editor", [r"editor/"]),
    ("ui", [r"ui/"]),
]
ORDER = ["base", "pdf", "output", "layout", "recipe", "engine", "job", "cli",
         "desktop-services", "editor", "ui"]
QT_ALLOWED = ("ui", "editor", "desktop-services")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
QT_HEADER = re.compile(r"^(Q[A-Za-z0-9]+|Qt[A-Za-z]+/.*|q[a-z0-9_]+\.h)$")


def layer_of(relative):
    for name, patterns in LAYERS:
        if any(re.match(p, relative) for p in patterns):
            return name
    return None


def check(src_root):
    problems = []
    files = {}
    for folder, _, names in os.walk(src_root):
        for name in names:
            if name.endswith((".h", ".cpp")):
                path = os.path.join(folder, name)
                files[os.path.relpath(path, src_root).replace(os.sep, "/")] = path
    graph = {}
    for relative, path in sorted(files.items()):
        layer = layer_of(relative)
        if layer is None:
            problems.append(f"{relative}: lies in no layer")
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        graph[relative] = []
        for kind, header in INCLUDE.findall(text):
            if kind == "<" and QT_HEADER.match(header) and layer not in QT_ALLOWED:
                problems.append(f"{relative}: includes the Qt header <{header}> "
                                f"outside the desktop folders")
            if kind != '"' or header not in files:
                continue
            graph[relative].append(header)
            target = layer_of(header)
            if target and ORDER.index(target) > ORDER.index(layer):
                problems.append(f"{relative} ({layer}) includes {header} ({target}), "
                                f"a higher layer")
    # Include cycles among headers.
    state = {}

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


def self_test():
    with tempfile.TemporaryDirectory() as root:
        def put(relative, text):
            path = os.path.join(root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        put("base/A.h", '#include "base/B.h"\n')
        put("base/B.h", '#include "base/A.h"\n')
        put("output/W.cpp", '#include "engine/E.h"\n#include <QString>\n')
        put("engine/E.h", '#include "base/A.h"\n#include <vector>\n')
        put("ui/frmMain.cpp", '#include <QWidget>\n#include "engine/E.h"\n')
        found = check(root)
    expected = ["output/W.cpp (output) includes engine/E.h (engine)",
                "output/W.cpp: includes the Qt header <QString>",
                "include cycle: base/A.h -> base/B.h -> base/A.h"]
    missing = [e for e in expected if not any(p.startswith(e) for p in found)]
    if missing or len(found) != len(expected):
        print("self-test failed; found:", *found, sep="\n  ")
        return 1
    print("self-test passed")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    repo = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    problems = check(os.path.join(repo, "src"))
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} layer problem(s)")
        return 1
    print("layers: every include keeps to its layer")
    return 0


if __name__ == "__main__":
    sys.exit(main())

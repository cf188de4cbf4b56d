#!/usr/bin/env python3
"""Lists the functions of the sources that are longer than a limit.

A function's length is its lines from the first line of its name to its
closing brace, both counted. The scan knows C++ only as far as it needs to:
comments, string and character literals (raw strings too) are blanked, then
every brace at namespace or class level that follows a parameter list opens a
function body; lambdas and blocks inside a body belong to the body.

    function-lengths.py [--over N] [--exclude REGEX]... [PATH...]
        lists each function over N lines (default 60), longest first, and
        the counts over 60 and over 100; PATH defaults to the repository's src/
    function-lengths.py --self-test
"""
import argparse
import os
import re
import sys

IDENT = re.compile(r"[A-Za-z_~][A-Za-z_0-9]*(?:\s*::\s*~?[A-Za-z_][A-Za-z_0-9]*)*$")
SCOPE = re.compile(r"^\s*(template\s*<.*>\s*)?(namespace|class|struct|union|enum)\b|^\s*extern\s*\"C\"")


def blank_literals(text):
    """Returns the text with comments and literals replaced by blanks, lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            open_paren = text.find("(", i)
            delimiter = text[i + 2:open_paren]
            j = text.find(")" + delimiter + '"', open_paren)
            j = n if j < 0 else j + len(delimiter) + 2
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
        elif c in "\"'":
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum() \
                    and not text[i - 1].isalpha():
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + c if j - i >= 2 else c)
            i = j
        elif c == "#" and (i == 0 or text[i - 1] == "\n"):
            # Preprocessor lines (with their continuations) hold no bodies.
            j = i
            while True:
                k = text.find("\n", j)
                if k < 0:
                    k = n
                    break
                if text[k - 1] != "\\":
                    break
                j = k + 1
            out.append(re.sub(r"[^\n]", " ", text[i:k]))
            i = k
        else:
            out.append(c)
            i += 1
    return "".join(out)


def matching(text, i, opening, closing):
    """Index of the bracket that closes the one at i."""
    depth = 0
    for j in range(i, len(text)):
        if text[j] == opening:
            depth += 1
        elif text[j] == closing:
            depth -= 1
            if depth == 0:
                return j
    return len(text) - 1


def function_name(header):
    """The qualified name before the header's first top-level parameter list, or None."""
    depth_angle = 0
    for k, c in enumerate(header):
        if c == "(" and depth_angle == 0:
            before = header[:k].rstrip()
            if before.endswith("]"):  # a lambda at namespace level
                return None
            if re.search(r"\boperator$", before):  # the call operator
                return re.sub(r"\s+", "", IDENT.search(before).group(0)) + "()"
            m = IDENT.search(before)
            if m is None:
                m = re.search(r"operator\s*\S+$", before)
                return m.group(0).replace(" ", "") if m else None
            name = re.sub(r"\s+", "", m.group(0))
            if name.split("::")[-1] in ("if", "for", "while", "switch", "return", "catch"):
                return None
            if re.search(r"operator$", before[:m.start()].rstrip()):
                return "operator" + name
            return name
        if c == "<":
            depth_angle += 1
        elif c == ">" and depth_angle > 0:
            depth_angle -= 1
    return None


def is_initializer(header):
    """True when the brace that follows the header starts a braced initializer."""
    depth = 0
    for k, c in enumerate(header):
        if c in "([":
            depth += 1
        elif c in ")]":
            depth -= 1
        elif c == "=" and depth == 0:
            prev = header[k - 1] if k else ""
            nxt = header[k + 1] if k + 1 < len(header) else ""
            if prev not in "=!<>" and nxt != "=" and not header[:k].rstrip().endswith("operator"):
                return True
    return header.rstrip().endswith(("return", "]"))


def has_initializer_list(header):
    """True when a single colon follows the parameter list (a constructor's)."""
    open_paren = header.find("(")
    if open_paren < 0:
        return False
    rest = header[matching(header, open_paren, "(", ")") + 1:]
    return re.search(r"(?<!:):(?!:)", rest) is not None


def skip_initializer_list(text, header_start, brace):
    """Within a constructor's initializer list, the brace that opens the body.

    A brace right after a member's name (a{1}) belongs to the list; the body's
    brace follows a closing bracket."""
    j = brace
    while True:
        before = text[header_start:j].rstrip()
        if not before or not (before[-1].isalnum() or before[-1] in "_>"):
            return j
        j = matching(text, j, "{", "}") + 1
        nxt = text.find("{", j)
        if nxt < 0:
            return len(text) - 1
        j = nxt


def scan(text):
    """Yields (name, first line, last line) of every function body in the text."""
    code = blank_literals(text)
    line_of = []
    line = 1
    for c in code:
        line_of.append(line)
        if c == "\n":
            line += 1
    i, header_start, n = 0, 0, len(code)
    while i < n:
        c = code[i]
        if c in ";}":
            header_start = i + 1
        elif c == "{":
            header = code[header_start:i]
            if SCOPE.search(header) or is_initializer(header):
                if SCOPE.search(header) and not re.search(r"\benum\b", header):
                    header_start = i + 1  # scope: its members are scanned in turn
                    i += 1
                    continue
                i = matching(code, i, "{", "}")
                i += 1
                continue
            name = function_name(header)
            if name is None:
                i = matching(code, i, "{", "}") + 1
                header_start = i
                continue
            if has_initializer_list(header):
                i = skip_initializer_list(code, header_start, i)
            end = matching(code, i, "{", "}")
            first = header_start + len(header) - len(header.lstrip())
            name_pos = header.find(name.split("::")[0].lstrip("~"))
            first = header_start + name_pos if name_pos >= 0 else first
            yield name, line_of[first], line_of[end]
            i = end + 1
            header_start = i
            continue
        i += 1


def lengths(paths, excludes):
    found = []
    for root in paths:
        files = [root] if os.path.isfile(root) else [
            os.path.join(folder, name) for folder, _, names in os.walk(root) for name in names
            if name.endswith((".cpp", ".h", ".c"))]
        for path in sorted(files):
            if any(re.search(e, path) for e in excludes):
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for name, first, last in scan(text):
                found.append((last - first + 1, path, first, name))
    return found


def self_test():
    sample = r'''
namespace a {
// int Fake() {
struct S {
    int Inline() const { return 1; }
    size_t operator()(std::string_view name) const { return 0; }
};
S::S(int x) : m{x}, n(2) {
    auto f = [] { return "}"; };
}
const int table[] = {1, 2};
void Long(std::string_view s) {
    if (s == "{") {
        return;
    }
}
} // namespace a
'''
    got = [(name, last - first + 1) for name, first, last in scan(sample)]
    want = [("Inline", 1), ("operator()", 1), ("S::S", 3), ("Long", 5)]
    if got != want:
        print(f"self-test failed: {got} != {want}")
        return 1
    print("self-test passed")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="*")
    parser.add_argument("--over", type=int, default=60)
    parser.add_argument("--exclude", action="append", default=[])
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if args.self_test:
        return self_test()
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    paths = args.paths or [os.path.join(root, "src")]
    found = sorted(lengths(paths, args.exclude), key=lambda f: (-f[0], f[1], f[2]))
    for length, path, line, name in found:
        if length > args.over:
            print(f"{length:5d}  {os.path.relpath(path)}:{line}  {name}")
    over60 = sum(1 for f in found if f[0] > 60)
    over100 = sum(1 for f in found if f[0] > 100)
    print(f"{len(found)} functions; {over60} over 60 lines, {over100} over 100")
    return 0


if __name__ == "__main__":
    sys.exit(main())

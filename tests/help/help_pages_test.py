"""The user manual under help/: the program opens its pages by fixed paths, so
every one must exist, be well-formed HTML, link only to pages and anchors that
exist, stay within the manual, and lead back to the contents page."""

import os
import posixpath
import unittest
from html.parser import HTMLParser
from urllib.parse import unquote, urlsplit

SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
HELP = os.path.join(SOURCE, "help")
CONTENTS = "vok-wizard.htm"

# The paths the program opens below help/.
FIXED_PAGES = [
    CONTENTS,
    "home.htm",
    "about.htm",
    "revision_history.htm",
    "vok_wizard_users_manual/how_do_i_use_it_/howdoiuseit_.htm",
    "vok_wizard_users_manual/how_do_i_use_it_/step1.htm",
    "vok_wizard_users_manual/how_do_i_use_it_/step2.htm",
    "vok_wizard_users_manual/how_do_i_use_it_/step3.htm",
    "vok_wizard_users_manual/using_the_vok_wizard/recipefilemethod.htm",
    "vok_wizard_users_manual/using_the_vok_wizard/filemarkingmethod.htm",
    "vok_wizard_users_manual/options.htm",
    "vok_wizard_users_manual/command_line.htm",
    "vok_wizard_users_manual/troubleshooting.htm",
]

# Elements without an end tag.
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
        "source", "track", "wbr"}


class Page(HTMLParser):
    """Collects a page's ids, its references and any nesting fault."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.ids = []
        self.refs = []  # (attribute, value)
        self.problems = []
        self.open = []
        self.has_doctype = False
        self.title = ""
        self.in_title = False

    def handle_decl(self, decl):
        if decl.lower() == "doctype html":
            self.has_doctype = True

    def handle_starttag(self, tag, attrs):
        self.start(tag, attrs)
        if tag not in VOID:
            self.open.append((tag, self.getpos()[0]))
        if tag == "title":
            self.in_title = True

    def handle_startendtag(self, tag, attrs):
        self.start(tag, attrs)

    def start(self, tag, attrs):
        for name, value in attrs:
            if name == "id":
                self.ids.append(value)
            elif name in ("href", "src") and value is not None:
                self.refs.append((f"<{tag} {name}>", value))

    def handle_endtag(self, tag):
        if tag == "title":
            self.in_title = False
        if tag in VOID or self.problems:
            return
        if not self.open or self.open[-1][0] != tag:
            # The first fault is the one to fix; the ones after it follow from it.
            expected = self.open[-1] if self.open else ("nothing", 0)
            self.problems.append(f"line {self.getpos()[0]}: </{tag}> closes <{expected[0]}> "
                                 f"of line {expected[1]}")
            return
        self.open.pop()

    def handle_data(self, data):
        if self.in_title:
            self.title += data


def parse(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    page = Page()
    page.feed(text)
    page.close()
    return page, text


class HelpPages(unittest.TestCase):
    def test_manual_is_complete_and_consistent(self):
        problems = []
        missing = [p for p in FIXED_PAGES if not os.path.isfile(os.path.join(HELP, p))]
        for p in missing:
            problems.append(f"{p}: the program opens this page, but it is missing")

        pages = {}
        for folder, _, files in os.walk(HELP):
            for name in files:
                if name.endswith((".htm", ".html")):
                    rel = os.path.relpath(os.path.join(folder, name), HELP).replace(os.sep, "/")
                    pages[rel] = parse(os.path.join(folder, name))

        for rel, (page, text) in sorted(pages.items()):
            if not page.has_doctype:
                problems.append(f"{rel}: no <!DOCTYPE html>")
            if not page.title.strip():
                problems.append(f"{rel}: no title")
            if 'charset="utf-8"' not in text:
                problems.append(f"{rel}: no utf-8 charset declaration")
            problems += [f"{rel}: {p}" for p in page.problems]
            if not page.problems:
                for tag, line in page.open:
                    problems.append(f"{rel}: <{tag}> of line {line} is never closed")
            for duplicate in sorted({i for i in page.ids if page.ids.count(i) > 1}):
                problems.append(f"{rel}: id {duplicate!r} is used more than once")

        links_to_contents = {rel: False for rel in pages}
        for rel, (page, _) in sorted(pages.items()):
            for where, ref in page.refs:
                parts = urlsplit(ref)
                if parts.scheme or parts.netloc or ref.startswith("/"):
                    problems.append(f"{rel}: {where} {ref!r} is not a relative link")
                    continue
                if parts.path:
                    target = posixpath.normpath(
                        posixpath.join(posixpath.dirname(rel), unquote(parts.path)))
                else:
                    target = rel
                if target.startswith("../"):
                    problems.append(f"{rel}: {where} {ref!r} leads out of the manual")
                    continue
                if not os.path.isfile(os.path.join(HELP, target)):
                    problems.append(f"{rel}: {where} {ref!r} names a missing file")
                    continue
                if parts.fragment:
                    if target not in pages:
                        problems.append(f"{rel}: {where} {ref!r} has an anchor into a non-page")
                    elif unquote(parts.fragment) not in pages[target][0].ids:
                        problems.append(f"{rel}: {where} {ref!r}: {target} has no such anchor")
                if where == "<a href>" and target == CONTENTS:
                    links_to_contents[rel] = True
        for rel, linked in sorted(links_to_contents.items()):
            if not linked:
                problems.append(f"{rel}: no link back to the contents page")

        if CONTENTS in pages:
            contents_refs = {posixpath.normpath(urlsplit(ref).path)
                             for _, ref in pages[CONTENTS][0].refs if urlsplit(ref).path}
            for p in FIXED_PAGES:
                if p != CONTENTS and p not in contents_refs:
                    problems.append(f"{CONTENTS}: no link to {p}")

        about = os.path.join(HELP, "about.htm")
        if os.path.isfile(about):
            with open(about, encoding="utf-8") as f:
                if "@VOK_VERSION@" not in f.read():
                    problems.append("about.htm: the build puts the version where "
                                    "@VOK_VERSION@ stands, but it is missing")

        self.assertEqual(problems, [], "\n" + "\n".join(problems))


if __name__ == "__main__":
    unittest.main()

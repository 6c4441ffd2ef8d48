#!/usr/bin/python3
"""Reads an HTML file with Python's own parser and prints what the tests check, one
tab-separated line each, texts with CR, LF, tab and backslash escaped as \\r \\n \\t \\\\:
  title TEXT | row TABLE-ID CELL... | item LIST-ID TEXT | pre TEXT | error TEXT
errors being nesting faults (a closing tag that does not close the innermost open
element, elements left open)."""
import sys
from html.parser import HTMLParser

VOID = {"meta", "br", "hr", "img", "link", "input", "col", "area", "base", "source", "wbr"}


class Tables(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack, self.errors = [], []
        self.tables, self.lists, self.pre = {}, {}, []
        self.title = ""
        self.text = None
        self.row = None
        self.current_table = self.current_list = None

    def handle_starttag(self, tag, attrs):
        if tag not in VOID:
            self.stack.append(tag)
        ident = dict(attrs).get("id")
        if tag == "table":
            self.current_table = ident or "table%d" % len(self.tables)
            self.tables[self.current_table] = []
        elif tag in ("ul", "ol"):
            self.current_list = ident or "list%d" % len(self.lists)
            self.lists[self.current_list] = []
        elif tag == "tr":
            self.row = []
        elif tag in ("td", "th", "li", "pre", "title"):
            self.text = ""

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.stack or self.stack[-1] != tag:
            self.errors.append("</%s> closes %s" % (tag, self.stack[-1] if self.stack else "nothing"))
        else:
            self.stack.pop()
        if tag in ("td", "th") and self.row is not None:
            self.row.append(self.text)
        elif tag == "tr" and self.current_table is not None:
            self.tables[self.current_table].append(self.row)
            self.row = None
        elif tag == "li" and self.current_list is not None:
            self.lists[self.current_list].append(self.text)
        elif tag == "pre":
            self.pre.append(self.text)
        elif tag == "title":
            self.title = self.text
        if tag in ("td", "th", "li", "pre", "title"):
            self.text = None

    def handle_data(self, data):
        if self.text is not None:
            self.text += data


parser = Tables()
with open(sys.argv[1], encoding="utf-8") as f:
    parser.feed(f.read())
parser.close()


def esc(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n").replace("\t", "\\t")


out = ["title\t" + esc(parser.title)]
for ident, rows in parser.tables.items():
    out += ["row\t%s\t%s" % (ident, "\t".join(esc(c) for c in row)) for row in rows]
for ident, items in parser.lists.items():
    out += ["item\t%s\t%s" % (ident, esc(i)) for i in items]
out += ["pre\t" + esc(p) for p in parser.pre]
out += ["error\t" + e for e in parser.errors + ["<%s> left open" % t for t in parser.stack]]
sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))

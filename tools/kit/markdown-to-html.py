#!/usr/bin/python3
"""The kit's user guide as one self-contained HTML page: Markdown (tables, fenced code, heading
anchors) converted with Python-Markdown (Debian: python3-markdown), the style sheet inline, nothing
loaded from elsewhere. The same input gives the same bytes.

Usage: markdown-to-html.py GUIDE.md OUT.html
"""
import html
import re
import sys

import markdown

STYLE = """
body { font: 15px/1.55 "Segoe UI", system-ui, sans-serif; color: #1b1b1b; background: #fff;
       max-width: 60rem; margin: 2rem auto; padding: 0 1.25rem; }
h1, h2, h3 { line-height: 1.25; margin: 1.8em 0 .6em; }
h1 { font-size: 2rem; margin-top: 0; }
h2 { font-size: 1.45rem; border-bottom: 1px solid #d8dde3; padding-bottom: .25em; }
h3 { font-size: 1.15rem; }
a { color: #0b5cad; }
code, pre { font: 13px/1.45 Consolas, "DejaVu Sans Mono", monospace; }
code { background: #f0f2f4; padding: .1em .3em; border-radius: 3px; }
pre { background: #f5f7f9; border: 1px solid #d8dde3; border-radius: 4px; padding: .8em 1em;
      overflow-x: auto; }
pre code { background: none; padding: 0; }
table { border-collapse: collapse; margin: 1em 0; width: 100%; }
th, td { border: 1px solid #d8dde3; padding: .35em .6em; vertical-align: top; text-align: left;
         overflow-wrap: anywhere; }
th { background: #f0f2f4; }
@media (prefers-color-scheme: dark) {
  body { color: #e6e6e6; background: #1e1f22; }
  a { color: #6cb4ff; }
  code, th { background: #2b2d31; }
  pre { background: #26282c; border-color: #3a3d42; }
  th, td, h2 { border-color: #3a3d42; }
}
"""


def convert(text):
    body = markdown.markdown(text, extensions=["tables", "fenced_code", "toc"], output_format="html")
    match = re.search(r"<h1[^>]*>(.*?)</h1>", body, re.S)
    title = html.unescape(re.sub(r"<[^>]+>", "", match.group(1))) if match else "User guide"
    return ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            '<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n"
            f"{body}\n</body>\n</html>\n")


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__.split("\n\n")[-1].strip() + "\n")
        return 2
    with open(argv[1], encoding="utf-8") as source:
        page = convert(source.read())
    with open(argv[2], "w", encoding="utf-8", newline="\n") as out:
        out.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

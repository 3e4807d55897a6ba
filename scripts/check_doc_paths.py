#!/usr/bin/env python3
"""Fails on a path the docs name that is not in the source tree.

A text in backticks in README.md or docs/*.md is taken for a path of the repository when it has
no blank and its first part (up to the first "/") is a file or folder at the top of the source
tree, the build tree (build/) excepted. "<name>" in it stands for any one name and "*" for any
part of one; such a path must match at least one file or folder. Prints one line per path not
found and exits 1 when there is one.

Usage: check_doc_paths.py [SOURCE_DIR]
"""
import re
import sys
from pathlib import Path

CODE_RE = re.compile(r"`([^`\n]+)`")
PLACEHOLDER_RE = re.compile(r"<[^<>/]+>")
NOT_SOURCE = {"build"}


def docs(root):
    return [root / "README.md", *sorted((root / "docs").glob("*.md"))]


def missing_paths(root):
    """(doc, line number, path) for every path named in a doc that is not in the tree."""
    tops = {entry.name for entry in root.iterdir()} - NOT_SOURCE
    found = []
    for doc in docs(root):
        if not doc.is_file():
            continue
        for number, line in enumerate(doc.read_text(encoding="utf-8").splitlines(), 1):
            for text in CODE_RE.findall(line):
                if " " in text or text.split("/", 1)[0] not in tops:
                    continue
                pattern = PLACEHOLDER_RE.sub("*", text).rstrip("/")
                exists = any(root.glob(pattern)) if "*" in pattern else (root / pattern).exists()
                if not exists:
                    found.append((doc.relative_to(root).as_posix(), number, text))
    return found


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    found = missing_paths(root)
    for doc, number, text in found:
        print(f"{doc}:{number}: `{text}` is not in the source tree")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks that every language of the table has what the build cannot write for it.

The table is the kLanguages rows of language/interface_language.cpp. The build writes every list of
languages from it (installer/table_lists.cpp: the installers', the message table's files, the
templates' folders); what it cannot write is checked here: each language's texts in the event log's
message table (res/event_messages.mc), its Ostinel.adml in policy/, its text of each of the setup's
messages (installer/ostinel.nsi), its winget description (scripts/release_files.py), and its
pictures in the README, which must exist (scripts/make-pictures.sh makes them). A language found in
one of those files but not in the table fails too.

Usage: check_languages.py [SOURCE_DIR]
"""
import re
import sys
from pathlib import Path

ROW_RE = re.compile(
    r'^\s*\{"(?P<code>[A-Za-z]{2,3}(?:-[A-Za-z0-9]+)*)", "(?P<name>[^"]+)", \{(?P<locales>[^}]*)\}, '
    r'0x(?P<langid>[0-9A-Fa-f]{4}), "(?P<message>\w+)", "(?P<installer>\w+)", (?:true|false), &\w+\},',
    re.MULTILINE)


class Checker:
    def __init__(self):
        self.errors = []

    def error(self, where, text):
        self.errors.append(f"{where}: {text}")

    def same(self, where, what, found, expected):
        """found and expected as sets; names what is missing and what is left over."""
        for item in sorted(expected - found):
            self.error(where, f"{what} {item} is missing")
        for item in sorted(found - expected):
            self.error(where, f"{what} {item} is not a language of the table")


def read_languages(root):
    text = (root / "language" / "interface_language.cpp").read_text(encoding="utf-8")
    return [m.groupdict() for m in ROW_RE.finditer(text)]


def slug(name):
    return name.lower().replace(" ", "-")


def check_message_table(root, languages, checker):
    where = "res/event_messages.mc"
    text = (root / where).read_text(encoding="utf-8")
    names = re.findall(r"^LanguageNames=\((\w+)=0x([0-9A-Fa-f]+):MSG([0-9A-Fa-f]+)\)", text, re.MULTILINE)
    expected = {(l["message"], int(l["langid"], 16)) for l in languages}
    checker.same(where, "LanguageNames", {(n, int(i, 16)) for n, i, _ in names}, expected)
    for name, langid, binary in names:
        if int(binary, 16) != int(langid, 16):
            checker.error(where, f"LanguageNames {name}: its file MSG{binary} is not that of 0x{langid}")
    wanted = {l["message"] for l in languages}
    for block in re.split(r"^MessageId=", text, flags=re.MULTILINE)[1:]:
        message = block.split("\n", 1)[0].strip()
        checker.same(f"{where} MessageId={message}", "Language", set(re.findall(r"^Language=(\w+)", block, re.MULTILINE)),
                     wanted)


def check_templates(root, languages, checker):
    codes = {l["code"] for l in languages}
    found = {p.parent.name for p in (root / "policy").glob("*/Ostinel.adml")}
    checker.same("policy/", "folder with Ostinel.adml", found, codes)


def check_installers(root, languages, checker):
    codes = {l["code"] for l in languages}
    where = "installer/ostinel.nsi"
    text = (root / where).read_text(encoding="utf-8")
    constants = {"LANG_" + l["installer"].upper() for l in languages}
    strings = {}
    for name, constant in re.findall(r"^LangString (\w+) \$\{(\w+)\}", text, re.MULTILINE):
        strings.setdefault(name, set()).add(constant)
    for name, found in sorted(strings.items()):
        checker.same(f"{where} LangString {name}", "language", found, constants)
    where = "scripts/release_files.py"
    match = re.search(r"^LOCALES = \{(.*?)^\}", (root / where).read_text(encoding="utf-8"), re.MULTILINE | re.DOTALL)
    checker.same(where, "winget description of", set(re.findall(r"^    '([^']+)':", match.group(1), re.MULTILINE))
                 if match else set(), codes)


def check_pictures(root, languages, checker):
    where = "README.md"
    text = (root / where).read_text(encoding="utf-8")
    for picture in ("settings-dialog", "status-window"):
        shown = set(re.findall(rf"docs/screenshots/{picture}-([a-z-]+)\.png", text))
        checker.same(where, f"{picture} picture", shown, {slug(l["name"]) for l in languages})
        for name in sorted(shown):
            if not (root / "docs" / "screenshots" / f"{picture}-{name}.png").is_file():
                checker.error(where, f"shows docs/screenshots/{picture}-{name}.png, which does not exist "
                                     "(scripts/make-pictures.sh makes it)")


def check(root):
    """Every fault found in the source tree at root, as "file: what" lines."""
    languages = read_languages(root)
    checker = Checker()
    if not languages:
        checker.error("language/interface_language.cpp", "no row of the language table found")
    else:
        check_message_table(root, languages, checker)
        check_templates(root, languages, checker)
        check_installers(root, languages, checker)
        check_pictures(root, languages, checker)
    return languages, checker.errors


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    languages, errors = check(root)
    for error in errors:
        print(error)
    if not errors:
        print(f"{len(languages)} languages: {', '.join(l['code'] for l in languages)}; every list agrees")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())

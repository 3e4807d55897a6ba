#!/usr/bin/env python3
"""Checks every file that lists the interface languages against their table.

The table is the kLanguages rows of language/interface_language.cpp. For each language the event
log's message table (res/event_messages.mc, and the files its CMake rule makes) has its texts, the
administrative templates have its Ostinel.adml (which the build copies and the templates' check
reads), both installers install that file, the NSIS setup speaks the language, the installer test
looks for the file, and the pictures script and the README show the language. A language found in one of those files but not in the table fails too.

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
    where = "res/CMakeLists.txt"
    text = (root / where).read_text(encoding="utf-8")
    checker.same(where, "message table file", set(re.findall(r"MSG([0-9A-Fa-f]{5})\.bin", text)),
                 {f"{int(l['langid'], 16):05X}" for l in languages})


def check_templates(root, languages, checker):
    codes = {l["code"] for l in languages}
    found = {p.parent.name for p in (root / "policy").glob("*/Ostinel.adml")}
    checker.same("policy/", "folder with Ostinel.adml", found, codes)
    where = "policy/CMakeLists.txt"
    match = re.search(r"^set\(OSTINEL_POLICY_LANGUAGES ([^)]*)\)", (root / where).read_text(encoding="utf-8"), re.MULTILINE)
    checker.same(where, "OSTINEL_POLICY_LANGUAGES entry", set(match.group(1).split()) if match else set(), codes)
    where = "policy/check_templates.py"
    match = re.search(r"^LANGUAGES = \(([^)]*)\)", (root / where).read_text(encoding="utf-8"), re.MULTILINE)
    if not match:
        checker.error(where, "no LANGUAGES tuple")
    else:
        checker.same(where, "LANGUAGES entry", set(re.findall(r'"([^"]+)"', match.group(1))), codes)


def check_installers(root, languages, checker):
    codes = {l["code"] for l in languages}
    where = "installer/ostinel.nsi"
    text = (root / where).read_text(encoding="utf-8")
    checker.same(where, "MUI_LANGUAGE", set(re.findall(r'^!insertmacro MUI_LANGUAGE "(\w+)"', text, re.MULTILINE)),
                 {l["installer"] for l in languages})
    for macro in ("InstallPolicyTexts", "RemovePolicyTexts"):
        checker.same(where, macro, set(re.findall(rf"^\s*!insertmacro {macro} (\S+)", text, re.MULTILINE)), codes)
    constants = {"LANG_" + l["installer"].upper() for l in languages}
    strings = {}
    for name, constant in re.findall(r"^LangString (\w+) \$\{(\w+)\}", text, re.MULTILINE):
        strings.setdefault(name, set()).add(constant)
    for name, found in sorted(strings.items()):
        checker.same(f"{where} LangString {name}", "language", found, constants)
    where = "installer/ostinel.wxs"
    text = (root / where).read_text(encoding="utf-8")
    checker.same(where, "Ostinel.adml of",
                 set(re.findall(r'Source="\$\(var\.PolicyDir\)/([^/"]+)/Ostinel\.adml"', text)), codes)
    components = re.findall(r'<Component Id="(\w+)"[^>]*>\s*<File [^>]*Source="\$\(var\.PolicyDir\)/([^/"]+)/Ostinel\.adml"', text)
    installed = set(re.findall(r'<ComponentRef Id="(\w+)"/>', text))
    for component, code in components:
        if component not in installed:
            checker.error(where, f"component {component} with the Ostinel.adml of {code} is in no feature")
    where = "e2e/installer_test_lib.sh"
    text = (root / where).read_text(encoding="utf-8")
    checker.same(where, "Ostinel.adml of", set(re.findall(r"\b([A-Za-z]{2,3}-[A-Za-z0-9]+)/Ostinel\.adml", text)), codes)


def check_pictures(root, languages, checker):
    where = "scripts/make-pictures.sh"
    text = (root / where).read_text(encoding="utf-8")
    match = re.search(r"^for entry in ([^;]*); do", text, re.MULTILINE)
    expected = {f"{l['code'].replace('-', '_')}.UTF-8:{slug(l['name'])}" for l in languages}
    checker.same(where, "locale:picture", set(match.group(1).split()) if match else set(), expected)
    where = "README.md"
    text = (root / where).read_text(encoding="utf-8")
    for picture in ("settings-dialog", "status-window"):
        checker.same(where, f"{picture} picture",
                     set(re.findall(rf"docs/screenshots/{picture}-([a-z-]+)\.png", text)),
                     {slug(l["name"]) for l in languages})


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

#!/usr/bin/env python3
"""Checks every file that names the stored settings against their table, core/settings_table.h.

The table gives the settings key and each stored value's name. The MSI's preset rows and their
refusals are written from the table by the build (installer/table_lists.cpp); what is checked here
is what names the settings by hand: every spelling of a key under SOFTWARE\\Vemto that is not the
program's own (Ostinel, the policies) is the settings key, and the tests and scripts read and write
only values of the table, through their helpers or reg.exe.

Usage: check_settings.py [SOURCE_DIR]
"""
import re
import sys
from pathlib import Path

TABLE = "core/settings_table.h"
# Where a settings key may be spelled, and where the tests of the running program name its values (the
# store's own tests in store/ use any name: the store takes whatever it is given).
SCANNED = ["installer", "e2e", "core", "store", "bench", "scripts", "settings_opener", "support", "in_force", "settings_ui", "app"]
VALUES_SCANNED = {"installer", "e2e", "bench", "scripts"}
SCANNED_SUFFIXES = {".cpp", ".h", ".sh", ".nsi", ".wxs", ".py"}
# Keys under SOFTWARE\Vemto that are not the settings key.
OTHER_KEYS = {"ostinel"}
KEY_RE = re.compile(r"SOFTWARE\\{1,2}Vemto\\{1,2}(\w+)", re.IGNORECASE)
# Test helpers and registry calls that take a settings value's name first, and reg.exe lines on it.
VALUE_CALL_RE = re.compile(r"\b(?:StoreSetting|Store|ReadStoredSetting|DeleteStoredValue|ReadSetting|WriteSetting|"
                           r"QueryRaw|SetRaw|In64BitView)\(L\"(\w+)\"")
REG_LINE_RE = re.compile(r"\"?\$settings_key\"?\s+(?:/v\s+)?(\w+)")


class Checker:
    def __init__(self):
        self.errors = []

    def error(self, where, text):
        self.errors.append(f"{where}: {text}")


def read_table(root, checker):
    """(key, [value names]) from the table; None when it cannot be read."""
    text = (root / TABLE).read_text(encoding="utf-8")
    key = re.search(r'SETTINGS_KEY\[\] = L"([^"]+)";', text)
    rows = re.search(r"std::array<StoredValue, (\d+)> STORED_VALUES = \{\{(.*?)\}\};", text, re.DOTALL)
    if not key or not rows:
        checker.error(TABLE, "SETTINGS_KEY or the STORED_VALUES table was not found")
        return None

    values = re.findall(r'\{L"(\w+)",', rows.group(2))
    if len(values) != int(rows.group(1)):
        checker.error(TABLE, f"read {len(values)} of the {rows.group(1)} rows of STORED_VALUES")
    return key.group(1).replace("\\\\", "\\"), values


def scanned_files(root):
    for folder in SCANNED:
        for path in sorted((root / folder).rglob("*")):
            if path.is_file() and path.suffix in SCANNED_SUFFIXES and not path.name.startswith("check_settings"):
                yield path


def check_spellings(root, key, values, checker):
    settings_name = key.rsplit("\\", 1)[-1].lower()
    for path in scanned_files(root):
        where = path.relative_to(root).as_posix()
        text = path.read_text(encoding="utf-8", errors="replace")
        for found in KEY_RE.findall(text):
            if found.lower() not in OTHER_KEYS and found.lower() != settings_name:
                checker.error(where, f"names the key SOFTWARE\\Vemto\\{found}, not the settings key {key}")
        if path.relative_to(root).parts[0] not in VALUES_SCANNED:
            continue
        names = set(VALUE_CALL_RE.findall(text))
        if path.suffix == ".sh":
            names |= set(REG_LINE_RE.findall(text)) - {"32", "64"}
        for name in sorted(names - set(values)):
            checker.error(where, f"reads or writes the setting {name}, which the table does not store")


def check(root):
    """The table's value names and every fault found in the source tree at root, as "file: what" lines."""
    checker = Checker()
    table = read_table(root, checker)
    if table:
        key, values = table
        check_spellings(root, key, values, checker)
    return (table[1] if table else []), checker.errors


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    values, errors = check(root)
    for error in errors:
        print(error)
    if not errors:
        print(f"{len(values)} stored values: {', '.join(values)}; the tests and scripts agree")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())

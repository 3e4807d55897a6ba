#!/usr/bin/env python3
"""The check of the stored settings must refuse a file that disagrees with their table: each case
changes one file in a copy of the files it reads and expects the fault to be named. Names put in
are of values and keys that cannot be real, so that no setting added later fits them."""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_settings  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
FILES = ["core/settings_table.h", "e2e/settings_e2e_test.cpp", "e2e/installer_test_lib.sh", "e2e/msi_test.sh"]

# (what, file, text in it, its replacement, a part of the fault expected)
BROKEN = [
    ("a value renamed in the table alone", FILES[0], '{L"WaitTime",', '{L"NoSuchValue_Test",',
     "reads or writes the setting WaitTime, which the table does not store"),
    ("a test storing a value the program never reads", FILES[1], 'Store(L"WaitTime", 230);',
     'Store(L"NoSuchValue_Test", 230);', "reads or writes the setting NoSuchValue_Test"),
    ("an installer test on another key", FILES[2], "settings_key='HKLM\\Software\\Vemto\\Brenlo'",
     "settings_key='HKLM\\Software\\Vemto\\NoSuchKey_Test'", "names the key SOFTWARE\\Vemto\\NoSuchKey_Test"),
    ("an installer test checking a value nobody writes", FILES[3], 'reg_is "$settings_key" WaitTime 32',
     'reg_is "$settings_key" NoSuchValue_Test 32', "reads or writes the setting NoSuchValue_Test,"),
]


class SettingsLists(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="ostinel-settings-"))
        for name in FILES:
            (self.dir / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(ROOT / name, self.dir / name)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_the_lists_agree(self):
        values, faults = check_settings.check(self.dir)
        self.assertEqual(faults, [])
        # The two values the program has always stored, whatever is added to the table.
        self.assertLessEqual({"ButtonSetup", "WaitTime"}, set(values))

    def test_each_disagreement_is_refused(self):
        for what, name, old, new, expected in BROKEN:
            with self.subTest(what):
                path = self.dir / name
                original = path.read_text(encoding="utf-8")
                self.assertEqual(original.count(old), 1, f"the case no longer fits {name}: {old!r}")
                path.write_text(original.replace(old, new), encoding="utf-8")
                try:
                    _, faults = check_settings.check(self.dir)
                finally:
                    path.write_text(original, encoding="utf-8")
                self.assertTrue(any(expected in fault for fault in faults),
                                f"{what}: expected a fault with {expected!r}, got {faults}")


if __name__ == "__main__":
    unittest.main()

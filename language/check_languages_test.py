#!/usr/bin/env python3
"""The check of what each language needs besides its row must refuse a language half-added or
half-removed: each case changes one file in a copy of the files it reads and expects the fault to be
named. The added row is of a language that cannot be real, so that no language added later fits it."""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_languages  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
FILES = ["language/interface_language.cpp", "res/event_messages.mc", "installer/ostinel.nsi",
         "scripts/release_files.py", "README.md"]
LANGUAGES = [l["code"] for l in check_languages.read_languages(ROOT)]
# Each language's template, and the pictures the README shows.
ADML = [f"policy/{code}/Ostinel.adml" for code in LANGUAGES]
PICTURES = sorted(p.relative_to(ROOT).as_posix() for p in (ROOT / "docs" / "screenshots").glob("*.png"))
NEW_ROW = '    {"qx-QX", "Test Language Q", {L"QXQ"}, 0x04FF, "TestLanguageQ", "TestLanguageQ", false, &kEnglish},\n}};'

# (what, file, text in it, its replacement, a part of each fault expected)
BROKEN = [
    ("a row and nothing else", FILES[0], "\n}};", "\n" + NEW_ROW,
     ["Language TestLanguageQ is missing", "folder with Ostinel.adml qx-QX is missing",
      "StartNowText: language LANG_TESTLANGUAGEQ is missing", "winget description of qx-QX is missing",
      "settings-dialog picture test-language-q is missing"]),
    ("an event without its Traditional text", FILES[1], "Language=ChineseTraditional\nOstinel %1 已結束。\n.\n", "",
     "MessageId=2: Language ChineseTraditional is missing"),
    ("a setup message without its Simplified text", FILES[2], "LangString StartNowText ${LANG_SIMPCHINESE}",
     "; LangString StartNowText ${LANG_SIMPCHINESE}", "StartNowText: language LANG_SIMPCHINESE is missing"),
    ("a language without its winget description", FILES[3], "\n    'zh-TW': ", "\n    # 'zh-TW': ",
     "winget description of zh-TW is missing"),
]


class LanguageLists(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="ostinel-languages-"))
        for name in FILES + ADML + PICTURES:
            (self.dir / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(ROOT / name, self.dir / name)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_the_lists_agree(self):
        languages, faults = check_languages.check(self.dir)
        self.assertEqual(faults, [])
        self.assertEqual([l["code"] for l in languages], LANGUAGES)
        self.assertGreater(len(languages), 1)

    def test_a_picture_the_readme_shows_must_exist(self):
        picture = next(p for p in PICTURES if "/settings-dialog-" in p)
        (self.dir / picture).unlink()
        _, faults = check_languages.check(self.dir)
        self.assertTrue(any(f"shows {picture}, which does not exist" in fault for fault in faults), faults)

    def test_each_half_added_language_is_refused(self):
        for what, name, old, new, expected in BROKEN:
            with self.subTest(what):
                path = self.dir / name
                original = path.read_text(encoding="utf-8")
                self.assertEqual(original.count(old), 1, f"the case no longer fits {name}: {old!r}")
                path.write_text(original.replace(old, new), encoding="utf-8")
                try:
                    _, faults = check_languages.check(self.dir)
                finally:
                    path.write_text(original, encoding="utf-8")
                for part in [expected] if isinstance(expected, str) else expected:
                    self.assertTrue(any(part in fault for fault in faults),
                                    f"{what}: expected a fault with {part!r}, got {faults}")


if __name__ == "__main__":
    unittest.main()

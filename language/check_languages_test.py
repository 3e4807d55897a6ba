#!/usr/bin/env python3
"""The check of the language lists must refuse a language half-added or half-removed: each case
changes one file in a copy of the files it reads and expects the fault to be named."""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_languages  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
FILES = ["language/interface_language.cpp", "res/event_messages.mc", "res/CMakeLists.txt", "policy/CMakeLists.txt",
         "policy/check_templates.py", "installer/ostinel.nsi", "installer/ostinel.wxs", "e2e/installer_test_lib.sh",
         "scripts/make-pictures.sh", "README.md"]
ADML = ["policy/en-US/Ostinel.adml", "policy/zh-CN/Ostinel.adml", "policy/zh-TW/Ostinel.adml"]
NEW_ROW = '    {"de-DE", "German", {L"DEU"}, 0x0407, "German", "German", false, &kEnglish},\n}};'

# (what, file, text in it, its replacement, a part of each fault expected)
BROKEN = [
    ("a fourth row and nothing else", FILES[0], "\n}};", "\n" + NEW_ROW,
     ["Language German is missing", "MUI_LANGUAGE German is missing", "folder with Ostinel.adml de-DE is missing",
      "settings-dialog picture german is missing"]),
    ("an event without its Traditional text", FILES[1], "Language=ChineseTraditional\nOstinel %1 已結束。\n.\n", "",
     "MessageId=2: Language ChineseTraditional is missing"),
    ("a message table file not made", FILES[2], "${OSTINEL_MESSAGE_DIR}/MSG00404.bin", "", "file 00404 is missing"),
    ("a template the build does not copy", FILES[3], "en-US zh-CN zh-TW)", "en-US zh-CN)",
     "OSTINEL_POLICY_LANGUAGES entry zh-TW is missing"),
    ("a template the check does not read", FILES[4], '"en-US", "zh-CN", "zh-TW"', '"en-US", "zh-CN"',
     "LANGUAGES entry zh-TW is missing"),
    ("a setup message without its Simplified text", FILES[5], "LangString StartNowText ${LANG_SIMPCHINESE}",
     "; LangString StartNowText ${LANG_SIMPCHINESE}", "StartNowText: language LANG_SIMPCHINESE is missing"),
    ("a template the setup leaves behind", FILES[5], "!insertmacro RemovePolicyTexts zh-TW", "",
     "RemovePolicyTexts zh-TW is missing"),
    ("a template the package installs in no feature", FILES[6], '<ComponentRef Id="PolicyTextsZhCn"/>', "",
     "PolicyTextsZhCn with the Ostinel.adml of zh-CN is in no feature"),
    ("a template the installer test does not look for", FILES[7], " zh-CN/Ostinel.adml", "",
     "Ostinel.adml of zh-CN is missing"),
    ("a language the pictures leave out", FILES[8], " zh_TW.UTF-8:traditional-chinese", "",
     "zh_TW.UTF-8:traditional-chinese is missing"),
]


class LanguageLists(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="ostinel-languages-"))
        for name in FILES + ADML:
            (self.dir / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(ROOT / name, self.dir / name)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_the_lists_agree(self):
        languages, faults = check_languages.check(self.dir)
        self.assertEqual(faults, [])
        self.assertEqual([l["code"] for l in languages], ["zh-TW", "zh-CN", "en-US"])

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

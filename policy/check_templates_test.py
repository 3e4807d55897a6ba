#!/usr/bin/env python3
"""The check of the administrative templates must refuse broken copies of them: each case breaks
one thing in a copy of policy/ and core/policy_names.h and expects the fault to be named."""
import re
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_templates  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
ADMX = "policy/Ostinel.admx"
EN, CN, TW = ("policy/en-US/Ostinel.adml", "policy/zh-CN/Ostinel.adml", "policy/zh-TW/Ostinel.adml")
HEADER = "core/policy_names.h"
LANGUAGES = check_templates.languages_found(ROOT)


_, VALUES = check_templates.read_program_table(ROOT / HEADER, check_templates.Checker())
# The ranges of the number policy and of the choice (from the program's table, as the ADMX has them).
NUMBER_LOW, NUMBER_HIGH = next(accepted for accepted in VALUES.values() if accepted[1] > 2)
CHOICE_HIGH = next(accepted[1] for accepted in VALUES.values() if accepted == (0, 2))


def on_off_policy():
    """The ADMX's block of the first on/off policy of the program's table (wherever it stands)."""
    name = next(name for name, accepted in VALUES.items() if accepted == (0, 1))
    block = re.search(rf'<policy name="{name}".*?</policy>', (ROOT / ADMX).read_text(encoding="utf-8"), re.S)
    return name, block.group(0)


SWITCH, SWITCH_BLOCK = on_off_policy()
DISABLED = '<disabledValue><decimal value="0"/></disabledValue>'

# (what is broken, file, text replaced (found once), replacement, fault expected in the report)
BROKEN = [
    ("not well-formed", TW, "</stringTable>", "", "is not well-formed XML"),
    ("not UTF-8", CN, "右键方式</string>", "\udcff</string>", "is not UTF-8"),
    ("a string the ADMX names is missing in one language",
     CN, '<string id="HoldTime_Explain">', '<string id="HoldTime_Explanation">',
     "$(string.HoldTime_Explain), which the ADMX names, is missing"),
    ("a presentation the ADMX names is missing", TW, '<presentation id="HoldTime">',
     '<presentation id="HoldTimes">', "$(presentation.HoldTime), which the ADMX names, is missing"),
    ("a string no policy uses", EN, '<string id="Vemto">Vemto</string>',
     '<string id="Vemto">Vemto</string><string id="Spare">Spare text</string>', "string Spare is not used"),
    ("a value the program does not read", ADMX, 'valueName="LeftClickSound"', 'valueName="LeftClickSounds"',
     "writes LeftClickSounds, which the program does not read"),
    ("a value the program reads that no policy writes", HEADER, "POLICY_VALUES = {{",
     'POLICY_VALUES = {{\n    {L"NoSuchPolicy_Test", 0, 1},', "no policy writes NoSuchPolicy_Test"),
    ("the number box wider than the program's range", ADMX, f'maxValue="{NUMBER_HIGH}"',
     f'maxValue="{NUMBER_HIGH + 100}"',
     f"accepts {NUMBER_LOW}-{NUMBER_HIGH + 100}, the program {NUMBER_LOW}-{NUMBER_HIGH}"),
    ("a drop-down item the program refuses", ADMX,
     f'<decimal value="{CHOICE_HIGH}"/></value>\n          </item>\n        </enum>',
     f'<decimal value="{CHOICE_HIGH + 1}"/></value>\n          </item>\n        </enum>',
     f"items write {list(range(CHOICE_HIGH)) + [CHOICE_HIGH + 1]}"),
    ("disabled deletes the value instead of writing 0", ADMX, SWITCH_BLOCK, SWITCH_BLOCK.replace(DISABLED, ""),
     f"{SWITCH}: has no disabledValue"),
    ("a value written as text", ADMX, SWITCH_BLOCK,
     SWITCH_BLOCK.replace(DISABLED, "<disabledValue><string>0</string></disabledValue>"), "disabledValue is string 0"),
    ("elements out of the schema's order", ADMX,
     '<parentCategory ref="Ostinel"/>\n      <supportedOn ref="SUPPORTED_Windows10"/>\n      <elements>\n'
     '        <decimal', '<supportedOn ref="SUPPORTED_Windows10"/>\n      <parentCategory ref="Ostinel"/>\n'
     '      <elements>\n        <decimal', "policy HoldTime: <parentCategory> is out of order"),
    ("a revision that is no versionString", ADMX, 'revision="1.0" schemaVersion', 'revision="1" schemaVersion',
     'revision="1" is not a versionString'),
    ("a display name not of the $(string.X) form", ADMX, 'displayName="$(string.HoldTime)"',
     'displayName="string.HoldTime"', 'displayName="string.HoldTime" is not $(string.ID)'),
    ("a control that shows no element", EN, '<decimalTextBox refId="HoldTime"', '<decimalTextBox refId="Hold"',
     'refId "Hold" is no element of policy HoldTime'),
    ("a policy for users, where the program reads the machine's key", ADMX,
     'name="RightClickSound" class="Machine"', 'name="RightClickSound" class="User"',
     'class "User": the program reads only HKEY_LOCAL_MACHINE'),
    ("a dependency Intune would need uploaded first", ADMX,
     '<target prefix="ostinel" namespace="Vemto.Policies.Ostinel"/>',
     '<target prefix="ostinel" namespace="Vemto.Policies.Ostinel"/>\n'
     '    <using prefix="windows" namespace="Microsoft.Policies.Windows"/>', "makes Intune refuse the file"),
    ("an element the schema allows once, twice", ADMX,
     '<supportedOn ref="SUPPORTED_Windows10"/>\n      <elements>\n        <decimal',
     '<supportedOn ref="SUPPORTED_Windows10"/>\n      <supportedOn ref="SUPPORTED_Windows10"/>\n'
     '      <elements>\n        <decimal', "<supportedOn> appears 2 times"),
    ("an ADML element the schema allows once, twice", CN, "<displayName>Ostinel</displayName>",
     "<displayName>Ostinel</displayName><displayName>Ostinel</displayName>", "<displayName> appears 2 times"),
    ("one value written by two policies", ADMX, '<decimal id="HoldTime" valueName="HoldTime"',
     '<decimal id="HoldTime" valueName="RightClickMethod"', "writes RightClickMethod, which"),
    ("a Chinese file left in English", TW, "右鍵時播放聲音</string>", "Play a sound on right clicks</string>",
     "string RightClickSound is not translated"),
]


class BrokenTemplates(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="ostinel-policy-"))
        shutil.copytree(ROOT / "policy", self.dir / "policy",
                        ignore=shutil.ignore_patterns("__pycache__", "*.py"))
        (self.dir / "core").mkdir()
        shutil.copy(ROOT / HEADER, self.dir / HEADER)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_the_templates_pass(self):
        self.assertEqual(check_templates.check(self.dir), [])

    def test_each_broken_copy_is_refused(self):
        for what, name, old, new, expected in BROKEN:
            with self.subTest(what):
                path = self.dir / name
                original = path.read_bytes()
                text = original.decode("utf-8")
                self.assertEqual(text.count(old), 1, f"the case no longer fits {name}: {old!r}")
                path.write_bytes(text.replace(old, new).encode("utf-8", "surrogateescape"))
                try:
                    faults = check_templates.check(self.dir)
                finally:
                    path.write_bytes(original)
                self.assertTrue(any(expected in fault for fault in faults),
                                f"{what}: expected a fault with {expected!r}, got {faults}")

    def test_a_language_without_its_templates_is_refused(self):
        # The build names the language table's codes; a code no language could have stands for a
        # row added without its ADML.
        faults = check_templates.check(self.dir, languages=LANGUAGES + ["qx-QX"])
        self.assertTrue(any("qx-QX/Ostinel.adml: cannot be read" in f for f in faults), faults)

    def test_defaults_at_the_edges_pass(self):
        for name in (EN, CN, TW):
            path = self.dir / name
            text = path.read_text(encoding="utf-8")
            text = re.sub(r'defaultValue="\d+" spinStep="\d+"',
                          f'defaultValue="{NUMBER_HIGH}" spinStep="{NUMBER_HIGH - NUMBER_LOW}"', text)
            path.write_text(re.sub(r'defaultItem="\d+"', f'defaultItem="{CHOICE_HIGH}"', text), encoding="utf-8")
        self.assertEqual(check_templates.check(self.dir), [])

    def test_the_central_store_holds_exactly_the_templates(self):
        store = self.dir / "PolicyDefinitions"
        store.mkdir()
        shutil.copy(self.dir / ADMX, store)
        for language in LANGUAGES:
            (store / language).mkdir()
            shutil.copy(self.dir / "policy" / language / "Ostinel.adml", store / language)
        self.assertEqual(check_templates.check(self.dir, store), [])
        (store / LANGUAGES[-1] / "Ostinel.adml").unlink()
        (store / "Ostinel.adml").write_text("stray")
        faults = check_templates.check(self.dir, store)
        self.assertTrue(any(f"{LANGUAGES[-1]}/Ostinel.adml is missing" in f for f in faults), faults)
        self.assertTrue(any("Ostinel.adml is not a template" in f for f in faults), faults)


if __name__ == "__main__":
    unittest.main()

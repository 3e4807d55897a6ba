#!/usr/bin/env python3
"""msi_rules.py against faults put into copies of the built package, one at a time: each rule
must report the fault it is there for. (That the built package itself holds every rule is the
test msi_rules.)

Usage: msi_rules_test.py PACKAGE.msi
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import msi_rules  # noqa: E402

PACKAGE = None


class Faults(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

    def broken_by(self, *queries):
        """The rules broken by a copy of the package changed by QUERIES."""
        copy = os.path.join(self.folder, "faulty%d.msi" % len(os.listdir(self.folder)))
        shutil.copy(PACKAGE, copy)
        for query in queries:
            subprocess.run(["msibuild", copy, "-q", query], check=True, capture_output=True)
        return [rule for rule, _ in msi_rules.check(copy) + msi_rules.check_ice(copy)]

    def assertBreaks(self, rule, *queries):
        broken = self.broken_by(*queries)
        self.assertTrue(any(rule in text for text in broken), "%r not in %r" % (rule, broken))

    def test_rollbacks_and_sequences(self):
        self.assertBreaks("removes state has no rollback action",
                          "DELETE FROM InstallExecuteSequence WHERE Action = 'DeleteTaskRollback'")
        # A rollback that would register the task where none was installed is no rollback.
        self.assertBreaks("removes state has no rollback action",
                          "UPDATE InstallExecuteSequence SET Condition = 'NOT REMOVE~=\"ALL\"' "
                          "WHERE Action = 'DeleteTaskRollback'")
        self.assertBreaks("used by costing (INSTALLDIR) is not in InstallUISequence",
                          "DELETE FROM InstallUISequence WHERE Action = 'InstallDirAsInstalled'")
        self.assertBreaks("used by costing (AUTOSTART) is not in InstallUISequence",
                          "UPDATE InstallUISequence SET Sequence = 1001 WHERE Action = 'AutoStartTask'")
        self.assertBreaks("ICE27: AppSearch is not before CostInitialize",
                          "UPDATE InstallUISequence SET Sequence = 850 WHERE Action = 'AppSearch'")
        self.assertBreaks("ICE27: an action that is neither standard",
                          "INSERT INTO InstallUISequence (Action, Sequence) VALUES ('NoSuchAction', 60)")
        self.assertBreaks("ICE63", "UPDATE InstallExecuteSequence SET Sequence = 1502 "
                                   "WHERE Action = 'RemoveExistingProducts'")
        self.assertBreaks("ICE12: a folder's property set (51) after CostFinalize",
                          "UPDATE InstallExecuteSequence SET Sequence = 1001 WHERE Action = 'InstallDirAsInstalled'")

    def test_validation_table(self):
        self.assertBreaks("no _Validation table", "DROP TABLE `_Validation`")
        self.assertBreaks("ICE03: a column has no _Validation row",
                          "DELETE FROM `_Validation` WHERE `Table` = 'File' AND `Column` = 'Version'")
        self.assertBreaks("ICE06", "INSERT INTO `_Validation` (`Table`, `Column`, `Nullable`) "
                                   "VALUES ('File', 'Hash', 'Y')")
        self.assertBreaks("ICE03: not a valid foreign key",
                          "INSERT INTO FeatureComponents (Feature_, Component_) VALUES ('Ostinel', 'Nothing')")
        self.assertBreaks("ICE03: not a valid GUID", "UPDATE Component SET ComponentId = "
                          "'{34eb7ad8-6094-49e7-974b-f20f01826433}' WHERE Component = 'Utility'")
        self.assertBreaks("ICE03: value above MaxValue", "UPDATE Registry SET Root = 4")
        self.assertBreaks("ICE03: value not in the column's set", "UPDATE RemoveFile SET InstallMode = 4")
        self.assertBreaks("ICE03: null in a column that is not nullable", "UPDATE File SET FileName = ''")
        self.assertBreaks("ICE03: not a valid Version",
                          "UPDATE File SET Version = '1.2.3.65536' WHERE File = 'OstinelExe'")
        self.assertBreaks("ICE03: not a valid Identifier",
                          "INSERT INTO Property (Property, Value) VALUES ('Two words', '1')")

    def test_bitness_upgrade_and_case(self):
        upgrade_code = {row["Property"]: row["Value"] for row in msi_rules.export(PACKAGE, "Property")}["UpgradeCode"]
        self.assertBreaks("ICE80: a 32-bit component in a 64-bit folder",
                          "UPDATE Component SET Directory_ = 'INSTALLDIR' WHERE Component = 'PresetWaitTime'")
        self.assertBreaks("ICE80: a 64-bit component in a 32-bit folder",
                          "INSERT INTO Directory (Directory, Directory_Parent, DefaultDir) "
                          "VALUES ('ProgramFilesFolder', 'TARGETDIR', '.')",
                          "UPDATE Component SET Directory_ = 'ProgramFilesFolder' WHERE Component = 'Opener'")
        self.assertBreaks("ICE61: not a valid product version",
                          "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty) "
                          "VALUES ('%s', '0.0.65536', '0.1.0', 2, 'OLDER_DETECTED')" % upgrade_code)
        self.assertBreaks("ICE61: the package removes a newer",
                          "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'",
                          "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty) "
                          "VALUES ('%s', '0.0.0', '99.0.0', 768, 'WIX_UPGRADE_DETECTED')" % upgrade_code)
        self.assertBreaks("ICE61: an ActionProperty is authored in the Property table",
                          "INSERT INTO Property (Property, Value) VALUES ('WIX_UPGRADE_DETECTED', '1')")
        self.assertBreaks("ICE46: a defined property differs from a system property only in case",
                          "INSERT INTO Property (Property, Value) VALUES ('ReinstallMode', 'omus')")
        self.assertBreaks("ICE46: a property differs from a defined one only in case",
                          "UPDATE InstallExecuteSequence SET Condition = 'InstalledDIR AND NOT INSTALLDIR' "
                          "WHERE Action = 'InstallDirAsInstalled'")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__.strip().split("\n\n")[-1], file=sys.stderr)
        sys.exit(2)
    PACKAGE = sys.argv.pop()
    unittest.main(verbosity=1)

#!/usr/bin/env python3
"""Checks a built Windows Installer package against the rules that Wine cannot show: it has no
filtered (UAC) tokens and no client/server split, so a package that breaks them still installs
there and fails on Windows.

  - an EXE or DLL custom action changes the system: it is deferred, not impersonated (it needs the
    installing service's rights), and sequenced between InstallInitialize and InstallFinalize;
  - no immediate action runs an EXE (both but for the few that only read, READS_ONLY);
  - a deferred action that adds state has a rollback action, <Action>Rollback, sequenced before it
    under the same condition;
  - every public property named in a condition, a custom action or a formatted field is in
    SecureCustomProperties, unless Windows Installer passes it to the server anyway;
  - an EXE of the package run as the installing service has its folder locked: an
    MsiLockPermissionsEx row for the folder (CreateFolder) with a protected access list in which
    nobody but SYSTEM, Administrators and TrustedInstaller may change anything (else whoever can
    write the folder chooses what runs as SYSTEM).

Usage: msi_rules.py PACKAGE.msi   (reads the tables with msitools' msiinfo)
Prints each broken rule with the table row that breaks it; exits 1 when any is broken.
"""
import re
import subprocess
import sys

# Actions allowed to break a rule, and why. Only what the tables cannot tell belongs here.
# Impersonated on purpose: it must see the windows of the installing user's session (as the
# service it sees none), and it ends the user's own processes, which needs no rights.
IMPERSONATED_BY_DESIGN = {"StopUtility"}
# Deferred actions that add nothing a rollback could take away: they remove, or end processes.
ADD_NO_STATE = {
    "StopUtility",    # ends running copies of the utility
    "DeleteTask",     # removes the logon task (uninstall)
    "RemoveSetup",    # removes the setup's install; a rollback cannot put it back
    # Creates the settings key and opens it to the Users group: the key and its access list are
    # kept by the package's uninstall too, so a rolled-back install leaves what an uninstall does.
    "GrantSettingsAccess",
}

# Immediate EXE or DLL actions that only read (and set a property): they change nothing on the
# PC, so they need neither the installing service's rights nor a place in the script.
READS_ONLY = {
    "CheckSetupUninstaller",  # judges the setup's uninstaller before anything is done
}

# Public properties Windows Installer passes to the server side without SecureCustomProperties
# (its restricted public properties), and those it sets itself (feature requests, REMOVE).
PASSED_ANYWAY = {
    "ACTION", "AFTERREBOOT", "ALLUSERS", "EXECUTEACTION", "EXECUTEMODE", "FILEADDDEFAULT",
    "FILEADDLOCAL", "FILEADDSOURCE", "INSTALLLEVEL", "LIMITUI", "LOGACTION", "NOCOMPANYNAME",
    "NOUSERNAME", "MSIENFORCEUPGRADECOMPONENTRULES", "MSIINSTANCEGUID", "MSINEWINSTANCE",
    "MSIPATCHREMOVE", "PATCH", "PRIMARYFOLDER", "PROMPTROLLBACKCOST", "REBOOT", "REINSTALL",
    "REINSTALLMODE", "RESUME", "SEQUENCE", "SHORTFILENAMES", "TRANSFORMS", "TRANSFORMSATSOURCE",
    "ADDLOCAL", "ADDSOURCE", "ADDDEFAULT", "ADVERTISE", "COMPADDLOCAL", "COMPADDSOURCE",
    "COMPADDDEFAULT", "REMOVE",
}

# Custom action type bits.
BASIC_TYPE = 0x3F
EXE_TYPES = {2, 18, 34, 50}
DLL_TYPES = {1, 17}
IN_SCRIPT = 0x400
ROLLBACK = 0x100
COMMIT = 0x200
NO_IMPERSONATE = 0x800

SEQUENCES = ["InstallExecuteSequence", "InstallUISequence", "AdminExecuteSequence",
             "AdminUISequence", "AdvtExecuteSequence"]
# Formatted columns per table.
FORMATTED = {
    "LaunchCondition": ["Description"],
    "Registry": ["Key", "Name", "Value"],
    "RemoveRegistry": ["Key", "Name"],
    "Shortcut": ["Arguments", "Target", "Description"],
    "IniFile": ["FileName", "Section", "Key", "Value"],
    "Environment": ["Name", "Value"],
    "ServiceInstall": ["Arguments", "StartName", "Password"],
    "ServiceControl": ["Arguments"],
    "ControlEvent": ["Argument"],
}
CONDITIONS = {"LaunchCondition": "Condition", "Component": "Condition", "Condition": "Condition"}


def export(package, table):
    """The rows of TABLE as dicts, [] when the package has no such table."""
    run = subprocess.run(["msiinfo", "export", package, table], capture_output=True, text=True)
    if run.returncode != 0:
        return []
    lines = [line.rstrip("\r") for line in run.stdout.split("\n")]
    names = lines[0].split("\t")
    rows = []
    for line in lines[3:]:
        if line:
            rows.append(dict(zip(names, line.split("\t"))))
    return rows


def describe(table, row):
    return table + ": " + "\t".join(row.values())


def is_public(name):
    return any(c.isalpha() for c in name) and name == name.upper()


def formatted_properties(text):
    """Property names referenced as [NAME] in formatted text (not [#file], [$component], ...)."""
    return set(re.findall(r"\[([A-Za-z_][A-Za-z0-9_.]*)\]", text or ""))


CONDITION_WORDS = {"AND", "OR", "NOT", "XOR", "EQV", "IMP"}


def condition_properties(text):
    """Property names in a condition: identifiers outside quotes, not led by $ & ! ? %."""
    text = re.sub(r'"[^"]*"', '""', text or "")
    names = set()
    for match in re.finditer(r"(?<![$&!?%\w])([A-Za-z_][A-Za-z0-9_.]*)", text):
        if match.group(1).upper() not in CONDITION_WORDS:
            names.add(match.group(1))
    return names


def check(package):
    broken = []
    actions = {row["Action"]: row for row in export(package, "CustomAction")}
    for sequence_table in SEQUENCES:
        sequence = export(package, sequence_table)
        steps = {row["Action"]: row for row in sequence}
        initialize = int(steps["InstallInitialize"]["Sequence"]) if "InstallInitialize" in steps else None
        finalize = int(steps["InstallFinalize"]["Sequence"]) if "InstallFinalize" in steps else None
        for row in sequence:
            action = actions.get(row["Action"])
            if action is None:
                continue
            kind = int(action["Type"])
            basic = kind & BASIC_TYPE
            deferred = bool(kind & IN_SCRIPT)
            where = describe(sequence_table, row) + " / " + describe("CustomAction", action)
            if row["Action"] in READS_ONLY:
                continue
            if basic in EXE_TYPES and not deferred:
                broken.append(("an immediate action runs an EXE", where))
            if basic in EXE_TYPES | DLL_TYPES:
                if not deferred:
                    broken.append(("an EXE or DLL custom action is not deferred", where))
                elif not kind & NO_IMPERSONATE and row["Action"] not in IMPERSONATED_BY_DESIGN:
                    broken.append(("a deferred EXE or DLL custom action is impersonated", where))
            if deferred or basic in EXE_TYPES | DLL_TYPES:
                number = int(row["Sequence"])
                if initialize is None or finalize is None or not initialize < number < finalize:
                    broken.append(("a custom action that changes the system runs outside "
                                   "InstallInitialize..InstallFinalize", where))
            if deferred and not kind & (ROLLBACK | COMMIT) and row["Action"] not in ADD_NO_STATE:
                undo = steps.get(row["Action"] + "Rollback")
                undo_action = actions.get(row["Action"] + "Rollback")
                if (undo is None or undo_action is None
                        or int(undo_action["Type"]) & (IN_SCRIPT | ROLLBACK) != IN_SCRIPT | ROLLBACK
                        or initialize is None or not initialize < int(undo["Sequence"]) < int(row["Sequence"])
                        or undo["Condition"] != row["Condition"]):
                    broken.append(("a deferred action that adds state has no rollback action "
                                   "(" + row["Action"] + "Rollback) before it, under its condition", where))

    # Every public property the package reads, and the row that names it.
    named = []
    for sequence_table in SEQUENCES:
        for row in export(package, sequence_table):
            named += [(name, describe(sequence_table, row)) for name in condition_properties(row["Condition"])]
    for table, column in CONDITIONS.items():
        for row in export(package, table):
            named += [(name, describe(table, row)) for name in condition_properties(row[column])]
    for table, columns in FORMATTED.items():
        for row in export(package, table):
            for column in columns:
                named += [(name, describe(table, row)) for name in formatted_properties(row.get(column))]
    for action in actions.values():
        basic = int(action["Type"]) & BASIC_TYPE
        # Source names a property for property-setting (51) and property-held EXE (50) actions.
        if basic in (50, 51, 53, 54) and action["Source"]:
            named.append((action["Source"], describe("CustomAction", action)))
        if basic not in (1, 17):  # a DLL action's Target is its entry point
            named += [(name, describe("CustomAction", action)) for name in formatted_properties(action["Target"])]
    properties = {row["Property"]: row["Value"] for row in export(package, "Property")}
    secure = set(filter(None, properties.get("SecureCustomProperties", "").split(";")))
    reported = set()
    for name, where in named:
        if is_public(name) and name not in secure and name not in PASSED_ANYWAY and name not in reported:
            reported.add(name)
            broken.append(("public property " + name + " is not in SecureCustomProperties", where))
    broken += unlocked_service_programs(package, actions)
    return broken


# SDDL rights that change a file or folder (write data or add files, append or add folders,
# delete what it holds, delete, change permissions, take ownership, and the generic and file
# forms that include them); the letters are the directory-service names of the same bits.
CHANGE_MASK = 0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000
SDDL_RIGHTS = {
    "GA": 0x10000000, "GR": 0x80000000, "GW": 0x40000000, "GX": 0x20000000, "RC": 0x20000,
    "SD": 0x10000, "WD": 0x40000, "WO": 0x80000, "RP": 0x10, "WP": 0x20, "CC": 0x1, "DC": 0x2,
    "LC": 0x4, "SW": 0x8, "LO": 0x80, "DT": 0x40, "CR": 0x100, "FA": 0x1F01FF, "FR": 0x120089,
    "FW": 0x120116, "FX": 0x1200A0,
}
ADMINISTRATORS = {"SY", "BA", "S-1-5-18", "S-1-5-32-544",
                  "S-1-5-80-956008885-3459869454-2873263353-2540520545-1556470441"}


def lock_problem(sddl):
    """Why an access list in SDDL does not lock a folder, or None."""
    dacl = re.search(r"D:([A-Z]*)((?:\([^)]*\))*)", sddl or "")
    if not dacl or "P" not in dacl.group(1):
        return "its access list is not protected from the parent's"
    owner = re.match(r"O:([A-Z]{2}|S-[0-9-]+)", sddl)
    if owner and owner.group(1) not in ADMINISTRATORS:
        return "its owner " + owner.group(1) + " is not an administrator"
    for ace in re.findall(r"\(([^)]*)\)", dacl.group(2)):
        fields = ace.split(";")
        if len(fields) < 6 or fields[0] != "A" or "IO" in fields[1] or fields[5] in ADMINISTRATORS:
            continue
        rights = fields[2]
        if rights.lower().startswith("0x"):
            mask = int(rights, 16)
        else:
            mask = 0
            for i in range(0, len(rights), 2):
                mask |= SDDL_RIGHTS.get(rights[i:i + 2], CHANGE_MASK)
        if mask & CHANGE_MASK:
            return fields[5] + " may change it (" + ace + ")"
    return None


def unlocked_service_programs(package, actions):
    broken = []
    files = {row["File"]: row for row in export(package, "File")}
    components = {row["Component"]: row for row in export(package, "Component")}
    created = {(row["Directory_"], row["Component_"]) for row in export(package, "CreateFolder")}
    locks = [row for row in export(package, "MsiLockPermissionsEx") if row["Table"] == "CreateFolder"]
    for action in actions.values():
        kind = int(action["Type"])
        if kind & BASIC_TYPE != 18 or not kind & IN_SCRIPT or not kind & NO_IMPERSONATE:
            continue
        program = files.get(action["Source"])
        if program is None:
            continue
        folder = components[program["Component_"]]["Directory_"]
        where = describe("CustomAction", action) + " / folder " + folder
        rows = [row for row in locks if row["LockObject"] == folder
                and any(directory == folder for directory, _ in created)]
        if not rows:
            broken.append(("an EXE run as SYSTEM is in a folder the package does not lock "
                           "(no MsiLockPermissionsEx row for it in CreateFolder)", where))
            continue
        for row in rows:
            problem = lock_problem(row["SDDLText"])
            if problem:
                broken.append(("an EXE run as SYSTEM is in a folder whose lock lets others change it: "
                               + problem, where + " / " + describe("MsiLockPermissionsEx", row)))
    return broken


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().split("\n\n")[-2], file=sys.stderr)
        return 2
    broken = check(sys.argv[1])
    for rule, where in broken:
        print("BROKEN  " + rule + "\n        " + where)
    print(("%d rules broken" % len(broken)) if broken else "all rules hold")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks a built Windows Installer package against the rules that Wine cannot show: it has no
filtered (UAC) tokens and no client/server split, so a package that breaks them still installs
there and fails on Windows.

  - an EXE or DLL custom action changes the system: it is deferred, not impersonated (it needs the
    installing service's rights), and sequenced between InstallInitialize and InstallFinalize;
  - no immediate action runs an EXE (both but for the few that only read, READS_ONLY);
  - a deferred action that adds or removes state has a rollback action, <Action>Rollback,
    sequenced before it under its condition (or that condition AND more);
  - every public property named in a condition, a custom action or a formatted field is in
    SecureCustomProperties, unless Windows Installer passes it to the server anyway;
  - an action that sets a property or folder used by costing runs in both InstallUISequence and
    InstallExecuteSequence, before CostFinalize (a double-click runs the first, whose costing
    hands its folders and properties to the second);
  - an EXE of the package run as the installing service has its folder locked: an
    MsiLockPermissionsEx row for the folder (CreateFolder) with a protected access list in which
    nobody but SYSTEM, Administrators and TrustedInstaller may change anything (else whoever can
    write the folder chooses what runs as SYSTEM);
  - and the rules of the SDK's validation that the tables show (check_ice, below).

Usage: msi_rules.py PACKAGE.msi   (reads the tables with msitools' msiinfo)
Prints each broken rule with the table row that breaks it; exits 1 when any is broken.
"""
import os
import re
import subprocess
import sys
import tempfile

# Actions allowed to break a rule, and why. Only what the tables cannot tell belongs here.
# Impersonated on purpose: it must see the windows of the installing user's session (as the
# service it sees none), and it ends the user's own processes, which needs no rights.
IMPERSONATED_BY_DESIGN = {"StopUtility"}
# Deferred actions without a rollback action, and why.
NO_ROLLBACK = {
    "StopUtility",    # ends running copies of the utility: no state
    "RemoveSetup",    # removes the setup's install; a rollback cannot put it back
    # Creates the settings key and opens it to the Users group: the key and its access list are
    # kept by the package's uninstall too, so a rolled-back install leaves what an uninstall does.
    "GrantSettingsAccess",
}

# Immediate EXE or DLL actions that only read (and set a property): they change nothing on the
# PC, so they need neither the installing service's rights nor a place in the script.
READS_ONLY = {
    "CheckSetupUninstaller",  # judges the setup's uninstaller before anything is done
    "CheckInstallFolder",  # judges INSTALLDIR and the folders above it before anything is done
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


EXPORTED = {}


def export_text(package, table):
    """msiinfo's export of TABLE, None when the package has no such table; read once per version
    of the file (the rules read most tables many times)."""
    stat = os.stat(package)
    key = (package, table, stat.st_mtime_ns, stat.st_size)
    if key not in EXPORTED:
        # In a folder of its own: msiinfo writes the streams of binary columns beside the export.
        with tempfile.TemporaryDirectory() as scratch:
            run = subprocess.run(["msiinfo", "export", os.path.abspath(package), table], capture_output=True,
                                 text=True, cwd=scratch)
        EXPORTED[key] = run.stdout if run.returncode == 0 else None
    return EXPORTED[key]


def export(package, table):
    """The rows of TABLE as dicts, [] when the package has no such table."""
    text = export_text(package, table)
    if text is None:
        return []
    lines = [line.rstrip("\r") for line in text.split("\n")]
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
            if deferred and not kind & (ROLLBACK | COMMIT) and row["Action"] not in NO_ROLLBACK:
                undo = steps.get(row["Action"] + "Rollback")
                undo_action = actions.get(row["Action"] + "Rollback")
                condition = row["Condition"]
                if (undo is None or undo_action is None
                        or int(undo_action["Type"]) & (IN_SCRIPT | ROLLBACK) != IN_SCRIPT | ROLLBACK
                        or initialize is None or not initialize < int(undo["Sequence"]) < int(row["Sequence"])
                        or (undo["Condition"] != condition
                            and not (condition and undo["Condition"].startswith(condition + " AND ")))):
                    what = "removes" if re.search(r'(?<!NOT )REMOVE~="ALL"', condition) else "adds"
                    broken.append(("a deferred action that " + what + " state has no rollback action "
                                   "(" + row["Action"] + "Rollback) before it, under its condition", where))

    properties = {row["Property"]: row["Value"] for row in export(package, "Property")}
    secure = set(filter(None, properties.get("SecureCustomProperties", "").split(";")))
    reported = set()
    for name, where in named_properties(package):
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


def named_properties(package):
    """Every property the package reads, and the row that names it."""
    actions = {row["Action"]: row for row in export(package, "CustomAction")}
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
    return named


# Properties that costing reads besides the folders and the conditions of components and features.
COSTING_PROPERTIES = {"REINSTALLMODE", "REINSTALL", "ADDLOCAL", "ADDSOURCE", "ADDDEFAULT", "REMOVE",
                      "INSTALLLEVEL", "COMPADDLOCAL", "COMPADDSOURCE", "COMPADDDEFAULT"}
SET_PROPERTY, SET_DIRECTORY = 51, 35


def sequence_steps(package, table):
    return {row["Action"]: row for row in export(package, table)}


def check_costing_sequences(package):
    """An action that sets a property or folder that costing reads runs before CostFinalize in
    both sequences, under the same condition."""
    used = {row["Directory"] for row in export(package, "Directory")} | COSTING_PROPERTIES
    for table, column in (("Component", "Condition"), ("Condition", "Condition")):
        for row in export(package, table):
            used |= condition_properties(row[column])
    actions = {row["Action"]: row for row in export(package, "CustomAction")}
    execute = sequence_steps(package, "InstallExecuteSequence")
    ui = sequence_steps(package, "InstallUISequence")
    broken = []
    for name, row in execute.items():
        action = actions.get(name)
        if (action is None or int(action["Type"]) & BASIC_TYPE not in (SET_PROPERTY, SET_DIRECTORY)
                or action["Source"] not in used or "CostFinalize" not in execute
                or int(row["Sequence"]) >= int(execute["CostFinalize"]["Sequence"])):
            continue
        twin = ui.get(name)
        if (twin is None or "CostFinalize" not in ui or int(twin["Sequence"]) >= int(ui["CostFinalize"]["Sequence"])
                or twin["Condition"] != row["Condition"]):
            broken.append(("an action that sets a property or folder used by costing (" + action["Source"] +
                           ") is not in InstallUISequence before CostFinalize, under the same condition",
                           describe("InstallExecuteSequence", row)))
    return broken


# ICE03: what each category of _Validation allows (the categories not listed take any text).
IDENTIFIER = r"[A-Za-z_][A-Za-z0-9_.]*"
FILE_CHARACTERS = r'[^\\/:*?"<>|\x00-\x1f]'
LONG_NAME = FILE_CHARACTERS + "+"
SHORT_NAME = r'[^\\/:*?"<>|+,;=\[\] .\x00-\x1f]{1,8}(\.[^\\/:*?"<>|+,;=\[\] .\x00-\x1f]{1,3})?'
FILENAME = "(" + SHORT_NAME + r"\|)?" + LONG_NAME
CATEGORY_PATTERNS = {
    "Identifier": IDENTIFIER,
    "CustomSource": IDENTIFIER,
    "Property": "%?" + IDENTIFIER,
    "UpperCase": r"[^a-z]*",
    "LowerCase": r"[^A-Z]*",
    "GUID": r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}",
    "Version": r"\d{1,5}(\.\d{1,5}){0,3}",
    "Language": r"\d{1,5}(,\d{1,5})*",
    "Filename": FILENAME,
    "WildCardFilename": "(" + SHORT_NAME.replace("*?", "") + r"\|)?" + r'[^\\/:"<>|\x00-\x1f]+',
    "DefaultDir": r"(\.|" + FILENAME + r")(:(\.|" + FILENAME + "))?",
    "Cabinet": "#?" + SHORT_NAME + "|#" + IDENTIFIER,
    "RegPath": r"[^\\].*",
}


def balanced(text, pairs):
    depth = {opening: 0 for opening in pairs}
    for character in text:
        for opening, closing in pairs.items():
            if character == opening:
                depth[opening] += 1
            elif character == closing:
                depth[opening] -= 1
                if depth[opening] < 0:
                    return False
    return all(value == 0 for value in depth.values())


def category_holds(category, value):
    if category in CATEGORY_PATTERNS:
        if not re.fullmatch(CATEGORY_PATTERNS[category], value):
            return False
        if category in ("Version", "Language"):
            return all(int(part) <= 65535 for part in re.split(r"[.,]", value))
        return True
    if category in ("Formatted", "Template", "FormattedSDDLText", "Shortcut"):
        return balanced(value, {"[": "]", "{": "}"})
    if category == "Condition":
        return balanced(re.sub(r'"[^"]*"', '""', value), {"(": ")"}) and value.count('"') % 2 == 0
    return True


def package_tables(package):
    run = subprocess.run(["msiinfo", "tables", package], capture_output=True, text=True)
    return [name.strip() for name in run.stdout.splitlines()
            if name.strip() and (not name.startswith("_") or name.strip() == "_Validation")]


def table_columns(package, table):
    """The names and IDT types (s72, I2, ...) of TABLE's columns."""
    lines = (export_text(package, table) or "\n").split("\n")
    return list(zip(lines[0].rstrip("\r").split("\t"), lines[1].rstrip("\r").split("\t")))


def check_validation(package):
    """ICE03 and ICE06: _Validation describes every column of every table and no other, and
    every value holds what its row says: null, range, set, foreign key, category."""
    broken = []
    tables = package_tables(package)
    if "_Validation" not in tables:
        return [("the package has no _Validation table (ICE03 reports every column)", package)]
    rules = {(row["Table"], row["Column"]): row for row in export(package, "_Validation")}
    categories = set(CATEGORY_PATTERNS) | {"Text", "Formatted", "Template", "FormattedSDDLText", "Shortcut",
                                           "Condition", "Binary", "Path", "Paths", "AnyPath", "Integer",
                                           "DoubleInteger", "TimeDate"}
    contents = {table: export(package, table) for table in tables}
    columns = {table: table_columns(package, table) for table in tables}
    for (table, column), rule in sorted(rules.items()):
        where = describe("_Validation", rule)
        if table in columns and column not in dict(columns[table]):
            broken.append(("ICE06: _Validation names a column the table does not have", where))
        if rule["Category"] and rule["Category"] not in categories:
            broken.append(("ICE03: _Validation names an unknown category", where))
        for key_table in filter(None, rule["KeyTable"].split(";")):
            if key_table not in tables:
                broken.append(("ICE03: _Validation's KeyTable names a table the package does not hold", where))
        if rule["MinValue"] and rule["MaxValue"] and int(rule["MaxValue"]) < int(rule["MinValue"]):
            broken.append(("ICE03: _Validation's MaxValue is below its MinValue", where))
    for table in tables:
        for column, kind in columns[table]:
            rule = rules.get((table, column))
            if rule is None:
                broken.append(("ICE03: a column has no _Validation row", table + "." + column))
                continue
            keys = []
            for key_table in filter(None, rule["KeyTable"].split(";")):
                key_column = columns.get(key_table, [])[int(rule["KeyColumn"] or 1) - 1:][:1]
                keys += [row[key_column[0][0]] for row in contents.get(key_table, []) if key_column]
            for row in contents[table]:
                value = row.get(column, "")
                where = describe(table, row) + " (" + column + ")"
                if kind.startswith("v"):
                    continue
                if value == "":
                    if rule["Nullable"] != "Y":
                        broken.append(("ICE03: null in a column that is not nullable", where))
                    continue
                if kind[0] in "iI":
                    if rule["MinValue"] and int(value) < int(rule["MinValue"]):
                        broken.append(("ICE03: value below MinValue", where))
                    if rule["MaxValue"] and int(value) > int(rule["MaxValue"]):
                        broken.append(("ICE03: value above MaxValue", where))
                if rule["Set"] and value not in rule["Set"].split(";"):
                    broken.append(("ICE03: value not in the column's set", where))
                in_keys = value in keys
                if rule["KeyTable"] and not in_keys and not (rule["Category"] == "Version"
                                                             and category_holds("Version", value)):
                    broken.append(("ICE03: not a valid foreign key (" + rule["KeyTable"] + ")", where))
                if rule["Category"] and not in_keys and not category_holds(rule["Category"], value):
                    broken.append(("ICE03: not a valid " + rule["Category"], where))
    return broken


# ICE80: where a component's folder lies.
FOLDERS_64 = {"ProgramFiles64Folder", "CommonFiles64Folder", "System64Folder"}
FOLDERS_32 = {"ProgramFilesFolder", "CommonFilesFolder", "SystemFolder"}
COMPONENT_64BIT = 0x100
SCRIPT_64BIT = 0x1000
LOCATOR_64BIT = 0x10


def summary(package):
    text = subprocess.run(["msiinfo", "suminfo", package], capture_output=True, text=True).stdout
    return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)


def check_bitness(package):
    """ICE80: the Template summary names x64 when the package holds 64-bit components (and its
    page count, the schema, is at least 200), the product's language is in it, a 32-bit package
    uses nothing 64-bit, and no component lies in a folder of the other bitness."""
    broken = []
    info = summary(package)
    platform, _, languages = info.get("Template", "").partition(";")
    page_count = int(info.get("Version", "0").split()[0])
    properties = {row["Property"]: row["Value"] for row in export(package, "Property")}
    is_64 = platform in ("x64", "Intel64", "Arm64")
    if is_64 and page_count < {"x64": 200, "Intel64": 150, "Arm64": 500}[platform]:
        broken.append(("ICE80: the package is marked " + platform + " but its schema is too low",
                       "page count " + str(page_count)))
    if properties.get("ProductLanguage") not in languages.split(","):
        broken.append(("ICE80: ProductLanguage is not in the Template summary", info.get("Template", "")))
    parents = {row["Directory"]: row["Directory_Parent"] for row in export(package, "Directory")}

    def bitness(directory):
        seen = set()
        while directory and directory not in seen:
            seen.add(directory)
            if directory in FOLDERS_64:
                return 64
            if directory in FOLDERS_32:
                return 32
            directory = parents.get(directory)
        return None

    for row in export(package, "Component"):
        wide = bool(int(row["Attributes"]) & COMPONENT_64BIT)
        if wide and not is_64:
            broken.append(("ICE80: a 64-bit component in a package not marked 64-bit", describe("Component", row)))
        folder = bitness(row["Directory_"])
        if folder == 32 and wide:
            broken.append(("ICE80: a 64-bit component in a 32-bit folder", describe("Component", row)))
        if folder == 64 and not wide:
            broken.append(("ICE80: a 32-bit component in a 64-bit folder", describe("Component", row)))
    if not is_64:
        for row in export(package, "CustomAction"):
            if int(row["Type"]) & SCRIPT_64BIT and int(row["Type"]) & BASIC_TYPE in (5, 6, 21, 22, 37, 38, 53, 54):
                broken.append(("ICE80: a 64-bit script in a 32-bit package", describe("CustomAction", row)))
        for row in export(package, "RegLocator"):
            if int(row["Type"] or 0) & LOCATOR_64BIT:
                broken.append(("ICE80: a 64-bit search in a 32-bit package", describe("RegLocator", row)))
    return broken


# Upgrade attributes.
ONLY_DETECT = 0x2
MAX_INCLUSIVE = 0x200
PRODUCT_VERSION = r"(\d{1,3})\.(\d{1,3})(\.\d{1,5})?(\.\d+)?"
# A rebuild of the same version replaces the installed one (installer/CMakeLists.txt): the one
# removal of an equal version this package makes, which ICE61 reports as a warning.
SAME_VERSION_UPGRADE = {"WIX_UPGRADE_DETECTED"}


def version_key(text):
    """What Windows Installer compares: major, minor, build."""
    parts = [int(part) for part in text.split(".")[:3]]
    return parts + [0] * (3 - len(parts))


def check_upgrade(package):
    """ICE61 (the Upgrade table) and ICE63 (where RemoveExistingProducts runs)."""
    broken = []
    properties = {row["Property"]: row["Value"] for row in export(package, "Property")}
    secure = set(filter(None, properties.get("SecureCustomProperties", "").split(";")))
    current = properties.get("ProductVersion", "0")
    seen = set()
    for row in export(package, "Upgrade"):
        where = describe("Upgrade", row)
        name = row["ActionProperty"]
        if name in properties:
            broken.append(("ICE61: an ActionProperty is authored in the Property table", where))
        if not is_public(name):
            broken.append(("ICE61: an ActionProperty is not a public property", where))
        if name not in secure:
            broken.append(("ICE61: an ActionProperty is not in SecureCustomProperties", where))
        if name in seen:
            broken.append(("ICE61: an ActionProperty is used by more than one row", where))
        seen.add(name)
        for bound in (row["VersionMin"], row["VersionMax"]):
            match = re.fullmatch(PRODUCT_VERSION, bound) if bound else True
            if not match or (bound and (int(match.group(1)) > 255 or int(match.group(2)) > 255
                                        or int((match.group(3) or ".0")[1:]) > 65535)):
                broken.append(("ICE61: not a valid product version", where))
        if row["VersionMin"] and row["VersionMax"] and version_key(row["VersionMax"]) < version_key(row["VersionMin"]):
            broken.append(("ICE61: VersionMax is below VersionMin", where))
        if not int(row["Attributes"]) & ONLY_DETECT:
            maximum = row["VersionMax"]
            newer = (not maximum or version_key(maximum) > version_key(current)
                     or (version_key(maximum) == version_key(current) and int(row["Attributes"]) & MAX_INCLUSIVE
                         and name not in SAME_VERSION_UPGRADE))
            if newer:
                broken.append(("ICE61: the package removes a newer (or, not by design, an equal) version", where))
    steps = sorted((int(row["Sequence"]), row["Action"]) for row in export(package, "InstallExecuteSequence")
                   if row["Sequence"] and int(row["Sequence"]) > 0)
    order = [action for _, action in steps]
    if "RemoveExistingProducts" in order:
        at = order.index("RemoveExistingProducts")
        before = order[at - 1] if at else None
        position = {action: index for index, action in enumerate(order)}
        allowed = (("InstallValidate" in position and "InstallInitialize" in position
                    and position["InstallValidate"] < at < position["InstallInitialize"])
                   or before in ("InstallInitialize", "InstallExecute", "InstallExecuteAgain")
                   or ("InstallFinalize" in position and at > position["InstallFinalize"]))
        if not allowed:
            broken.append(("ICE63: RemoveExistingProducts is sequenced where the upgrade fails",
                           "InstallExecuteSequence: after " + str(before)))
    return broken


# ICE27: the standard actions, the ones that write the installation script, and the order the
# sequences must keep.
SCRIPT_ACTIONS = {
    "AllocateRegistrySpace", "BindImage", "CreateFolders", "CreateShortcuts", "DeleteServices",
    "DuplicateFiles", "InstallFiles", "InstallODBC", "InstallServices", "MoveFiles", "MsiConfigureServices",
    "MsiPublishAssemblies", "MsiUnpublishAssemblies", "PatchFiles", "ProcessComponents", "PublishComponents",
    "PublishFeatures", "PublishProduct", "RegisterClassInfo", "RegisterComPlus", "RegisterExtensionInfo",
    "RegisterFonts", "RegisterMIMEInfo", "RegisterProduct", "RegisterProgIdInfo", "RegisterTypeLibraries",
    "RegisterUser", "RemoveDuplicateFiles", "RemoveEnvironmentStrings", "RemoveFiles", "RemoveFolders",
    "RemoveIniValues", "RemoveODBC", "RemoveRegistryValues", "RemoveShortcuts", "SelfRegModules",
    "SelfUnregModules", "SetODBCFolders", "StartServices", "StopServices", "UnpublishComponents",
    "UnpublishFeatures", "UnregisterClassInfo", "UnregisterComPlus", "UnregisterExtensionInfo",
    "UnregisterFonts", "UnregisterMIMEInfo", "UnregisterProgIdInfo", "UnregisterTypeLibraries",
    "WriteEnvironmentStrings", "WriteIniValues", "WriteRegistryValues", "MsiProcessDrivers",
    "MsiInstallDRM", "MsiRemoveDRM", "MsiSetProductProperties", "MsiUnpublishAssemblies",
}
STANDARD_ACTIONS = SCRIPT_ACTIONS | {
    "ADMIN", "ADVERTISE", "INSTALL", "AppSearch", "CCPSearch", "CostFinalize", "CostInitialize",
    "DisableRollback", "ExecuteAction", "FileCost", "FindRelatedProducts", "ForceReboot", "InstallAdminPackage",
    "InstallExecute", "InstallExecuteAgain", "InstallFinalize", "InstallInitialize", "InstallSFPCatalogFile",
    "InstallValidate", "IsolateComponents", "LaunchConditions", "MigrateFeatureStates", "MsiUnpublishAssemblies",
    "RemoveExistingProducts", "ResolveSource", "RMCCPSearch", "ScheduleReboot", "SetODBCFolders",
    "ValidateProductID", "MsiConfigureServices",
}
# Each action in this order, where both are sequenced.
ORDER = [("AppSearch", "CostInitialize"), ("CCPSearch", "CostInitialize"), ("RMCCPSearch", "CostInitialize"),
         ("FindRelatedProducts", "CostInitialize"), ("CostInitialize", "FileCost"), ("FileCost", "CostFinalize"),
         ("CostFinalize", "InstallValidate"), ("InstallValidate", "InstallInitialize"),
         ("CostFinalize", "ExecuteAction"), ("InstallInitialize", "InstallFinalize"),
         ("ProcessComponents", "InstallFiles"), ("RemoveFiles", "InstallFiles"),
         ("InstallFiles", "CreateShortcuts"), ("RegisterUser", "RegisterProduct"),
         ("PublishFeatures", "PublishProduct")]


def check_sequences(package):
    """ICE27: every action in a sequence is a standard action, a custom action or a dialog; the
    standard actions keep their order; script actions lie between InstallInitialize and
    InstallFinalize, and a sequence with script actions has InstallFinalize."""
    broken = []
    known = STANDARD_ACTIONS | {row["Action"] for row in export(package, "CustomAction")}
    known |= {row["Dialog"] for row in export(package, "Dialog")}
    for table in SEQUENCES:
        rows = [row for row in export(package, table) if row["Sequence"] and int(row["Sequence"]) > 0]
        at = {row["Action"]: int(row["Sequence"]) for row in rows}
        for row in rows:
            if row["Action"] not in known:
                broken.append(("ICE27: an action that is neither standard, custom nor a dialog",
                               describe(table, row)))
        for first, then in ORDER:
            if first in at and then in at and at[first] >= at[then]:
                broken.append(("ICE27: " + first + " is not before " + then, table))
        script = [action for action in at if action in SCRIPT_ACTIONS]
        if script and "InstallFinalize" not in at:
            broken.append(("ICE27: script actions but no InstallFinalize", table))
        for action in script:
            if "InstallInitialize" in at and "InstallFinalize" in at and not (
                    at["InstallInitialize"] < at[action] < at["InstallFinalize"]):
                broken.append(("ICE27: a script action outside InstallInitialize..InstallFinalize",
                               table + ": " + action))
    return broken


def check_directory_setters(package):
    """ICE12: a sequence with property or folder setters has CostFinalize; a folder set through
    its property (51) is set before CostFinalize, through the folder action (35) after it, and
    that one names a folder of the Directory table."""
    broken = []
    folders = {row["Directory"] for row in export(package, "Directory")}
    actions = {row["Action"]: row for row in export(package, "CustomAction")}
    for table in SEQUENCES:
        rows = [row for row in export(package, table) if row["Sequence"] and int(row["Sequence"]) > 0]
        at = {row["Action"]: int(row["Sequence"]) for row in rows}
        for row in rows:
            action = actions.get(row["Action"])
            basic = int(action["Type"]) & BASIC_TYPE if action else None
            if basic not in (SET_PROPERTY, SET_DIRECTORY):
                continue
            where = describe(table, row)
            if "CostFinalize" not in at:
                broken.append(("ICE12: a sequence that sets properties or folders has no CostFinalize", where))
            elif basic == SET_DIRECTORY and at[row["Action"]] < at["CostFinalize"]:
                broken.append(("ICE12: a folder action (35) before CostFinalize", where))
            elif basic == SET_PROPERTY and action["Source"] in folders and at[row["Action"]] > at["CostFinalize"]:
                broken.append(("ICE12: a folder's property set (51) after CostFinalize", where))
            if basic == SET_DIRECTORY and action["Source"] not in folders:
                broken.append(("ICE12: a folder action (35) names no folder of the Directory table", where))
    return broken


# Properties Windows Installer defines (ICE46 compares the package's names with them by case).
SYSTEM_PROPERTIES = PASSED_ANYWAY | {
    "ProductCode", "ProductName", "ProductVersion", "ProductLanguage", "Manufacturer", "UpgradeCode",
    "Installed", "Privileged", "VersionNT", "VersionNT64", "UILevel", "TARGETDIR", "SourceDir", "ARPNOMODIFY",
    "ARPPRODUCTICON", "SecureCustomProperties", "MSIRESTARTMANAGERCONTROL", "WindowsFolder",
    "SystemFolder", "System64Folder", "ProgramFilesFolder", "ProgramFiles64Folder", "ProgramMenuFolder",
}


def check_property_case(package):
    """ICE46: no property the package names differs only in case from one it defines, and none it
    defines differs only in case from one Windows Installer defines."""
    broken = []
    defined = {row["Property"] for row in export(package, "Property")}
    defined |= {row["Directory"] for row in export(package, "Directory")}
    defined |= {row["Property"] for row in export(package, "AppSearch")}
    defined |= {row["ActionProperty"] for row in export(package, "Upgrade")}
    defined |= {row["Source"] for row in export(package, "CustomAction")
                if int(row["Type"]) & BASIC_TYPE in (SET_PROPERTY, SET_DIRECTORY)}
    known = defined | SYSTEM_PROPERTIES
    by_case = {}
    for name in known:
        by_case.setdefault(name.upper(), set()).add(name)
    for name in sorted(defined):
        system = {other for other in by_case[name.upper()] if other in SYSTEM_PROPERTIES and other != name}
        if system:
            broken.append(("ICE46: a defined property differs from a system property only in case",
                           name + " / " + ", ".join(sorted(system))))
    reported = set()
    for name, where in named_properties(package):
        if name not in known and name.upper() in by_case and name not in reported:
            reported.add(name)
            broken.append(("ICE46: a property differs from a defined one only in case",
                           name + " (" + ", ".join(sorted(by_case[name.upper()])) + "), in " + where))
    return broken


def check_ice(package):
    return (check_costing_sequences(package) + check_validation(package) + check_bitness(package)
            + check_upgrade(package) + check_sequences(package) + check_directory_setters(package)
            + check_property_case(package))


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().split("\n\n")[-2], file=sys.stderr)
        return 2
    broken = check(sys.argv[1]) + check_ice(sys.argv[1])
    for rule, where in broken:
        print("BROKEN  " + rule + "\n        " + where)
    print(("%d rules broken" % len(broken)) if broken else "all rules hold")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The columns of every table a Windows Installer package of this project may hold, as the
_Validation table describes them (what may be null, the range of a number, the table a key
refers to, the category of a string, the set of allowed values), and the step of the build that
writes that table into the package: wixl writes none, and without it a validation run (ICE03)
reports every column.

Usage: msi_schema.py PACKAGE.msi   (with msitools' msiinfo and msibuild)
Writes _Validation for every table the package holds, for the columns it holds. A table or a
column this description lacks stops the build: describe it here first.
"""
import os
import subprocess
import sys
import tempfile


def col(name, null=False, lo=None, hi=None, keys=None, key_column=None, cat=None, values=None):
    """One column: nullable, MinValue..MaxValue, KeyTable (";" between tables) and KeyColumn,
    Category, Set (";" between values)."""
    return (name, "Y" if null else "N", lo, hi, keys, key_column if keys else None, cat, values)


def ident(name, null=False, keys=None):
    return col(name, null, keys=keys, key_column=1 if keys else None, cat="Identifier")


def number(name, lo, hi, null=False):
    return col(name, null, lo, hi)


I32 = (-2147483647, 2147483647)
SEQUENCE = [ident("Action"), col("Condition", True, cat="Condition"), number("Sequence", -4, 32767, True)]
CATEGORIES = ("Text;UpperCase;LowerCase;Integer;DoubleInteger;TimeDate;Identifier;Property;Filename;"
              "WildCardFilename;Path;Paths;AnyPath;DefaultDir;RegPath;Formatted;FormattedSDDLText;"
              "Template;Condition;GUID;Version;Language;Binary;CustomSource;Cabinet;Shortcut")

TABLES = {
    "_Validation": [
        ident("Table"), ident("Column"), col("Nullable", values="Y;N"),
        number("MinValue", *I32, null=True), number("MaxValue", *I32, null=True),
        col("KeyTable", True, cat="Text"), number("KeyColumn", 1, 32, True),
        col("Category", True, values=CATEGORIES), col("Set", True, cat="Text"),
        col("Description", True, cat="Text"),
    ],
    "AdminExecuteSequence": SEQUENCE,
    "AdminUISequence": SEQUENCE,
    "AdvtExecuteSequence": SEQUENCE,
    "InstallExecuteSequence": SEQUENCE,
    "InstallUISequence": SEQUENCE,
    "AppSearch": [ident("Property"),
                  ident("Signature_", keys="Signature;RegLocator;IniLocator;DrLocator;CompLocator")],
    "Binary": [ident("Name"), col("Data", cat="Binary")],
    "Component": [
        ident("Component"), col("ComponentId", True, cat="GUID"), ident("Directory_", keys="Directory"),
        number("Attributes", 0, 32767), col("Condition", True, cat="Condition"),
        ident("KeyPath", True, keys="File;Registry;ODBCDataSource"),
    ],
    "CreateFolder": [ident("Directory_", keys="Directory"), ident("Component_", keys="Component")],
    "CustomAction": [
        ident("Action"), number("Type", 1, 32767), col("Source", True, cat="CustomSource"),
        col("Target", True, cat="Formatted"), number("ExtendedType", 0, 2147483647, True),
    ],
    "Directory": [ident("Directory"), ident("Directory_Parent", True, keys="Directory"),
                  col("DefaultDir", cat="DefaultDir")],
    "DrLocator": [ident("Signature_"), ident("Parent", True), col("Path", True, cat="AnyPath"),
                  number("Depth", 0, 32767, True)],
    "Error": [number("Error", 0, 32767), col("Message", True, cat="Template")],
    "Feature": [
        ident("Feature"), ident("Feature_Parent", True, keys="Feature"), col("Title", True, cat="Text"),
        col("Description", True, cat="Text"), number("Display", 0, 32767, True), number("Level", 0, 32767),
        col("Directory_", True, keys="Directory", key_column=1, cat="UpperCase"),
        col("Attributes", values="0;1;2;4;5;6;8;9;10;16;17;18;20;21;22;24;25;26;32;33;34;36;37;38;"
                                 "48;49;50;52;53;54"),
    ],
    "FeatureComponents": [ident("Feature_", keys="Feature"), ident("Component_", keys="Component")],
    "File": [
        ident("File"), ident("Component_", keys="Component"), col("FileName", cat="Filename"),
        number("FileSize", 0, 2147483647), col("Version", True, keys="File", key_column=1, cat="Version"),
        col("Language", True, cat="Language"), number("Attributes", 0, 32767, True),
        number("Sequence", 1, 2147483647),
    ],
    "Icon": [ident("Name"), col("Data", cat="Binary")],
    "LaunchCondition": [col("Condition", cat="Condition"), col("Description", cat="Formatted")],
    "Media": [
        number("DiskId", 1, 32767), number("LastSequence", 0, 2147483647), col("DiskPrompt", True, cat="Text"),
        col("Cabinet", True, cat="Cabinet"), col("VolumeLabel", True, cat="Text"),
        col("Source", True, cat="Property"),
    ],
    "MsiFileHash": [ident("File_", keys="File"), number("Options", 0, 32767)]
                   + [number("HashPart%d" % n, *I32) for n in (1, 2, 3, 4)],
    "MsiLockPermissionsEx": [
        ident("MsiLockPermissionsEx"), ident("LockObject"),
        col("Table", cat="Identifier", values="CreateFolder;File;Registry;ServiceInstall"),
        col("SDDLText", cat="FormattedSDDLText"), col("Condition", True, cat="Condition"),
    ],
    "Property": [ident("Property"), col("Value", cat="Text")],
    "Registry": [
        ident("Registry"), number("Root", -1, 3), col("Key", cat="RegPath"), col("Name", True, cat="Formatted"),
        col("Value", True, cat="Formatted"), ident("Component_", keys="Component"),
    ],
    "RegLocator": [ident("Signature_"), number("Root", 0, 3), col("Key", cat="RegPath"),
                   col("Name", True, cat="Formatted"), number("Type", 0, 18, True)],
    "RemoveFile": [
        ident("FileKey"), ident("Component_", keys="Component"), col("FileName", True, cat="WildCardFilename"),
        ident("DirProperty"), col("InstallMode", values="1;2;3"),
    ],
    "ServiceControl": [
        ident("ServiceControl"), col("Name", cat="Formatted"), number("Event", 0, 187),
        col("Arguments", True, cat="Formatted"), number("Wait", 0, 1, True), ident("Component_", keys="Component"),
    ],
    "ServiceInstall": [
        ident("ServiceInstall"), col("Name", cat="Formatted"), col("DisplayName", True, cat="Formatted"),
        number("ServiceType", *I32), number("StartType", 0, 4), number("ErrorControl", *I32),
        col("LoadOrderGroup", True, cat="Formatted"), col("Dependencies", True, cat="Formatted"),
        col("StartName", True, cat="Formatted"), col("Password", True, cat="Formatted"),
        col("Arguments", True, cat="Formatted"), ident("Component_", keys="Component"),
        col("Description", True, cat="Text"),
    ],
    "Shortcut": [
        ident("Shortcut"), ident("Directory_", keys="Directory"), col("Name", cat="Filename"),
        ident("Component_", keys="Component"), col("Target", cat="Shortcut"),
        col("Arguments", True, cat="Formatted"), col("Description", True, cat="Text"),
        number("Hotkey", 0, 32767, True), ident("Icon_", True, keys="Icon"), number("IconIndex", -32767, 32767, True),
        col("ShowCmd", True, values="1;3;7"), ident("WkDir", True),
        col("DisplayResourceDLL", True, cat="Formatted"), number("DisplayResourceId", 0, 32767, True),
        col("DescriptionResourceDLL", True, cat="Formatted"), number("DescriptionResourceId", 0, 32767, True),
    ],
    "Signature": [
        ident("Signature"), col("FileName", cat="Text"), col("MinVersion", True, cat="Text"),
        col("MaxVersion", True, cat="Text"), number("MinSize", 0, 2147483647, True),
        number("MaxSize", 0, 2147483647, True), number("MinDate", 0, 2147483647, True),
        number("MaxDate", 0, 2147483647, True), col("Languages", True, cat="Language"),
    ],
    "Upgrade": [
        col("UpgradeCode", cat="GUID"), col("VersionMin", True, cat="Text"), col("VersionMax", True, cat="Text"),
        col("Language", True, cat="Language"), number("Attributes", 0, 2147483647),
        col("Remove", True, cat="Formatted"), col("ActionProperty", cat="UpperCase"),
    ],
}
COLUMNS = ("Table", "Column", "Nullable", "MinValue", "MaxValue", "KeyTable", "KeyColumn", "Category", "Set",
           "Description")


def msiinfo(*args):
    # In a folder of its own: an export writes the streams of binary columns beside it.
    with tempfile.TemporaryDirectory() as scratch:
        return subprocess.run(["msiinfo"] + list(args), capture_output=True, text=True, check=True,
                              cwd=scratch).stdout


def tables(package):
    """The package's own tables, _Validation among them once written (not the catalogs or streams
    that msiinfo lists beside them)."""
    names = [name.strip() for name in msiinfo("tables", package).splitlines()]
    return [name for name in names if name and (not name.startswith("_") or name == "_Validation")]


def columns(package, table):
    return msiinfo("export", package, table).split("\n")[0].rstrip("\r").split("\t")


def validation_rows(present):
    """_Validation's rows for PRESENT ({table: [its columns]}); key tables the package does not hold
    are left out of KeyTable. Raises KeyError naming what this description lacks."""
    rows = []
    for table, names in sorted(present.items()):
        if table not in TABLES:
            raise KeyError("table " + table)
        described = {column[0]: column for column in TABLES[table]}
        for name in names:
            if name not in described:
                raise KeyError("column " + table + "." + name)
            _, null, lo, hi, keys, key_column, cat, values = described[name]
            if keys:
                keys = ";".join(key for key in keys.split(";") if key in present) or None
                key_column = key_column if keys else None
            rows.append((table, name, null, lo, hi, keys, key_column, cat, values, None))
    return rows


def idt(rows):
    """_Validation as an IDT file for msibuild -i."""
    lines = ["\t".join(COLUMNS), "s32\ts32\ts4\tI4\tI4\tS255\tI2\tS32\tS255\tS255", "_Validation\tTable\tColumn"]
    for row in rows:
        lines.append("\t".join("" if value is None else str(value) for value in row))
    return "\r\n".join(lines) + "\r\n"


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().split("\n\n")[-1], file=sys.stderr)
        return 2
    package = os.path.abspath(sys.argv[1])
    present = {table: columns(package, table) for table in tables(package) if table != "_Validation"}
    present["_Validation"] = list(COLUMNS)
    try:
        rows = validation_rows(present)
    except KeyError as missing:
        print("msi_schema.py: no description of " + missing.args[0] + " (installer/msi_schema.py)", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "_Validation.idt"), "w", newline="") as out:
            out.write(idt(rows))
        subprocess.run(["msibuild", package, "-i", os.path.join(folder, "_Validation.idt")], check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

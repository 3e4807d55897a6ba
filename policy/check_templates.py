#!/usr/bin/env python3
"""Checks Ostinel's administrative templates (policy/Ostinel.admx and its ADML files).

Usage: check_templates.py [--root DIR] [--languages CODE...] [--store DIR]
  --root       the repository (default: the one this script is in)
  --languages  the codes of the interface languages, each with its <code>/Ostinel.adml (the build
               passes the language table's, OSTINEL_LANGUAGES; default: the folders that hold one)
  --store  a built central-store folder (bin/PolicyDefinitions): it must hold exactly the
           templates, byte for byte, in the central store's layout

Prints each fault and exits 1, or prints one line and exits 0.

What it holds the files to. The schema rules are those of the published ADMX schema
(PolicyDefinitionFiles.xsd with BaseTypes.xsd and PolicyDefinitions.xsd) for the elements these
templates use; an element of the schema that they do not use is refused as "not checked here", so
that nothing passes unchecked.

Files
  F1  Each file is UTF-8, says so in its XML declaration, and is well-formed XML.
  F2  Root elements are policyDefinitions (ADMX) and policyDefinitionResources (ADML), in the
      namespace http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions.
Schema (ADMX)
  S1  Children come in the schema's order and number (xs:sequence), e.g. policyDefinitions:
      policyNamespaces, supersededAdm*, annotation*, resources, supportedOn?, categories?,
      policies?; policy: annotation*, parentCategory?, seeAlso*, keywords?, supportedOn,
      enabledValue?, disabledValue?, enabledList?, disabledList?, elements?.
  S2  Required attributes are there; no attribute the schema does not define.
  S3  revision, schemaVersion, minRequiredRevision are versionString: [0-9]{1,4}.[0-9]{1,5}.
  S4  Names (category, policy, supportedOn definition, namespace prefix) are itemName and ids of
      strings and presentations are resourceID: here letters A-Z a-z, digits and underscore.
      References to them (parentCategory, supportedOn ref) are itemReference: name or prefix:name.
  S5  displayName and explainText are $(string.ID); presentation is $(presentation.ID).
  S6  class is User, Machine or Both; xs:boolean and xs:unsignedInt attributes are such;
      a registry key names no hive and has no empty part.
  S7  A value (enabledValue, disabledValue, an enum item's value) is exactly one of delete,
      decimal, longDecimal, string.
  S8  Names are unique in their kind; element ids are unique in their policy.
Schema (ADML)
  L1  policyDefinitionResources: displayName, description, annotation*, resources; resources:
      stringTable?, presentationTable?; string ids and presentation ids are unique.
  L2  A presentation holds text and controls; each control's refId names one element of the
      policy that uses the presentation, of the matching kind (decimal: decimalTextBox, enum:
      dropdownList), every element has one control, and defaults lie in the element's range.
References
  R1  parentCategory and supportedOn refs resolve to a category or definition of this file (the
      templates use no other ADMX file: Intune refuses one whose `using` namespace was not
      uploaded first, so a `using` is refused).
  R2  Every $(string.X) and $(presentation.X) the ADMX names exists in every ADML, and every ADML
      defines exactly those ids (no string or presentation the ADMX does not use).
  R3  Every ADML's revision is at least the ADMX's minRequiredRevision; all schemaVersions agree.
Against the program (core/policy_names.h: POLICY_KEY and the POLICY_VALUES table)
  P1  Every policy is class Machine and writes under POLICY_KEY (HKLM; no other key), which is not
      a location Intune's ADMX ingestion refuses (SYSTEM, SOFTWARE\\Microsoft,
      SOFTWARE\\Policies\\Microsoft).
  P2  The values written are exactly the table's names, each written by one policy, all as
      REG_DWORD (decimal values; a decimal element not stored as text).
  P3  A value of range 0-1 is an enabled/disabled policy: enabledValue decimal 1, disabledValue
      decimal 0 (disabled writes 0, it does not delete the value).
  P4  A decimal element's minValue and maxValue are the table's range, and it is required; an enum
      element's items are the range's values, each once, and it is required.
  P5  Every policy has an explainText and a category (Intune needs the explain text).
Texts
  T1  No string is empty; the files of the other languages are translations: a string that is
      English prose in en-US (more than one word) is another text in each of them (in zh-CN and
      zh-TW one with Chinese characters), and no such file is a copy of another.
"""
import argparse
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
BASENAME = "Ostinel"
UNBOUNDED = 1 << 30

NAME = r"[A-Za-z0-9_]+"
NAME_RE = re.compile(NAME)
ITEM_REF_RE = re.compile(r"(?:(" + NAME + r"):)?(" + NAME + r")")
STRING_REF_RE = re.compile(r"\$\(string\.(" + NAME + r")\)")
PRESENTATION_REF_RE = re.compile(r"\$\(presentation\.(" + NAME + r")\)")
VERSION_RE = re.compile(r"([0-9]{1,4})\.([0-9]{1,5})")
CJK_RE = re.compile(r"[\u3400-\u9fff]")
# Where Intune's ADMX ingestion refuses to write (Win32 app ADMX policy ingestion).
INGESTION_REFUSED = ("SYSTEM", "SOFTWARE\\MICROSOFT", "SOFTWARE\\POLICIES\\MICROSOFT")


def local(tag):
    return tag.split("}", 1)[1] if tag.startswith("{") else tag


# Attribute types (S3-S6): a test of the value and what the message says is expected.
ATTRIBUTE_KINDS = {
    "version": (VERSION_RE.fullmatch, "a versionString (major.minor, e.g. 1.0)"),
    "name": (NAME_RE.fullmatch, "a name of letters, digits and underscores"),
    "itemref": (ITEM_REF_RE.fullmatch, "a name or prefix:name"),
    "stringref": (STRING_REF_RE.fullmatch, "$(string.ID)"),
    "presentationref": (PRESENTATION_REF_RE.fullmatch, "$(presentation.ID)"),
    "class": (lambda v: v in ("User", "Machine", "Both"), "User, Machine or Both"),
    "bool": (lambda v: v in ("true", "false", "1", "0"), "true or false"),
    "uint": (lambda v: re.fullmatch(r"[0-9]+", v) and int(v) <= 0xFFFFFFFF, "an unsigned number"),
    "ulong": (lambda v: re.fullmatch(r"[0-9]+", v) and int(v) <= 0xFFFFFFFFFFFFFFFF, "an unsigned number"),
    "key": (lambda v: all(v.split("\\")) and not v.split("\\")[0].upper().startswith(("HKEY_", "HKLM", "HKCU")),
            "a registry key without hive and without empty parts"),
    "uri": (lambda v: v != "" and not any(c.isspace() for c in v), "a URI"),
}


class Checker:
    def __init__(self):
        self.errors = []

    def error(self, where, text):
        self.errors.append(f"{where}: {text}")

    # ---- attribute types (S3-S6) ----------------------------------------------------------
    def typed(self, where, name, value, kind):
        test, expected = ATTRIBUTE_KINDS.get(kind, (lambda v: True, ""))  # unknown: a plain string
        ok = bool(test(value))
        if not ok:
            self.error(where, f'{name}="{value}" is not {expected}')
        return ok

    def attributes(self, el, where, allowed):
        """allowed: {attribute: (kind, required)}. S2 and the types of S3-S6."""
        for name in el.attrib:
            if name not in allowed:
                self.error(where, f"attribute {local(name)} is not one the schema defines here")
        for name, (kind, required) in allowed.items():
            if name in el.attrib:
                self.typed(where, name, el.attrib[name], kind)
            elif required:
                self.error(where, f"required attribute {name} is missing")

    # ---- element content (S1, L1) ----------------------------------------------------------
    def children(self, el, where):
        kids = []
        for kid in el:
            if not kid.tag.startswith("{" + NS + "}"):
                self.error(where, f"<{kid.tag}> is not in the policy definitions namespace")
                continue
            kids.append(kid)
        return kids

    def no_text(self, el, where):
        texts = [el.text] + [kid.tail for kid in el]
        if any(t and t.strip() for t in texts):
            self.error(where, "holds text where the schema allows only elements")

    def empty(self, el, where):
        if len(el):
            self.error(where, f"<{local(el[0].tag)}> is not allowed here (the element is empty)")
        if el.text and el.text.strip():
            self.error(where, "holds text where the schema allows none")

    def text_only(self, el, where):
        if len(el):
            self.error(where, f"<{local(el[0].tag)}> is not allowed here (the element holds text only)")

    def sequence(self, el, where, layout):
        """layout: [(name, min, max)] in schema order. Returns {name: [children]}."""
        self.no_text(el, where)
        found = {name: [] for name, _, _ in layout}
        order = " ".join(f"{n}{'' if lo == hi == 1 else '?' if hi == 1 else '*' if lo == 0 else '+'}"
                         for n, lo, hi in layout)
        position = 0
        for kid in self.children(el, where):
            name = local(kid.tag)
            at = next((i for i in range(position, len(layout)) if layout[i][0] == name), None)
            if at is None:
                if name in found:
                    self.error(where, f"<{name}> is out of order (the schema's order: {order})")
                else:
                    self.error(where, f"<{name}> is not allowed here (allowed, in order: {order})")
                continue
            position = at
            found[name].append(kid)
        for name, lo, hi in layout:
            if len(found[name]) < lo:
                self.error(where, f"<{name}> is missing (the schema's order: {order})")
            if len(found[name]) > hi:
                self.error(where, f"<{name}> appears {len(found[name])} times, at most {hi} allowed")
        return found

    def unique(self, items, where, kind):
        seen = set()
        for item in items:
            if item in seen:
                self.error(where, f"{kind} {item} is defined twice")
            seen.add(item)


# ---- the program's table ----------------------------------------------------------------------
def read_program_table(path, checker):
    """POLICY_KEY and POLICY_VALUES from core/policy_names.h: (key, {name: (lowest, highest)})."""
    text = path.read_text(encoding="utf-8")
    where = path.name
    key_match = re.search(r'POLICY_KEY\[\]\s*=\s*L"((?:[^"\\]|\\.)*)"', text)
    array_match = re.search(r"std::array<PolicyValueName,\s*(\d+)>\s*POLICY_VALUES\s*=\s*\{\{(.*?)\}\};",
                            text, re.S)
    if not key_match or not array_match:
        checker.error(where, "POLICY_KEY or the POLICY_VALUES table was not found")
        return None, {}
    key = re.sub(r"\\(.)", r"\1", key_match.group(1))
    body = re.sub(r"//[^\n]*", "", array_match.group(2))
    entries = re.findall(r'\{\s*L"(' + NAME + r')"\s*,\s*(\d+)u?\s*,\s*(\d+)u?\s*\}', body)
    if len(entries) != int(array_match.group(1)) or body.count("{") != len(entries):
        checker.error(where, f"read {len(entries)} entries of POLICY_VALUES, which holds "
                             f"{array_match.group(1)}: the table's form changed, teach this check")
    values = {}
    for name, lowest, highest in entries:
        if name in values:
            checker.error(where, f"{name} is in POLICY_VALUES twice")
        values[name] = (int(lowest), int(highest))
    return key, values


# ---- files ------------------------------------------------------------------------------------
def parse(path, checker, root_name):
    """F1 and F2: the parsed root element, or None."""
    where = str(path)
    try:
        raw = path.read_bytes()
    except OSError as e:
        checker.error(where, f"cannot be read ({e.strerror})")
        return None
    try:
        raw.decode("utf-8")
    except UnicodeDecodeError as e:
        checker.error(where, f"is not UTF-8 ({e})")
        return None
    declaration = re.match(rb'(\xef\xbb\xbf)?<\?xml[^>]*encoding="([^"]+)"', raw)
    if not declaration or declaration.group(2).lower() != b"utf-8":
        checker.error(where, 'does not begin with an XML declaration of encoding="utf-8"')
    try:
        root = ET.fromstring(raw)
    except ET.ParseError as e:
        checker.error(where, f"is not well-formed XML ({e})")
        return None
    if root.tag != "{" + NS + "}" + root_name:
        checker.error(where, f"the root element is {root.tag}, not {root_name} in {NS}")
        return None
    return root


def value_of(checker, el, where):
    """S7: the one value of a Value element, as (kind, text)."""
    checker.attributes(el, where, {})
    checker.no_text(el, where)
    kids = checker.children(el, where)
    if len(kids) != 1 or local(kids[0].tag) not in ("delete", "decimal", "longDecimal", "string"):
        checker.error(where, "must hold exactly one of delete, decimal, longDecimal, string")
        return None, None
    kid = kids[0]
    kind = local(kid.tag)
    if kind == "decimal":
        checker.attributes(kid, where + "/decimal", {"value": ("uint", True)})
        checker.empty(kid, where + "/decimal")
    elif kind == "longDecimal":
        checker.attributes(kid, where + "/longDecimal", {"value": ("ulong", True)})
        checker.empty(kid, where + "/longDecimal")
    elif kind == "delete":
        checker.attributes(kid, where + "/delete", {})
        checker.empty(kid, where + "/delete")
    else:
        checker.attributes(kid, where + "/string", {})
        if len(kid) or len(kid.text or "") > 255:
            checker.error(where + "/string", "must be text of at most 255 characters")
    return kind, kid.get("value", kid.text)


DESCRIPTIVE = [("annotation", 0, UNBOUNDED), ("parentCategory", 0, 1), ("seeAlso", 0, UNBOUNDED),
               ("keywords", 0, 1)]


def not_checked(checker, found, where, names):
    for name in names:
        if found.get(name):
            checker.error(where, f"<{name}> is in the schema but not checked here: teach this check first")


def read_admx(root, checker, where):
    """The ADMX's content: its schema rules checked, its definitions returned."""
    admx = {"strings": set(), "presentations": set(), "categories": {}, "definitions": set(),
            "policies": [], "target": None, "usings": {}, "minRequiredRevision": None}
    checker.attributes(root, where, {"revision": ("version", True), "schemaVersion": ("version", True)})
    admx["schemaVersion"] = root.get("schemaVersion")
    top = checker.sequence(root, where, [
        ("policyNamespaces", 1, 1), ("supersededAdm", 0, UNBOUNDED), ("annotation", 0, UNBOUNDED),
        ("resources", 1, 1), ("supportedOn", 0, 1), ("categories", 0, 1), ("policies", 0, 1)])
    not_checked(checker, top, where, ["supersededAdm"])

    def note_string(el, attr):
        value = el.get(attr)
        match = STRING_REF_RE.fullmatch(value or "")
        if match:
            admx["strings"].add(match.group(1))

    for namespaces in top["policyNamespaces"]:
        at = where + "/policyNamespaces"
        found = checker.sequence(namespaces, at, [("target", 1, 1), ("using", 0, UNBOUNDED)])
        for el in found["target"] + found["using"]:
            checker.attributes(el, at + "/" + local(el.tag), {"prefix": ("name", True), "namespace": ("uri", True)})
            checker.empty(el, at + "/" + local(el.tag))
        if found["target"]:
            admx["target"] = found["target"][0].get("prefix")
        for el in found["using"]:
            admx["usings"][el.get("prefix")] = el.get("namespace")
            checker.error(at, f'<using namespace="{el.get("namespace")}"> makes Intune refuse the file until '
                              "that ADMX is uploaded: define what is needed in this file instead")

    for resources in top["resources"]:
        checker.attributes(resources, where + "/resources",
                           {"minRequiredRevision": ("version", True), "fallbackCulture": ("string", False)})
        checker.empty(resources, where + "/resources")
        admx["minRequiredRevision"] = resources.get("minRequiredRevision")

    for supported in top["supportedOn"]:
        at = where + "/supportedOn"
        found = checker.sequence(supported, at, [("products", 0, 1), ("definitions", 0, 1)])
        not_checked(checker, found, at, ["products"])
        for definitions in found["definitions"]:
            inner = checker.sequence(definitions, at + "/definitions", [("definition", 1, UNBOUNDED)])
            names = []
            for definition in inner["definition"]:
                name = definition.get("name", "?")
                here = f"{at}/definition {name}"
                checker.attributes(definition, here, {"name": ("name", True), "displayName": ("stringref", True)})
                checker.sequence(definition, here, [])
                note_string(definition, "displayName")
                names.append(name)
            checker.unique(names, at, "supportedOn definition")
            admx["definitions"].update(names)

    for categories in top["categories"]:
        at = where + "/categories"
        found = checker.sequence(categories, at, [("category", 1, UNBOUNDED)])
        names = []
        for category in found["category"]:
            name = category.get("name", "?")
            here = f"{at}/category {name}"
            checker.attributes(category, here, {"name": ("name", True), "displayName": ("stringref", True),
                                                "explainText": ("stringref", False)})
            inner = checker.sequence(category, here, DESCRIPTIVE)
            not_checked(checker, inner, here, ["seeAlso", "keywords"])
            parent = None
            for ref in inner["parentCategory"]:
                checker.attributes(ref, here + "/parentCategory", {"ref": ("itemref", True)})
                checker.empty(ref, here + "/parentCategory")
                parent = ref.get("ref")
            note_string(category, "displayName")
            note_string(category, "explainText")
            names.append(name)
            admx["categories"][name] = parent
        checker.unique(names, at, "category")

    for policies in top["policies"]:
        at = where + "/policies"
        found = checker.sequence(policies, at, [("policy", 1, UNBOUNDED)])
        checker.unique([p.get("name") for p in found["policy"]], at, "policy")
        for policy in found["policy"]:
            admx["policies"].append(read_policy(policy, checker, at, note_string, admx))
    return admx


def read_policy(policy, checker, at, note_string, admx):
    name = policy.get("name", "?")
    here = f"{at}/policy {name}"
    checker.attributes(policy, here, {
        "name": ("name", True), "class": ("class", True), "displayName": ("stringref", True),
        "explainText": ("stringref", False), "presentation": ("presentationref", False),
        "key": ("key", True), "valueName": ("string", False)})
    note_string(policy, "displayName")
    note_string(policy, "explainText")
    match = PRESENTATION_REF_RE.fullmatch(policy.get("presentation", ""))
    if match:
        admx["presentations"].add(match.group(1))
    found = checker.sequence(policy, here, DESCRIPTIVE + [
        ("supportedOn", 1, 1), ("enabledValue", 0, 1), ("disabledValue", 0, 1), ("enabledList", 0, 1),
        ("disabledList", 0, 1), ("elements", 0, 1)])
    not_checked(checker, found, here, ["seeAlso", "keywords", "enabledList", "disabledList"])
    info = {"name": name, "where": here, "class": policy.get("class"), "key": policy.get("key"),
            "valueName": policy.get("valueName"), "explain": policy.get("explainText"),
            "presentation": match.group(1) if match else None, "category": None, "supportedOn": None,
            "enabledValue": None, "disabledValue": None, "elements": []}
    for ref in found["parentCategory"]:
        checker.attributes(ref, here + "/parentCategory", {"ref": ("itemref", True)})
        checker.empty(ref, here + "/parentCategory")
        info["category"] = ref.get("ref")
    for ref in found["supportedOn"]:
        checker.attributes(ref, here + "/supportedOn", {"ref": ("itemref", True)})
        checker.empty(ref, here + "/supportedOn")
        info["supportedOn"] = ref.get("ref")
    for which in ("enabledValue", "disabledValue"):
        for el in found[which]:
            info[which] = value_of(checker, el, f"{here}/{which}")
    for elements in found["elements"]:
        info["elements"] = read_elements(elements, checker, here + "/elements", note_string)
    return info


ELEMENT_KINDS = ("boolean", "decimal", "text", "enum", "list", "longDecimal", "multiText")


def read_elements(elements, checker, here, note_string):
    checker.no_text(elements, here)
    kids = checker.children(elements, here)
    if not kids:
        checker.error(here, "must hold at least one element")
    result = []
    common = {"id": ("name", True), "clientExtension": ("string", False), "key": ("key", False),
              "valueName": ("string", False)}
    for el in kids:
        kind = local(el.tag)
        at = f"{here}/{kind} {el.get('id', '?')}"
        info = {"kind": kind, "id": el.get("id"), "key": el.get("key"), "valueName": el.get("valueName"),
                "where": at, "required": el.get("required", "false") in ("true", "1")}
        if kind == "decimal":
            checker.attributes(el, at, dict(common, required=("bool", False), minValue=("uint", False),
                                            maxValue=("uint", False), storeAsText=("bool", False),
                                            soft=("bool", False)))
            checker.empty(el, at)
            try:
                info["min"] = int(el.get("minValue", "0"))
                info["max"] = int(el.get("maxValue", "9999"))
            except ValueError:
                info["min"], info["max"] = None, None
            if info["min"] is not None and info["min"] > info["max"]:
                checker.error(at, f"minValue {info['min']} is above maxValue {info['max']}")
            info["storeAsText"] = el.get("storeAsText", "false") in ("true", "1")
        elif kind == "enum":
            checker.attributes(el, at, dict(common, required=("bool", False)))
            found = checker.sequence(el, at, [("item", 0, UNBOUNDED)])
            info["items"] = []
            for item in found["item"]:
                item_at = f"{at}/item {item.get('displayName', '?')}"
                checker.attributes(item, item_at, {"displayName": ("stringref", True)})
                note_string(item, "displayName")
                parts = checker.sequence(item, item_at, [("value", 1, 1), ("valueList", 0, 1)])
                not_checked(checker, parts, item_at, ["valueList"])
                for value in parts["value"]:
                    info["items"].append(value_of(checker, value, item_at + "/value"))
        elif kind in ELEMENT_KINDS:
            checker.error(at, f"<{kind}> is in the schema but not checked here: teach this check first")
            continue
        else:
            checker.error(at, f"<{kind}> is not an element of the schema (allowed: {', '.join(ELEMENT_KINDS)})")
            continue
        result.append(info)
    checker.unique([e["id"] for e in result], here, "element id")
    return result


PRESENTATION_KINDS = ("text", "decimalTextBox", "textBox", "checkBox", "comboBox", "dropdownList",
                      "listBox", "longDecimalTextBox", "multiTextBox")


def read_adml(root, checker, where):
    adml = {"strings": {}, "presentations": {}}
    checker.attributes(root, where, {"revision": ("version", True), "schemaVersion": ("version", True)})
    adml["revision"] = root.get("revision")
    adml["schemaVersion"] = root.get("schemaVersion")
    top = checker.sequence(root, where, [("displayName", 1, 1), ("description", 1, 1),
                                          ("annotation", 0, UNBOUNDED), ("resources", 1, 1)])
    for name in ("displayName", "description"):
        for el in top[name]:
            checker.attributes(el, f"{where}/{name}", {})
            checker.text_only(el, f"{where}/{name}")
            if not (el.text or "").strip():
                checker.error(f"{where}/{name}", "is empty")
    for resources in top["resources"]:
        at = where + "/resources"
        checker.attributes(resources, at, {})
        tables = checker.sequence(resources, at, [("stringTable", 0, 1), ("presentationTable", 0, 1)])
        for table in tables["stringTable"]:
            found = checker.sequence(table, at + "/stringTable", [("string", 1, UNBOUNDED)])
            ids = []
            for string in found["string"]:
                here = f"{at}/stringTable/string {string.get('id', '?')}"
                checker.attributes(string, here, {"id": ("name", True)})
                checker.text_only(string, here)
                ids.append(string.get("id"))
                adml["strings"][string.get("id")] = string.text or ""
            checker.unique(ids, at + "/stringTable", "string id")
        for table in tables["presentationTable"]:
            found = checker.sequence(table, at + "/presentationTable", [("presentation", 1, UNBOUNDED)])
            ids = []
            for presentation in found["presentation"]:
                here = f"{at}/presentationTable/presentation {presentation.get('id', '?')}"
                checker.attributes(presentation, here, {"id": ("name", True)})
                ids.append(presentation.get("id"))
                adml["presentations"][presentation.get("id")] = read_presentation(presentation, checker, here)
            checker.unique(ids, at + "/presentationTable", "presentation id")
    return adml


def read_presentation(presentation, checker, here):
    checker.no_text(presentation, here)
    controls = []
    for el in checker.children(presentation, here):
        kind = local(el.tag)
        at = f"{here}/{kind}"
        if kind == "text":
            checker.attributes(el, at, {})
            checker.text_only(el, at)
            controls.append({"kind": kind, "label": el.text or ""})
        elif kind in ("decimalTextBox", "dropdownList"):
            allowed = {"refId": ("name", True)}
            if kind == "decimalTextBox":
                allowed.update(defaultValue=("uint", False), spin=("bool", False), spinStep=("uint", False))
            else:
                allowed.update(noSort=("bool", False), defaultItem=("uint", False))
            checker.attributes(el, at, allowed)
            checker.text_only(el, at)
            controls.append({"kind": kind, "refId": el.get("refId"), "label": el.text or "", "where": at,
                             "defaultValue": el.get("defaultValue", "1"), "spinStep": el.get("spinStep", "1"),
                             "defaultItem": el.get("defaultItem")})
        elif kind == "comboBox":
            checker.error(at, "<comboBox> makes Intune refuse the file")
        elif kind in PRESENTATION_KINDS:
            checker.error(at, f"<{kind}> is in the schema but not checked here: teach this check first")
        else:
            checker.error(at, f"<{kind}> is not a presentation control (allowed: {', '.join(PRESENTATION_KINDS)})")
    return controls


def version_tuple(text):
    match = VERSION_RE.fullmatch(text or "")
    return (int(match.group(1)), int(match.group(2))) if match else None


# ---- the rules that join the files ------------------------------------------------------------
def check_references(admx, checker, where):
    """R1 and P5."""
    def resolve(ref, names):
        match = ITEM_REF_RE.fullmatch(ref or "")
        if not match:
            return False
        prefix, name = match.groups()
        if prefix is not None and prefix != admx["target"]:
            return False
        return name in names
    for name, parent in admx["categories"].items():
        if parent is not None and not resolve(parent, admx["categories"]):
            checker.error(f"{where}/category {name}", f'parentCategory "{parent}" is no category of this file')
    for policy in admx["policies"]:
        if policy["category"] is None:
            checker.error(policy["where"], "has no parentCategory: it would show in no category")
        elif not resolve(policy["category"], admx["categories"]):
            checker.error(policy["where"], f'parentCategory "{policy["category"]}" is no category of this file')
        if policy["supportedOn"] is not None and not resolve(policy["supportedOn"], admx["definitions"]):
            checker.error(policy["where"], f'supportedOn "{policy["supportedOn"]}" is no definition of this file')
        if not policy["explain"]:
            checker.error(policy["where"], "has no explainText (Intune needs it; administrators read it)")


def check_program(admx, key, values, checker):
    """P1-P4."""
    written = {}
    for policy in admx["policies"]:
        here = policy["where"]
        if policy["class"] != "Machine":
            checker.error(here, f'class "{policy["class"]}": the program reads only HKEY_LOCAL_MACHINE, use Machine')
        keys = [policy["key"]] + [e["key"] for e in policy["elements"] if e["key"]]
        for k in keys:
            if key is not None and (k or "").lower() != key.lower():
                checker.error(here, f'writes under "{k}", the program reads "{key}"')
            if (k or "").upper().startswith(INGESTION_REFUSED):
                checker.error(here, f'"{k}" is where Intune\'s ADMX ingestion refuses to write')
        if (policy["enabledValue"] or policy["disabledValue"]) and not policy["valueName"]:
            checker.error(here, "has enabledValue/disabledValue but no valueName")
        if policy["valueName"]:
            written.setdefault(policy["valueName"], []).append(here)
            check_on_off(policy, values.get(policy["valueName"]), checker)
        for element in policy["elements"]:
            if not element["valueName"]:
                checker.error(element["where"], "has no valueName")
                continue
            written.setdefault(element["valueName"], []).append(element["where"])
            check_element(element, values.get(element["valueName"]), checker)
    for name, places in written.items():
        if name not in values:
            checker.error(places[0], f"writes {name}, which the program does not read (core/policy_names.h)")
        if len(places) > 1:
            checker.error(places[1], f"writes {name}, which {places[0]} writes too")
    for name in values:
        if name not in written:
            checker.error("Ostinel.admx", f"no policy writes {name}, which the program reads (core/policy_names.h)")


def check_on_off(policy, accepted, checker):
    here = policy["where"]
    if accepted is None:
        return
    if accepted != (0, 1):
        checker.error(here, f"writes {policy['valueName']} as on/off, but the program accepts "
                            f"{accepted[0]}-{accepted[1]}: use an element")
        return
    for which, want in (("enabledValue", 1), ("disabledValue", 0)):
        value = policy[which]
        if value is None:
            more = " (without it, disabling deletes the value instead of writing 0)" if want == 0 else ""
            checker.error(here, f"has no {which}: it must write decimal {want}{more}")
        elif value != ("decimal", str(want)):
            checker.error(here, f"{which} is {value[0]} {value[1]}: the program needs REG_DWORD {want}")


def check_element(element, accepted, checker):
    here = element["where"]
    if accepted is None:
        return
    lowest, highest = accepted
    if not element["required"]:
        checker.error(here, 'must be required="true" (enabled with no value would write nothing)')
    if element["kind"] == "decimal":
        if element["storeAsText"]:
            checker.error(here, "storeAsText writes REG_SZ: the program reads REG_DWORD")
        if (element["min"], element["max"]) != (lowest, highest):
            checker.error(here, f"accepts {element['min']}-{element['max']}, the program {lowest}-{highest}")
    elif element["kind"] == "enum":
        numbers = []
        for kind, text in element["items"]:
            if kind != "decimal":
                checker.error(here, f"an item writes {kind}: the program reads REG_DWORD")
            else:
                numbers.append(int(text))
        if sorted(numbers) != list(range(lowest, highest + 1)):
            checker.error(here, f"items write {sorted(numbers)}, the program accepts {lowest}-{highest}, each once")


def check_languages(admx, admls, languages, checker):
    """R2, R3, L2 and T1."""
    minimum = version_tuple(admx["minRequiredRevision"])
    elements = {p["presentation"]: p for p in admx["policies"] if p["presentation"]}
    for language, adml in admls.items():
        where = f"{language}/{BASENAME}.adml"
        revision = version_tuple(adml["revision"])
        if minimum and revision and revision < minimum:
            checker.error(where, f"revision {adml['revision']} is below the ADMX's minRequiredRevision "
                                 f"{admx['minRequiredRevision']}: Group Policy would not load it")
        if adml["schemaVersion"] != admx["schemaVersion"]:
            checker.error(where, f"schemaVersion {adml['schemaVersion']} differs from the ADMX's {admx['schemaVersion']}")
        for name in sorted(admx["strings"] - adml["strings"].keys()):
            checker.error(where, f"$(string.{name}), which the ADMX names, is missing")
        for name in sorted(adml["strings"].keys() - admx["strings"]):
            checker.error(where, f"string {name} is not used by the ADMX")
        for name in sorted(admx["presentations"] - adml["presentations"].keys()):
            checker.error(where, f"$(presentation.{name}), which the ADMX names, is missing")
        for name in sorted(adml["presentations"].keys() - admx["presentations"]):
            checker.error(where, f"presentation {name} is not used by the ADMX")
        for name, text in adml["strings"].items():
            if not text.strip():
                checker.error(where, f"string {name} is empty")
        for name, controls in adml["presentations"].items():
            if name in elements:
                check_presentation(elements[name], controls, checker, f"{where}/presentation {name}")
    for policy in admx["policies"]:
        if policy["elements"] and not policy["presentation"]:
            checker.error(policy["where"], "has elements but no presentation: they could not be set")
        if policy["presentation"] and not policy["elements"]:
            checker.error(policy["where"], "names a presentation but has no elements")
    english = admls.get("en-US")
    if english:
        prose = [n for n, t in english["strings"].items() if " " in t.strip()]
        others = [language for language in languages if language != "en-US"]
        for language in others:
            for name in prose:
                text = admls.get(language, {}).get("strings", {}).get(name)
                if text is not None and (text == english["strings"][name] or
                                         (language.startswith("zh-") and not CJK_RE.search(text))):
                    checker.error(f"{language}/{BASENAME}.adml", f"string {name} is not translated")
        for i, first in enumerate(others):
            for second in others[i + 1:]:
                copies = 0
                for name in prose:
                    text = admls.get(first, {}).get("strings", {}).get(name)
                    if text is not None and text == admls.get(second, {}).get("strings", {}).get(name):
                        copies += 1
                if prose and copies == len(prose):
                    checker.error(f"{second}/{BASENAME}.adml", f"holds the same texts as {first}: it needs its own language")


def check_presentation(policy, controls, checker, where):
    by_id = {e["id"]: e for e in policy["elements"]}
    matching = {"decimal": "decimalTextBox", "enum": "dropdownList"}
    seen = set()
    for control in controls:
        if control["kind"] == "text":
            continue
        ref = control["refId"]
        element = by_id.get(ref)
        if element is None:
            checker.error(control["where"], f'refId "{ref}" is no element of policy {policy["name"]}')
            continue
        if ref in seen:
            checker.error(control["where"], f'a second control for element "{ref}"')
        seen.add(ref)
        if matching.get(element["kind"]) != control["kind"]:
            checker.error(control["where"], f"shows a {element['kind']} element: use <{matching.get(element['kind'])}>")
            continue
        if control["kind"] == "decimalTextBox" and element.get("min") is not None:
            default, step = int(control["defaultValue"]), int(control["spinStep"])
            if not element["min"] <= default <= element["max"]:
                checker.error(control["where"], f"defaultValue {default} is outside {element['min']}-{element['max']}")
            if not 1 <= step <= element["max"] - element["min"]:
                checker.error(control["where"], f"spinStep {step} does not fit the range {element['min']}-{element['max']}")
        if control["kind"] == "dropdownList" and control["defaultItem"] is not None:
            if int(control["defaultItem"]) >= len(element["items"]):
                checker.error(control["where"], f"defaultItem {control['defaultItem']} is past the "
                                                f"{len(element['items'])} items (the list would show blank)")
        if not control["label"].strip():
            checker.error(control["where"], "has no label")
    for element in policy["elements"]:
        if element["id"] not in seen:
            checker.error(where, f'no control shows element "{element["id"]}"')


def check_store(store, sources, languages, checker):
    """The built central store: exactly the templates, byte for byte, in their folders."""
    expected = {Path(f"{BASENAME}.admx"): sources["admx"]}
    for language in languages:
        expected[Path(language) / f"{BASENAME}.adml"] = sources[language]
    present = {p.relative_to(store) for p in store.rglob("*") if p.is_file()} if store.is_dir() else set()
    for relative, source in expected.items():
        if relative not in present:
            checker.error(str(store), f"{relative} is missing")
        elif (store / relative).read_bytes() != source.read_bytes():
            checker.error(str(store), f"{relative} differs from {source}")
    for relative in sorted(present - expected.keys()):
        checker.error(str(store), f"{relative} is not a template of the central store's layout")


def languages_found(root):
    """The codes of the folders of policy/ that hold an Ostinel.adml."""
    return sorted(p.parent.name for p in (root / "policy").glob(f"*/{BASENAME}.adml"))


def check(root, store=None, languages=None):
    """All rules, for the given language codes (default: every folder with an ADML); returns the
    list of faults."""
    checker = Checker()
    policy_dir = root / "policy"
    languages = languages_found(root) if languages is None else list(languages)
    sources = {"admx": policy_dir / f"{BASENAME}.admx"}
    sources.update({language: policy_dir / language / f"{BASENAME}.adml" for language in languages})
    key, values = read_program_table(root / "core" / "policy_names.h", checker)
    admx_root = parse(sources["admx"], checker, "policyDefinitions")
    admls = {}
    for language in languages:
        adml_root = parse(sources[language], checker, "policyDefinitionResources")
        if adml_root is not None:
            admls[language] = read_adml(adml_root, checker, f"{language}/{BASENAME}.adml")
    if admx_root is not None:
        admx = read_admx(admx_root, checker, f"{BASENAME}.admx")
        check_references(admx, checker, f"{BASENAME}.admx")
        check_program(admx, key, values, checker)
        check_languages(admx, admls, languages, checker)
    if store is not None:
        check_store(store, sources, languages, checker)
    return checker.errors


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=Path, default=Path(__file__).resolve().parent.parent)
    parser.add_argument("--languages", nargs="+")
    parser.add_argument("--store", type=Path)
    args = parser.parse_args()
    languages = args.languages or languages_found(args.root)
    errors = check(args.root, args.store, languages)
    for error in errors:
        print(error)
    if errors:
        print(f"policy templates: {len(errors)} faults")
        return 1
    print(f"policy templates: {BASENAME}.admx and {len(languages)} ADML files follow the schema's rules "
          "and write exactly what core/policy_names.h reads" + (f"; {args.store} holds them" if args.store else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())

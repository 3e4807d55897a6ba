"""The files that describe a release: its bill of materials, its winget manifests and SHA256SUMS,
and the check of all three against the files they describe.

  release_files.py write DIR --version V --base-url URL --product-code {GUID} --epoch SECONDS
                         --component NAME=VERSION=WHERE ...
      DIR holds the packages and the administrative templates; this adds Ostinel-V.spdx.json,
      winget/ and, last, SHA256SUMS over every file in DIR.
  release_files.py check DIR
      Checks SHA256SUMS, the SPDX 2.3 document and the winget 1.10 manifests against the rules of
      their published schemas that apply here, and against the files. Prints each fault; exits 1
      when there is one.

Every output depends only on its inputs (no clock, no folder names), so that two releases of the
same sources are the same bytes.
"""
import argparse
import datetime
import hashlib
import json
import os
import re
import sys

PUBLISHER = 'Vemto'
PACKAGE_IDENTIFIER = 'Vemto.Ostinel'
MANIFEST_VERSION = '1.10.0'
SUMS = 'SHA256SUMS'
SETUP_UNINSTALL_KEY = 'Ostinel'
# The setup's exit values other than 0 (the README's table) and winget's nearest response to each:
# 1 the user cancelled, 2 an error the setup's message box or log names, 3010 installed, a restart
# finishes the job. winget knows msiexec's own values.
SETUP_RETURN_RESPONSES = {1: 'cancelledByUser', 2: 'contactSupport', 3010: 'rebootRequiredToFinish'}
# How each installer takes the folder of winget's --location (the setup's /D= comes last, as
# NSIS needs, since winget adds it after the silent switch).
INSTALL_LOCATION_SWITCHES = {'msi': 'INSTALLDIR="<INSTALLPATH>"', 'nullsoft': '/D=<INSTALLPATH>'}
# Every ReturnResponse the winget 1.10 schema knows.
RETURN_RESPONSES = {'packageInUse', 'packageInUseByApplication', 'installInProgress', 'fileInUse', 'missingDependency',
                    'diskFull', 'insufficientMemory', 'invalidParameter', 'noNetwork', 'contactSupport',
                    'rebootRequiredToFinish', 'rebootRequiredForInstall', 'rebootInitiated', 'cancelledByUser',
                    'alreadyInstalled', 'downgrade', 'blockedByPolicy', 'systemNotSupported', 'custom'}
LOCALES = {
    'en-US': ('Plays a click on every touch of an infrared touch screen and makes right clicks '
              'from a held touch or a floating function button.'),
    'zh-CN': '在红外触摸屏的每次触摸时播放点击声，并通过长按或浮动功能按钮产生右键单击。',
    'zh-TW': '在紅外線觸控螢幕的每次觸控時播放點擊聲，並透過長按或浮動功能按鈕產生右鍵按一下。',
}


def msi_name(version):
    return 'Ostinel-%s-x64.msi' % version


def setup_name(version):
    return 'OstinelSetup-%s-x64.exe' % version


def sbom_name(version):
    return 'Ostinel-%s.spdx.json' % version


def digest(path, algorithm='sha256'):
    h = hashlib.new(algorithm)
    with open(path, 'rb') as f:
        for block in iter(lambda: f.read(1 << 20), b''):
            h.update(block)
    return h.hexdigest()


def read_text(path):
    with open(path, encoding='utf-8') as f:
        return f.read()


def files_below(top):
    """Every file below `top`, as '/'-separated relative paths, sorted."""
    found = []
    for folder, dirs, names in os.walk(top):
        dirs.sort()
        for name in names:
            found.append(os.path.relpath(os.path.join(folder, name), top).replace(os.sep, '/'))
    return sorted(found)


# ---- SPDX ------------------------------------------------------------------------------------------
def spdx_id(text):
    return 'SPDXRef-' + re.sub(r'[^A-Za-z0-9.-]', '-', text)


def write_sbom(out, args):
    version = args.version
    shipped = [name for name in files_below(out) if not name.startswith('winget/') and name != SUMS]
    created = datetime.datetime.fromtimestamp(args.epoch, datetime.timezone.utc).strftime('%Y-%m-%dT%H:%M:%SZ')
    product = spdx_id('Package-Ostinel')
    packages = [{
        'SPDXID': product, 'name': 'Ostinel', 'versionInfo': version,
        'supplier': 'Organization: ' + PUBLISHER, 'downloadLocation': args.base_url,
        'filesAnalyzed': False, 'primaryPackagePurpose': 'APPLICATION',
        'licenseConcluded': 'NOASSERTION', 'licenseDeclared': 'NOASSERTION', 'copyrightText': 'NOASSERTION',
    }]
    relationships = [{'spdxElementId': 'SPDXRef-DOCUMENT', 'relationshipType': 'DESCRIBES',
                      'relatedSpdxElement': product}]
    components = []
    for component in args.component:
        name, component_version, where = component.split('=', 2)
        component_id = spdx_id('Package-' + name)
        components.append((component_id, where))
        packages.append({
            'SPDXID': component_id, 'name': name, 'versionInfo': component_version,
            'supplier': 'NOASSERTION', 'downloadLocation': 'NOASSERTION', 'filesAnalyzed': False,
            'primaryPackagePurpose': 'LIBRARY', 'licenseConcluded': 'NOASSERTION',
            'licenseDeclared': 'NOASSERTION', 'copyrightText': 'NOASSERTION',
            'comment': 'Read from the build machine; in ' + where + '.',
        })
    files = []
    for name in shipped:
        file_id = spdx_id('File-' + name)
        path = os.path.join(out, name)
        files.append({'SPDXID': file_id, 'fileName': './' + name,
                      'checksums': [{'algorithm': 'SHA1', 'checksumValue': digest(path, 'sha1')},
                                    {'algorithm': 'SHA256', 'checksumValue': digest(path)}],
                      'licenseConcluded': 'NOASSERTION', 'copyrightText': 'NOASSERTION'})
        relationships.append({'spdxElementId': product, 'relationshipType': 'CONTAINS',
                              'relatedSpdxElement': file_id})
        for component_id, where in components:
            # `where` names the shipped files that carry the component: "setup" or "programs"
            # (the programs are inside both packages).
            if where == 'setup' and name == setup_name(version) or \
               where == 'programs' and name in (setup_name(version), msi_name(version)):
                relationships.append({'spdxElementId': file_id, 'relationshipType': 'CONTAINS',
                                      'relatedSpdxElement': component_id})
    content = hashlib.sha256(''.join(f['checksums'][1]['checksumValue'] for f in files).encode()).hexdigest()
    document = {
        'spdxVersion': 'SPDX-2.3', 'dataLicense': 'CC0-1.0', 'SPDXID': 'SPDXRef-DOCUMENT',
        'name': 'Ostinel-%s' % version,
        'documentNamespace': '%s/spdx/Ostinel-%s-%s' % (args.base_url.rstrip('/'), version, content[:16]),
        'creationInfo': {'created': created, 'creators': ['Organization: ' + PUBLISHER, 'Tool: scripts/release.sh']},
        'documentDescribes': [product],
        'packages': packages, 'files': files, 'relationships': relationships,
    }
    with open(os.path.join(out, sbom_name(version)), 'w', encoding='utf-8', newline='\n') as f:
        json.dump(document, f, indent=2, ensure_ascii=False)
        f.write('\n')


# ---- winget manifests (YAML, written and read in the plain subset used here) ----------------------
def yaml_scalar(value):
    if isinstance(value, bool):
        return 'true' if value else 'false'
    if isinstance(value, int):
        return str(value)
    return "'%s'" % str(value).replace("'", "''")


def to_yaml(value, indent=0):
    pad = ' ' * indent
    lines = []
    for key, item in value.items():
        if isinstance(item, dict):
            lines.append('%s%s:' % (pad, key))
            lines += to_yaml(item, indent + 2)
        elif isinstance(item, list):
            lines.append('%s%s:' % (pad, key))
            for element in item:
                if isinstance(element, dict):
                    inner = to_yaml(element, indent + 2)
                    lines.append(pad + '- ' + inner[0][indent + 2:])
                    lines += inner[1:]
                else:
                    lines.append('%s- %s' % (pad, yaml_scalar(element)))
        else:
            lines.append('%s%s: %s' % (pad, key, yaml_scalar(item)))
    return lines


def parse_scalar(text):
    if text.startswith("'"):
        if not text.endswith("'") or len(text) < 2:
            raise ValueError('unterminated string %s' % text)
        return text[1:-1].replace("''", "'")
    if text in ('true', 'false'):
        return text == 'true'
    if re.fullmatch(r'-?[0-9]+', text):
        return int(text)
    return text


def from_yaml(text):
    """Reads the block mappings, block sequences and scalars that to_yaml writes."""
    lines = [(len(l) - len(l.lstrip(' ')), l.strip()) for l in text.splitlines()
             if l.strip() and not l.lstrip().startswith('#')]

    def block(i, indent):
        if i < len(lines) and lines[i][1].startswith('- ') and lines[i][0] == indent:
            items = []
            while i < len(lines) and lines[i][0] == indent and lines[i][1].startswith('- '):
                rest = lines[i][1][2:]
                if re.match(r'^[A-Za-z0-9]+:', rest):
                    lines[i] = (indent + 2, rest)
                    item, i = mapping(i, indent + 2)
                else:
                    item, i = parse_scalar(rest), i + 1
                items.append(item)
            return items, i
        return mapping(i, indent)

    def mapping(i, indent):
        result = {}
        while i < len(lines) and lines[i][0] == indent and not lines[i][1].startswith('- '):
            key, sep, rest = lines[i][1].partition(':')
            if not sep:
                raise ValueError('not a mapping line: %s' % lines[i][1])
            if key in result:
                raise ValueError('duplicate key %s' % key)
            rest = rest.strip()
            if rest:
                result[key], i = parse_scalar(rest), i + 1
            elif i + 1 < len(lines) and lines[i + 1][0] >= indent and \
                    (lines[i + 1][0] > indent or lines[i + 1][1].startswith('- ')):
                result[key], i = block(i + 1, lines[i + 1][0])
            else:
                result[key], i = None, i + 1
        return result, i

    value, i = block(0, 0)
    if i != len(lines):
        raise ValueError('unexpected indentation at: %s' % lines[i][1])
    return value


def manifest_text(kind, body):
    header = '# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n\n' % (
        kind, MANIFEST_VERSION)
    return header + '\n'.join(to_yaml(body)) + '\n'


def write_winget(out, args):
    version = args.version
    folder = os.path.join(out, 'winget')
    os.makedirs(folder, exist_ok=True)
    base = args.base_url.rstrip('/')
    common = {'PackageIdentifier': PACKAGE_IDENTIFIER, 'PackageVersion': version}
    manifests = {
        PACKAGE_IDENTIFIER + '.yaml': ('version', dict(common, DefaultLocale='en-US')),
        PACKAGE_IDENTIFIER + '.installer.yaml': ('installer', dict(common, **{
            'Installers': [
                {'Architecture': 'x64', 'InstallerType': 'msi', 'Scope': 'machine',
                 'InstallerUrl': '%s/%s' % (base, msi_name(version)),
                 'InstallerSha256': digest(os.path.join(out, msi_name(version))).upper(),
                 'ProductCode': args.product_code, 'UpgradeBehavior': 'install',
                 'InstallModes': ['silent', 'silentWithProgress'],
                 'InstallerSwitches': {'Silent': '/qn REBOOT=ReallySuppress',
                                       'SilentWithProgress': '/qb! REBOOT=ReallySuppress',
                                       'InstallLocation': INSTALL_LOCATION_SWITCHES['msi']}},
                {'Architecture': 'x64', 'InstallerType': 'nullsoft', 'Scope': 'machine',
                 'InstallerUrl': '%s/%s' % (base, setup_name(version)),
                 'InstallerSha256': digest(os.path.join(out, setup_name(version))).upper(),
                 # The name of the setup's uninstall key, by which winget finds it installed.
                 'ProductCode': SETUP_UNINSTALL_KEY, 'UpgradeBehavior': 'install',
                 'InstallModes': ['interactive', 'silent', 'silentWithProgress'],
                 'InstallerSwitches': {'Silent': '/S', 'SilentWithProgress': '/S',
                                       'InstallLocation': INSTALL_LOCATION_SWITCHES['nullsoft']},
                 'ExpectedReturnCodes': [{'InstallerReturnCode': code, 'ReturnResponse': response}
                                         for code, response in sorted(SETUP_RETURN_RESPONSES.items())]},
            ]})),
    }
    for locale, description in LOCALES.items():
        kind = 'defaultLocale' if locale == 'en-US' else 'locale'
        body = dict(common, PackageLocale=locale, Publisher=PUBLISHER, PackageName='Ostinel',
                    License='Proprietary', ShortDescription=description)
        if kind == 'locale':
            body = dict(common, PackageLocale=locale, ShortDescription=description)
        manifests['%s.locale.%s.yaml' % (PACKAGE_IDENTIFIER, locale)] = (kind, body)
    for name, (kind, body) in manifests.items():
        body = dict(body, ManifestType=kind, ManifestVersion=MANIFEST_VERSION)
        with open(os.path.join(folder, name), 'w', encoding='utf-8', newline='\n') as f:
            f.write(manifest_text(kind, body))


def write_sums(out):
    names = [name for name in files_below(out) if name != SUMS]
    with open(os.path.join(out, SUMS), 'w', encoding='utf-8', newline='\n') as f:
        for name in names:
            f.write('%s  %s\n' % (digest(os.path.join(out, name)), name))


# ---- The check ---------------------------------------------------------------------------------------
class Faults:
    def __init__(self):
        self.list = []

    def __call__(self, where, text):
        self.list.append('%s: %s' % (where, text))


def check_fields(fault, where, value, rules):
    """rules: {field: (required, type or tuple, pattern or enum or None)}."""
    if not isinstance(value, dict):
        fault(where, 'not a mapping')
        return
    for field, (required, kind, rule) in rules.items():
        if field not in value:
            if required:
                fault(where, 'no %s' % field)
            continue
        item = value[field]
        if not isinstance(item, kind) or isinstance(item, bool) and kind is not bool:
            fault(where, '%s is not of type %s' % (field, getattr(kind, '__name__', kind)))
        elif isinstance(rule, str) and not re.fullmatch(rule, item):
            fault(where, '%s %r does not match %s' % (field, item, rule))
        elif isinstance(rule, (set, frozenset)) and item not in rule:
            fault(where, '%s %r is none of %s' % (field, item, sorted(rule)))


SPDX_ID = r'SPDXRef-[A-Za-z0-9.\-]+'
DATE_TIME = r'\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z'
RELATIONSHIPS = {'DESCRIBES', 'DESCRIBED_BY', 'CONTAINS', 'CONTAINED_BY', 'DEPENDS_ON', 'DEPENDENCY_OF',
                 'STATIC_LINK', 'DYNAMIC_LINK', 'GENERATED_FROM', 'GENERATES', 'PACKAGE_OF', 'OTHER'}
PURPOSES = {'APPLICATION', 'FRAMEWORK', 'LIBRARY', 'CONTAINER', 'OPERATING-SYSTEM', 'DEVICE', 'FIRMWARE',
            'SOURCE', 'ARCHIVE', 'FILE', 'INSTALL', 'OTHER'}
ALGORITHMS = {'SHA1': 40, 'SHA224': 56, 'SHA256': 64, 'SHA384': 96, 'SHA512': 128, 'MD5': 32}


def check_sbom(out, version, fault):
    name = sbom_name(version)
    try:
        document = json.loads(read_text(os.path.join(out, name)))
    except (OSError, ValueError) as error:
        fault(name, 'unreadable: %s' % error)
        return
    check_fields(fault, name, document, {
        'spdxVersion': (True, str, r'SPDX-2\.3'), 'dataLicense': (True, str, r'CC0-1\.0'),
        'SPDXID': (True, str, r'SPDXRef-DOCUMENT'), 'name': (True, str, r'.+'),
        'documentNamespace': (True, str, r'[a-z][a-z0-9+.\-]*://[^#\s]+'),
        'creationInfo': (True, dict, None), 'packages': (False, list, None), 'files': (False, list, None),
        'relationships': (False, list, None), 'documentDescribes': (False, list, None)})
    check_fields(fault, name + ' creationInfo', document.get('creationInfo'), {
        'created': (True, str, DATE_TIME), 'creators': (True, list, None)})
    for creator in document.get('creationInfo', {}).get('creators', []):
        if not isinstance(creator, str) or not re.fullmatch(r'(Person|Organization|Tool): .+', creator):
            fault(name, 'creator %r is not "Person|Organization|Tool: name"' % (creator,))
    ids = {'SPDXRef-DOCUMENT'}
    for package in document.get('packages', []):
        where = '%s package %s' % (name, package.get('name') if isinstance(package, dict) else package)
        check_fields(fault, where, package, {
            'SPDXID': (True, str, SPDX_ID), 'name': (True, str, r'.+'), 'downloadLocation': (True, str, r'.+'),
            'versionInfo': (False, str, r'.+'), 'filesAnalyzed': (False, bool, None),
            'supplier': (False, str, r'NOASSERTION|(Person|Organization): .+'),
            'primaryPackagePurpose': (False, str, PURPOSES)})
        ids.add(package.get('SPDXID'))
    shipped = {}
    for entry in document.get('files', []):
        where = '%s file %s' % (name, entry.get('fileName') if isinstance(entry, dict) else entry)
        check_fields(fault, where, entry, {'SPDXID': (True, str, SPDX_ID), 'fileName': (True, str, r'.+'),
                                           'checksums': (True, list, None)})
        ids.add(entry.get('SPDXID'))
        sums = {}
        for checksum in entry.get('checksums', []):
            check_fields(fault, where, checksum, {'algorithm': (True, str, set(ALGORITHMS)),
                                                  'checksumValue': (True, str, r'[0-9a-f]+')})
            if isinstance(checksum, dict):
                sums[checksum.get('algorithm')] = checksum.get('checksumValue')
        for algorithm in ('SHA1', 'SHA256'):
            value = sums.get(algorithm)
            if not isinstance(value, str) or len(value) != ALGORITHMS[algorithm]:
                fault(where, 'no %s checksum of the right length' % algorithm)
        shipped[str(entry.get('fileName', '')).removeprefix('./')] = sums.get('SHA256')
    for relationship in document.get('relationships', []):
        check_fields(fault, name + ' relationship', relationship, {
            'spdxElementId': (True, str, SPDX_ID), 'relatedSpdxElement': (True, str, SPDX_ID),
            'relationshipType': (True, str, RELATIONSHIPS)})
        if isinstance(relationship, dict):
            for end in ('spdxElementId', 'relatedSpdxElement'):
                if relationship.get(end) not in ids:
                    fault(name, 'relationship names %s, which is not in the document' % relationship.get(end))
    if len(ids) != 1 + len(document.get('packages', [])) + len(document.get('files', [])):
        fault(name, 'an SPDXID is used twice')
    # What the document says of the release: each shipped file with its hash, and the components
    # inside them with versions.
    expected = [n for n in files_below(out) if not n.startswith('winget/') and n not in (SUMS, name)]
    for entry in expected:
        if entry not in shipped:
            fault(name, '%s is not listed' % entry)
        elif shipped[entry] != digest(os.path.join(out, entry)):
            fault(name, 'the SHA-256 of %s is not the file\'s' % entry)
    for entry in shipped:
        if entry not in expected:
            fault(name, 'lists %s, which the release does not hold' % entry)
    products = [p for p in document.get('packages', []) if isinstance(p, dict) and p.get('name') == 'Ostinel']
    if not products or products[0].get('versionInfo') != version:
        fault(name, 'no package Ostinel at version %s' % version)
    components = [p for p in document.get('packages', []) if isinstance(p, dict) and p.get('name') != 'Ostinel']
    if len(components) < 3 or any(not p.get('versionInfo') for p in components):
        fault(name, 'the C++ library, the mingw-w64 runtime and the NSIS stub need a package with a version each')


def check_return_codes(fault, where, installer):
    """An installer's ExpectedReturnCodes against the schema; the setup's against its exit values."""
    codes = installer.get('ExpectedReturnCodes')
    declared = {}
    if isinstance(codes, list):
        if len(codes) > 128:
            fault(where, 'more than 128 ExpectedReturnCodes')
        for entry in codes:
            check_fields(fault, where + ' ExpectedReturnCodes', entry, {
                'InstallerReturnCode': (True, int, None), 'ReturnResponse': (True, str, RETURN_RESPONSES),
                'ReturnResponseUrl': (False, str, r'[Hh][Tt][Tt][Pp][Ss]?://.{1,2040}')})
            if not isinstance(entry, dict) or not isinstance(entry.get('InstallerReturnCode'), int):
                continue
            code = entry['InstallerReturnCode']
            if code == 0 or not -2147483648 <= code <= 4294967295:
                fault(where, 'InstallerReturnCode %d is 0 or out of range' % code)
            if code in declared:
                fault(where, 'InstallerReturnCode %d is declared twice' % code)
            declared[code] = entry.get('ReturnResponse')
    if installer.get('InstallerType') == 'nullsoft' and declared != SETUP_RETURN_RESPONSES:
        fault(where, 'ExpectedReturnCodes %s are not the setup\'s exit values %s' % (declared, SETUP_RETURN_RESPONSES))


def check_winget(out, version, product_code, fault):
    folder = os.path.join(out, 'winget')
    expected = {PACKAGE_IDENTIFIER + '.yaml': 'version', PACKAGE_IDENTIFIER + '.installer.yaml': 'installer'}
    for locale in LOCALES:
        expected['%s.locale.%s.yaml' % (PACKAGE_IDENTIFIER, locale)] = 'defaultLocale' if locale == 'en-US' else 'locale'
    present = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    if present != sorted(expected):
        fault('winget', 'holds %s, not %s' % (present, sorted(expected)))
    identifier = r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x01-\x1f]{1,32}){1,7}'
    package_version = r'[^\\/:*?"<>|\x01-\x1f]+'
    locale_pattern = r'([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*'
    common = {'PackageIdentifier': (True, str, identifier), 'PackageVersion': (True, str, package_version),
              'ManifestVersion': (True, str, r'(0|[1-9][0-9]{0,4})(\.(0|[1-9][0-9]{0,4})){2}')}
    guid = r'\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}'
    for name, kind in expected.items():
        try:
            text = read_text(os.path.join(folder, name))
            manifest = from_yaml(text)
        except (OSError, ValueError) as error:
            fault(name, 'unreadable: %s' % error)
            continue
        if ('winget-manifest.%s.%s.schema.json' % (kind, MANIFEST_VERSION)) not in text.splitlines()[0]:
            fault(name, 'the first line does not name the %s %s schema' % (kind, MANIFEST_VERSION))
        rules = dict(common, ManifestType=(True, str, {kind}))
        if kind == 'version':
            rules['DefaultLocale'] = (True, str, locale_pattern)
        elif kind in ('defaultLocale', 'locale'):
            rules.update(PackageLocale=(True, str, locale_pattern), ShortDescription=(kind == 'defaultLocale', str, r'.{3,256}'))
            if kind == 'defaultLocale':
                rules.update(Publisher=(True, str, r'.{2,256}'), PackageName=(True, str, r'.{2,256}'),
                             License=(True, str, r'.{3,512}'))
        else:
            rules['Installers'] = (True, list, None)
        check_fields(fault, name, manifest, rules)
        if not isinstance(manifest, dict):
            continue
        if manifest.get('PackageVersion') != version or manifest.get('ManifestVersion') != MANIFEST_VERSION:
            fault(name, 'not version %s in manifest version %s' % (version, MANIFEST_VERSION))
        if kind == 'version' and manifest.get('DefaultLocale') != 'en-US':
            fault(name, 'the default locale is not en-US')
        if kind in ('defaultLocale', 'locale') and name != '%s.locale.%s.yaml' % (PACKAGE_IDENTIFIER, manifest.get('PackageLocale')):
            fault(name, 'holds locale %s' % manifest.get('PackageLocale'))
        if kind != 'installer':
            continue
        installers = manifest.get('Installers') or []
        types = sorted(i.get('InstallerType', '') for i in installers if isinstance(i, dict))
        if types != ['msi', 'nullsoft']:
            fault(name, 'installers of types %s, not one msi and one nullsoft' % types)
        for installer in installers:
            where = '%s %s' % (name, installer.get('InstallerType') if isinstance(installer, dict) else installer)
            check_fields(fault, where, installer, {
                'Architecture': (True, str, {'x64'}), 'InstallerType': (True, str, {'msi', 'nullsoft'}),
                'InstallerUrl': (True, str, r'https?://[^\s]+'), 'InstallerSha256': (True, str, r'[A-Fa-f0-9]{64}'),
                'Scope': (True, str, {'machine'}), 'UpgradeBehavior': (True, str, {'install', 'uninstallPrevious', 'deny'}),
                'ProductCode': (False, str, r'.{1,255}'), 'InstallerSwitches': (True, dict, None),
                'InstallModes': (False, list, None), 'ExpectedReturnCodes': (False, list, None)})
            if not isinstance(installer, dict):
                continue
            check_fields(fault, where, installer.get('InstallerSwitches'), {
                'Silent': (True, str, r'.{1,512}'), 'SilentWithProgress': (True, str, r'.{1,512}'),
                'InstallLocation': (True, str, r'.{1,512}')})
            location = INSTALL_LOCATION_SWITCHES.get(installer.get('InstallerType'))
            switches = installer.get('InstallerSwitches')
            if location and isinstance(switches, dict) and 'InstallLocation' in switches and \
                    switches['InstallLocation'] != location:
                fault(where, 'InstallLocation %r is not %r' % (switches['InstallLocation'], location))
            check_return_codes(fault, where, installer)
            for mode in installer.get('InstallModes') or []:
                if mode not in ('interactive', 'silent', 'silentWithProgress'):
                    fault(where, 'install mode %r' % mode)
            file = {'msi': msi_name(version), 'nullsoft': setup_name(version)}.get(installer.get('InstallerType'))
            if not file:
                continue
            if not str(installer.get('InstallerUrl', '')).endswith('/' + file):
                fault(where, 'the URL does not end in %s' % file)
            path = os.path.join(out, file)
            if not os.path.isfile(path) or str(installer.get('InstallerSha256', '')).lower() != digest(path):
                fault(where, 'InstallerSha256 is not the SHA-256 of %s' % file)
            if installer.get('InstallerType') == 'nullsoft' and installer.get('ProductCode') != SETUP_UNINSTALL_KEY:
                fault(where, 'ProductCode is not the setup\'s uninstall key %s' % SETUP_UNINSTALL_KEY)
            if installer.get('InstallerType') == 'msi':
                if not re.fullmatch(guid, str(installer.get('ProductCode', ''))):
                    fault(where, 'no ProductCode in braces')
                elif product_code is not None and installer.get('ProductCode') != product_code:
                    fault(where, 'ProductCode %s is not the package\'s %s' % (installer.get('ProductCode'), product_code))


def check_sums(out, fault):
    path = os.path.join(out, SUMS)
    listed = {}
    try:
        for line in read_text(path).splitlines(keepends=True):
            match = re.fullmatch(r'([0-9a-f]{64})  (\S.*)\n', line)
            if not match:
                fault(SUMS, 'line %r is not "<sha256>  <name>"' % line)
                continue
            listed[match.group(2)] = match.group(1)
    except OSError as error:
        fault(SUMS, 'unreadable: %s' % error)
        return
    present = [n for n in files_below(out) if n != SUMS]
    if sorted(listed) != present:
        fault(SUMS, 'lists %s; the release holds %s' % (sorted(listed), present))
    for name, value in listed.items():
        file = os.path.join(out, name)
        if os.path.isfile(file) and digest(file) != value:
            fault(SUMS, 'the SHA-256 of %s is not the file\'s' % name)


def msi_product_code(path):
    import subprocess
    try:
        table = subprocess.run(['msiinfo', 'export', path, 'Property'], capture_output=True, text=True).stdout
    except OSError:
        return None
    for line in table.splitlines():
        key, _, value = line.partition('\t')
        if key == 'ProductCode':
            return value.strip()
    return None


def check(out, version, product_code=None):
    """The faults of the release in `out`; the package's product code is read from it unless given."""
    fault = Faults()
    check_sums(out, fault)
    check_sbom(out, version, fault)
    if product_code is None:
        product_code = msi_product_code(os.path.join(out, msi_name(version)))
    if product_code is None:
        fault(msi_name(version), 'no ProductCode read (msiinfo)')
    check_winget(out, version, product_code, fault)
    return fault.list


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('command', choices=['write', 'check'])
    parser.add_argument('dir')
    parser.add_argument('--version', required=True)
    parser.add_argument('--base-url')
    parser.add_argument('--product-code')
    parser.add_argument('--epoch', type=int)
    parser.add_argument('--component', action='append', default=[],
                        help='NAME=VERSION=WHERE, WHERE "programs" or "setup"')
    args = parser.parse_args(argv[1:])
    if args.command == 'check':
        faults = check(args.dir, args.version)
        for line in faults:
            print(line)
        return 1 if faults else 0
    if not (args.base_url and args.product_code and args.epoch is not None):
        parser.error('write needs --base-url, --product-code and --epoch')
    write_sbom(args.dir, args)
    write_winget(args.dir, args)
    write_sums(args.dir)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

"""The release's check against broken copies of a release: a release as written passes, and each
kind of fault a hand edit or a wrong build step could bring is reported."""
import json
import os
import re
import shutil
import sys
import tempfile
import types
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_files  # noqa: E402

VERSION = '2.3.4'
PRODUCT_CODE = '{0A1B2C3D-4E5F-5A6B-8C7D-8E9FA0B1C2D3}'


class ReleaseCheck(unittest.TestCase):
    def setUp(self):
        self.out = tempfile.mkdtemp(prefix='release-files-test.')
        self.addCleanup(shutil.rmtree, self.out)
        for name, content in ((release_files.msi_name(VERSION), b'package'),
                              (release_files.setup_name(VERSION), b'setup'),
                              ('PolicyDefinitions/Ostinel.admx', b'<policyDefinitions/>'),
                              ('PolicyDefinitions/zh-TW/Ostinel.adml', b'<policyDefinitionResources/>')):
            os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
            with open(self.path(name), 'wb') as f:
                f.write(content)
        args = types.SimpleNamespace(
            version=VERSION, base_url='https://example.invalid/x', product_code=PRODUCT_CODE, epoch=1700000000,
            component=['libstdc++=12.2.0=programs', 'mingw-w64 runtime=10.0.0=programs', 'NSIS stub=3.08=setup'])
        release_files.write_sbom(self.out, args)
        release_files.write_winget(self.out, args)
        release_files.write_sums(self.out)

    def path(self, name):
        return os.path.join(self.out, name)

    def faults(self):
        return release_files.check(self.out, VERSION, PRODUCT_CODE)

    def edit(self, name, old, new, count=1):
        text = release_files.read_text(self.path(name))
        self.assertIn(old, text)
        with open(self.path(name), 'w', encoding='utf-8') as f:
            f.write(text.replace(old, new, count))

    def sbom(self, change):
        name = release_files.sbom_name(VERSION)
        document = json.loads(release_files.read_text(self.path(name)))
        change(document)
        with open(self.path(name), 'w', encoding='utf-8') as f:
            json.dump(document, f)

    def assertReported(self, pattern):
        faults = self.faults()
        self.assertTrue(any(re.search(pattern, f) for f in faults), 'no fault like %r in %s' % (pattern, faults))

    def test_a_release_as_written_passes_with_every_locale_and_both_installers(self):
        self.assertEqual(self.faults(), [])
        installer = release_files.from_yaml(release_files.read_text(self.path('winget/Vemto.Ostinel.installer.yaml')))
        self.assertEqual([i['InstallerType'] for i in installer['Installers']], ['msi', 'nullsoft'])
        self.assertEqual(installer['Installers'][0]['ProductCode'], PRODUCT_CODE)
        zh_tw = release_files.from_yaml(release_files.read_text(self.path('winget/Vemto.Ostinel.locale.zh-TW.yaml')))
        self.assertEqual(zh_tw['ShortDescription'], release_files.LOCALES['zh-TW'])

    def test_checksums_that_do_not_match_the_files(self):
        with open(self.path(release_files.setup_name(VERSION)), 'ab') as f:
            f.write(b'!')
        faults = self.faults()
        for pattern in (r'SHA256SUMS: the SHA-256 of OstinelSetup', r'spdx.json: the SHA-256 of OstinelSetup',
                        r'installer.yaml nullsoft: InstallerSha256'):
            self.assertTrue(any(re.search(pattern, f) for f in faults), '%s not in %s' % (pattern, faults))

    def test_a_file_the_sums_and_the_bill_of_materials_leave_out(self):
        with open(self.path('PolicyDefinitions/extra.adml'), 'wb') as f:
            f.write(b'x')
        faults = self.faults()
        self.assertTrue(any(f.startswith('SHA256SUMS: lists') for f in faults), faults)
        self.assertTrue(any('extra.adml is not listed' in f for f in faults), faults)

    def test_winget_installer_faults(self):
        name = 'winget/Vemto.Ostinel.installer.yaml'
        for old, new, pattern in (
                (PRODUCT_CODE, '{0A1B2C3D-4E5F-5A6B-8C7D-8E9FA0B1C2D4}', r'ProductCode .* is not the package'),
                ("Scope: 'machine'", "Scope: 'user'", r'msi: Scope'),
                ("InstallerType: 'nullsoft'", "InstallerType: 'exe'", r'not one msi and one nullsoft'),
                ("PackageIdentifier: 'Vemto.Ostinel'", "PackageIdentifier: 'Vemto Ostinel'", r'PackageIdentifier .* does not match'),
                ("UpgradeBehavior: 'install'", "UpgradeBehavior: 'keep'", r'UpgradeBehavior'),
                ("    Silent: '/S'", "    Quiet: '/S'", r'nullsoft: no Silent$'),
                ("ProductCode: 'Ostinel'", "ProductCode: 'Ostinel Setup'", r'nullsoft: ProductCode is not the setup'),
                ("ManifestVersion: '1.10.0'", "ManifestVersion: '1.9.0'", r'manifest version 1.10.0'),
                ("InstallerUrl: 'https://example.invalid/x/Ostinel-", "InstallerUrl: 'https://example.invalid/x/old/Ost",
                 r'msi: the URL does not end'),
                ("    InstallLocation: '/D=<INSTALLPATH>'\n", '', r'nullsoft: no InstallLocation$'),
                # Unquoted, a folder with a blank would cut the property short.
                ("InstallLocation: 'INSTALLDIR=\"<INSTALLPATH>\"'", "InstallLocation: 'INSTALLDIR=<INSTALLPATH>'",
                 r'msi: InstallLocation .* is not'),
                ("  - InstallerReturnCode: 3010\n    ReturnResponse: 'rebootRequiredToFinish'\n", '',
                 r"nullsoft: ExpectedReturnCodes .* are not the setup's exit values"),
                ("ReturnResponse: 'rebootRequiredToFinish'", "ReturnResponse: 'rebootInitiated'",
                 r"nullsoft: ExpectedReturnCodes .* are not the setup's exit values"),
                ("ReturnResponse: 'contactSupport'", "ReturnResponse: 'contact'", r'ExpectedReturnCodes: ReturnResponse'),
                ("InstallerReturnCode: 1\n", "InstallerReturnCode: 0\n", r'InstallerReturnCode 0 is 0 or out of range'),
                ("InstallerReturnCode: 2\n", "InstallerReturnCode: 1\n", r'InstallerReturnCode 1 is declared twice')):
            with self.subTest(new):
                self.setUp()
                self.edit(name, old, new)
                self.assertReported(pattern)

    def test_winget_locale_faults(self):
        os.remove(self.path('winget/Vemto.Ostinel.locale.zh-CN.yaml'))
        self.assertReported(r'^winget: holds')
        self.setUp()
        self.edit('winget/Vemto.Ostinel.locale.zh-TW.yaml', "PackageLocale: 'zh-TW'", "PackageLocale: 'zh-CN'")
        self.assertReported(r'zh-TW.yaml: holds locale zh-CN')
        self.setUp()
        self.edit('winget/Vemto.Ostinel.locale.en-US.yaml', "Publisher: 'Vemto'\n", '')
        self.assertReported(r'en-US.yaml: no Publisher')
        self.setUp()
        self.edit('winget/Vemto.Ostinel.yaml', "DefaultLocale: 'en-US'", "DefaultLocale: 'en_US'")
        self.assertReported(r'DefaultLocale .* does not match')

    def test_bill_of_materials_faults(self):
        for change, pattern in (
                (lambda d: d.update(spdxVersion='SPDX-2.2'), r'spdxVersion'),
                (lambda d: d.pop('documentNamespace'), r'no documentNamespace'),
                (lambda d: d['creationInfo'].update(created='2023-11-14 22:13:20'), r'created'),
                (lambda d: d['creationInfo']['creators'].append('Somebody'), r'creator'),
                (lambda d: d['relationships'].append(dict(d['relationships'][0], relatedSpdxElement='SPDXRef-Nothing')),
                 r'SPDXRef-Nothing, which is not in the document'),
                (lambda d: d['relationships'][0].update(relationshipType='INCLUDES'), r'relationshipType'),
                (lambda d: d['files'][0]['checksums'].pop(0), r'no SHA1 checksum'),
                (lambda d: d['files'][1].update(SPDXID=d['files'][0]['SPDXID']), r'SPDXID is used twice'),
                (lambda d: d['files'][0].update(SPDXID='SPDXRef-a_b'), r'SPDXID .* does not match'),
                (lambda d: d['packages'][0].update(versionInfo='2.3.5'), r'no package Ostinel at version 2.3.4'),
                (lambda d: d['packages'][2].pop('versionInfo'), r'need a package with a version each'),
                (lambda d: d['files'].pop(), r'is not listed')):
            with self.subTest(pattern):
                self.setUp()
                self.sbom(change)
                self.assertReported(pattern)


if __name__ == '__main__':
    unittest.main()

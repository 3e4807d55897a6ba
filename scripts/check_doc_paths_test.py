#!/usr/bin/env python3
"""The docs' path check against a small tree: paths that are there, one that is not, and texts that are no path."""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_doc_paths  # noqa: E402

README = """# Example

`core/kept.h`, `core/`, `policy/<code>/Texts.adml`, `core/*.h` and `CMakeLists.txt` are there;
`build/host/out.exe` is built, `elsewhere/gone.h` is not a folder of the tree, `core/kept.h and more` has a blank.
"""

DOC = """# Design
The table moved from `core/zz_never_a_file.h` to `core/kept.h`; no `policy/<code>/Missing.adml` either.
"""


class DocPaths(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="ostinel-doc-paths-"))
        for name, text in {"README.md": README, "docs/design.md": DOC, "core/kept.h": "", "CMakeLists.txt": "",
                           "policy/xx-XX/Texts.adml": "", "build/host/other.exe": ""}.items():
            (self.dir / name).parent.mkdir(parents=True, exist_ok=True)
            (self.dir / name).write_text(text, encoding="utf-8")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_only_the_missing_paths_are_named(self):
        self.assertEqual(check_doc_paths.missing_paths(self.dir),
                         [("docs/design.md", 2, "core/zz_never_a_file.h"),
                          ("docs/design.md", 2, "policy/<code>/Missing.adml")])


if __name__ == "__main__":
    unittest.main()

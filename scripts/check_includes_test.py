#!/usr/bin/env python3
"""The include check against a small tree: a README with steps and one file per kind of include."""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_includes  # noqa: E402

README = """# Example

## Layout

| Folder | Step | What it holds |
|---|---|---|
| `low/` | 1 | below |
| `side/` | 1 | beside it |
| `high/` | 2 | above |
| `e2e/` | tests | tests |
| `docs/` | | no code |

## Next
| `later/` | 1 | not in the layout table |
"""

FILES = {
    "low/ok.cpp": '#include "low/own.h"\n#include "side/same_step.h"\n#include <vector>\n#include "generated.h"\n',
    "low/up.cpp": '#include "high/above.h"\n',
    "low/up_test.cpp": '#include "high/above.h"\n#include "e2e/support.h"\n',
    "high/down.rc": '#include "low/below.h"\n',
    "high/test_part.h": '#include "low/popup_test_support.h"\n',
    "side/into_tests.h": '#  include "e2e/support.h"\n',
    "e2e/anything.cpp": '#include "high/above.h"\n',
}


class IncludeOrder(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="ostinel-includes-"))
        (self.dir / "README.md").write_text(README, encoding="utf-8")
        for name, text in FILES.items():
            (self.dir / name).parent.mkdir(parents=True, exist_ok=True)
            (self.dir / name).write_text(text, encoding="utf-8")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_the_steps_come_from_the_layout_table_only(self):
        steps = check_includes.read_steps(self.dir / "README.md")
        self.assertEqual(steps, {"low": 1, "side": 1, "high": 2, "e2e": "tests"})

    def test_only_the_includes_against_the_order_are_named(self):
        found = check_includes.wrong_includes(self.dir, check_includes.read_steps(self.dir / "README.md"))
        self.assertEqual(sorted((where, included) for where, included, _ in found),
                         [("high/test_part.h", "low/popup_test_support.h"), ("low/up.cpp", "high/above.h"),
                          ("side/into_tests.h", "e2e/support.h")])


if __name__ == "__main__":
    unittest.main()

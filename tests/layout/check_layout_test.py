#!/usr/bin/env python3
"""The layout check on small trees of its own: an include that a folder's row does not allow is a problem, one it
allows is not, and "every host room" and "the seam" read as the rooms they stand for."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layout.py")
ARCHITECTURE = """# Rooms
| folder | role | may include |
|---|---|---|
| `platform/` | the seam | the system headers |
| `plugin/` | the plug-in | the seam |
| `plugin/state/` | records | the seam |
| `host/` | the hosts | — |
| `host/commands/` | commands | every host room |
| `host/core/` | the loop | `host/audio/` |
| `host/audio/` | tracks | `host/process/` |
| `host/process/` | the process | `platform/` |
"""


def tree(includes):
    """A tree whose files include what `includes` says: {file: [included file, ...]}."""
    root = tempfile.mkdtemp(prefix="gloamer-layout-")
    files = {"platform/win32.h": [], "plugin/state/records.h": [], "host/core/message_loop.cpp": [],
             "host/audio/track.h": [], "host/process/system.h": [], "host/commands/main.cpp": []}
    files.update(includes)
    os.makedirs(os.path.join(root, "docs"))
    with open(os.path.join(root, "docs/architecture.md"), "w") as out:
        out.write(ARCHITECTURE)
    for path, included in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
        with open(os.path.join(root, path), "w") as out:
            out.writelines(f'#include "{each}"\n' for each in included)
            if path == "host/core/message_loop.cpp":
                out.write("void pump() { PeekMessageA(0, 0, 0, 0, 0); }\n")
    return root


def check(includes):
    result = subprocess.run([sys.executable, CHECK, tree(includes)], capture_output=True, text=True)
    return result.returncode, result.stdout


class RowsOfTheArchitecture(unittest.TestCase):
    def test_includes_each_row_allows_pass(self):
        cases = {
            "listed room": {"host/core/message_loop.cpp": ["host/audio/track.h"]},
            "every host room": {"host/commands/main.cpp": ["host/core/message_loop.cpp", "host/process/system.h"]},
            "the seam and the records from a host room": {"host/audio/track.h": ["platform/win32.h",
                                                                                 "plugin/state/records.h"]},
        }
        for name, includes in cases.items():
            with self.subTest(name):
                status, output = check(includes)
                self.assertEqual(status, 0, output)

    def test_includes_a_row_does_not_allow_fail_and_are_named(self):
        cases = {
            "a room above": ({"host/audio/track.h": ["host/core/message_loop.cpp"]}, "host/audio/ includes host/core/"),
            "a room not listed": ({"host/core/message_loop.cpp": ["host/process/system.h"]},
                                  "host/core/ includes host/process/"),
        }
        for name, (includes, expected) in cases.items():
            with self.subTest(name):
                status, output = check(includes)
                self.assertEqual(status, 1, output)
                self.assertIn(expected, output)


if __name__ == "__main__":
    unittest.main()

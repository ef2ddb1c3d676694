#!/usr/bin/env python3
"""The layout check on small trees of its own: an include that a folder's row does not allow is a problem, one it
allows is not, and "every host room" and "the seam" read as the rooms they stand for; a room library's links in
host/rooms.cmake stay within its row and cover its includes, and each host file is in one list."""
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
ROOMS = {
    "HOST_PROCESS_LINKS": "",
    "HOST_PROCESS_SOURCES": "system.cpp",
    "HOST_AUDIO_LINKS": "process",
    "HOST_AUDIO_SOURCES": "track.cpp",
    "HOST_CORE_LINKS": "audio",
    "HOST_CORE_SOURCES": "message_loop.cpp",
    "HOST_COMMANDS_LINKS": "core audio process",
    "HOST_COMMANDS_PROGRAM": "main.cpp",
}


def tree(includes, rooms=None):
    """A tree whose files include what `includes` says: {file: [included file, ...]}; host/rooms.cmake holds
    `rooms` ({variable: words}), ROOMS unless given."""
    root = tempfile.mkdtemp(prefix="gloamer-layout-")
    files = {"platform/win32.h": [], "plugin/state/records.h": [], "host/core/message_loop.cpp": [],
             "host/audio/track.h": [], "host/audio/track.cpp": [], "host/process/system.h": [],
             "host/process/system.cpp": [], "host/commands/main.cpp": []}
    files.update(includes)
    os.makedirs(os.path.join(root, "docs"))
    with open(os.path.join(root, "docs/architecture.md"), "w") as out:
        out.write(ARCHITECTURE)
    os.makedirs(os.path.join(root, "host"))
    with open(os.path.join(root, "host/rooms.cmake"), "w") as out:
        out.writelines(f"set({name} {words})\n" for name, words in (ROOMS if rooms is None else rooms).items())
    for path, included in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
        with open(os.path.join(root, path), "w") as out:
            out.writelines(f'#include "{each}"\n' for each in included)
            if path == "host/core/message_loop.cpp":
                out.write("void pump() { PeekMessageA(0, 0, 0, 0, 0); }\n")
    return root


def check(includes, rooms=None):
    result = subprocess.run([sys.executable, CHECK, tree(includes, rooms)], capture_output=True, text=True)
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


class LibrariesOfTheRooms(unittest.TestCase):
    def test_links_and_lists_that_break_the_rows_fail_and_are_named(self):
        cases = {
            "a link the row does not allow": ({"HOST_CORE_LINKS": "audio process"},
                                              "host_core links host/process/, which its row"),
            "an included room not linked": ({"HOST_CORE_LINKS": ""},
                                            "host/core/ includes host/audio/, which host_core does not link"),
            "a file in no list": ({"HOST_AUDIO_SOURCES": ""}, "host/audio/track.cpp is in 0 lists"),
            "a file in two lists": ({"HOST_AUDIO_DESKTOP": "track.cpp"}, "host/audio/track.cpp is in 2 lists"),
            "a listed file that is not there": ({"HOST_AUDIO_PAGE": "gone.cpp"}, "lists host/audio/gone.cpp"),
            "a room with no library": ({"HOST_AUDIO_LINKS": None}, "host/audio/ has no library"),
        }
        for name, (changes, expected) in cases.items():
            with self.subTest(name):
                rooms = {**ROOMS, **changes}
                rooms = {variable: words for variable, words in rooms.items() if words is not None}
                status, output = check({"host/core/message_loop.cpp": ["host/audio/track.h"]}, rooms)
                self.assertEqual(status, 1, output)
                self.assertIn(expected, output)

    def test_the_rooms_as_listed_pass(self):
        status, output = check({"host/core/message_loop.cpp": ["host/audio/track.h"]})
        self.assertEqual(status, 0, output)


if __name__ == "__main__":
    unittest.main()

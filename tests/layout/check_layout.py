#!/usr/bin/env python3
"""Checks that the source tree keeps the shape docs/architecture.md describes, and that host/rooms.cmake builds each
host room as one library that links what the room includes and what its row allows; prints each breach and exits 1."""
import os
import re
import sys
from collections import defaultdict

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))
SOURCE_ROOTS = ("plugin", "platform", "host")
SOURCE_SUFFIXES = (".cpp", ".h", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def source_folders():
    for top in SOURCE_ROOTS:
        for folder, subfolders, _ in os.walk(os.path.join(ROOT, top)):
            subfolders.sort()
            yield os.path.relpath(folder, ROOT)


def source_files():
    for folder in source_folders():
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(folder, name)


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as file:
        return file.read()


def shared_names(paths):
    by_name = defaultdict(list)
    for path in paths:
        by_name[os.path.basename(path)].append(path)
    return {name: places for name, places in by_name.items() if len(places) > 1}


def folder_graph(files):
    edges = defaultdict(set)
    for path in files:
        for included in INCLUDE.findall(read(path)):
            if os.path.exists(os.path.join(ROOT, included)):
                source, target = os.path.dirname(path), os.path.dirname(included)
                if source != target:
                    edges[source].add(target)
    return edges


TABLE_ROW = re.compile(r"^\|[ \t]*`([a-z0-9_/]+)/`[ \t]*\|.*\|[ \t]*([^|\n]*?)[ \t]*\|[ \t]*$", re.M)
BACKTICKED_FOLDER = re.compile(r"`([a-z0-9_/]+)/`")


def allowed_includes(architecture, folders):
    """Each folder's "may include" column as a set of folders, from docs/architecture.md's tables."""
    plugin_rooms = {folder for folder in folders if folder.startswith("plugin/")}
    host_rooms = {folder for folder in folders if folder.startswith("host/")}
    allowed = {}
    for folder, column in TABLE_ROW.findall(architecture):
        rooms = set(BACKTICKED_FOLDER.findall(column))
        if "the seam" in column:
            rooms.add("platform")
        if "every plug-in room" in column:
            rooms |= plugin_rooms
        if "every host room" in column:
            rooms |= host_rooms
        if folder.startswith("host/"):
            # Every host room may also include the seam and the plug-in's records (checked file by file below).
            rooms |= {"platform", "plugin/state"}
        allowed[folder] = rooms
    return allowed


ROOMS_CMAKE = "host/rooms.cmake"
ROOM_LIST = re.compile(r"^set\(HOST_([A-Z0-9]+)_([A-Z0-9]+)\b([^)]*)\)", re.M)


def room_libraries(text):
    """From host/rooms.cmake: the rooms each room's library links, and how many lists name each file."""
    links, listed = {}, defaultdict(int)
    for room, variant, words in ROOM_LIST.findall(text):
        folder = "host/" + room.lower()
        if variant == "LINKS":
            links[folder] = {"host/" + word for word in words.split()}
        else:
            for name in words.split():
                listed[f"{folder}/{name}"] += 1
    return links, listed


def room_library_problems(files, edges, allowed):
    """Each host room is one library whose links its row allows and which links every room its files include."""
    sources = [path for path in files if path.startswith("host/") and path.endswith(".cpp")]
    if not os.path.exists(os.path.join(ROOT, ROOMS_CMAKE)):
        return [f"{ROOMS_CMAKE} is missing: it lists each host room's files"] if sources else []
    links, listed = room_libraries(read(ROOMS_CMAKE))
    problems = []
    for path in sources:
        if listed.get(path, 0) != 1:
            problems.append(f"{path} is in {listed.get(path, 0)} lists of {ROOMS_CMAKE}, not one")
    problems += [f"{ROOMS_CMAKE} lists {path}, which is not there" for path in sorted(set(listed) - set(sources))]
    for folder in sorted({os.path.dirname(path) for path in sources} - set(links)):
        problems.append(f"{folder}/ has no library: {ROOMS_CMAKE} has no HOST_{os.path.basename(folder).upper()}_LINKS")
    for folder, linked in sorted(links.items()):
        library = "host_" + os.path.basename(folder)
        for target in sorted(linked - allowed.get(folder, set())):
            problems.append(f"{library} links {target}/, which its row in docs/architecture.md does not allow")
        included = {target for target in edges.get(folder, ()) if target.startswith("host/")}
        for target in sorted(included - linked):
            problems.append(f"{folder}/ includes {target}/, which {library} does not link ({ROOMS_CMAKE})")
    return problems


def find_cycle(edges):
    """A list of folders that include each other in a circle, or None."""
    state, stack = {}, []

    def visit(folder):
        state[folder] = "open"
        stack.append(folder)
        for target in sorted(edges.get(folder, ())):
            if state.get(target) == "open":
                return stack[stack.index(target):] + [target]
            if target not in state:
                cycle = visit(target)
                if cycle:
                    return cycle
        stack.pop()
        state[folder] = "done"
        return None

    for folder in sorted(edges):
        if folder not in state:
            cycle = visit(folder)
            if cycle:
                return cycle
    return None


def main():
    problems = []
    folders = list(source_folders())
    files = list(source_files())

    for name, places in shared_names(folders).items():
        problems.append(f"folders share the name '{name}': {', '.join(places)}")
    platform_files = [path for path in files if path.startswith("platform/")]
    platform_files += [os.path.join(folder, name) for folder in folders if folder.startswith("platform")
                       for name in os.listdir(os.path.join(ROOT, folder)) if name.endswith(".md")]
    for name, places in shared_names(platform_files).items():
        problems.append(f"files under platform/ share the name '{name}': {', '.join(places)}")

    cycle = find_cycle(folder_graph(files))
    if cycle:
        problems.append("folders include each other in a circle: " + " -> ".join(cycle))

    loops = [path for path in files if path.startswith("host/") and "PeekMessageA(" in read(path)]
    if len(loops) != 1:
        problems.append(f"the host should run the Win32 message loop in one file, not in: {', '.join(loops) or 'none'}")

    for path in files:
        text = read(path)
        if path.startswith("host/"):
            for included in INCLUDE.findall(text):
                if included.startswith("plugin/") and included != "plugin/state/records.h":
                    problems.append(f"{path} includes the plug-in's {included} (the host knows only the records)")
        if path.startswith("plugin/") and re.search(r"^\s*#\s*if(def)?\b.*_WIN32", text, re.M):
            problems.append(f"{path} has a Windows-only branch (the plug-in's folders build the same everywhere)")

    architecture = read("docs/architecture.md")
    for folder in folders:
        if f"`{folder}/`" not in architecture:
            problems.append(f"docs/architecture.md does not name the folder `{folder}/`")

    allowed = allowed_includes(architecture, folders)
    edges = folder_graph(files)
    for source, targets in sorted(edges.items()):
        if source not in allowed:
            continue
        for target in sorted(targets - allowed[source]):
            problems.append(f"{source}/ includes {target}/, which its row in docs/architecture.md does not allow")
    problems += room_library_problems(files, edges, allowed)

    for problem in problems:
        print(problem)
    print(f"{len(folders)} folders and {len(files)} files checked: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

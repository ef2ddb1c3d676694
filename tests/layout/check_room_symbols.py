#!/usr/bin/env python3
"""Checks that each host room's library calls into no room it does not link, directly or through the rooms it links
(host/rooms.cmake): a static library does not say so itself, and a link line in the right order hides it.
Usage: check_room_symbols.py NM ROOMS_CMAKE ARCHIVE...; prints each breach and exits 1."""
import os
import re
import subprocess
import sys

ROOM_LINKS = re.compile(r"^set\(HOST_([A-Z0-9]+)_LINKS\b([^)]*)\)", re.M)
# nm -A: "archive:member: [address] type name"; the name may hold colons of its own.
NM_LINE = re.compile(r"^[^:]*:[^:]*:\s*(?:[0-9a-fA-F]+)?\s+([A-Za-z])\s+(.+)$")
STRONG_DEFINITION = set("TDBR")


def room_links(path):
    with open(path, encoding="utf-8") as file:
        return {room.lower(): words.split() for room, words in ROOM_LINKS.findall(file.read())}


def reachable(room, links):
    seen, todo = set(), [room]
    while todo:
        for linked in links.get(todo.pop(), []):
            if linked not in seen:
                seen.add(linked)
                todo.append(linked)
    return seen


def symbols(nm, archive):
    """The symbols an archive defines (weak ones left out: inline and template code is everyone's) and uses."""
    listing = subprocess.run([nm, "-A", "-C", archive], capture_output=True, text=True, check=True).stdout
    defined, used = set(), set()
    for kind, name in (match.groups() for match in map(NM_LINE.match, listing.splitlines()) if match):
        if kind in STRONG_DEFINITION:
            defined.add(name)
        elif kind == "U":
            used.add(name)
    return defined, used - defined


def room_of(archive):
    return re.fullmatch(r"libhost_([a-z0-9]+)\.a", os.path.basename(archive)).group(1)


def main():
    nm, rooms_cmake, archives = sys.argv[1], sys.argv[2], sys.argv[3:]
    links = room_links(rooms_cmake)
    tables = {room_of(archive): symbols(nm, archive) for archive in archives}
    problems = []
    for room, (_, used) in sorted(tables.items()):
        allowed = reachable(room, links) | {room}
        for name in sorted(used):
            owners = sorted(other for other, (defined, _) in tables.items() if name in defined)
            if owners and not set(owners) & allowed:
                problems.append(f"host_{room} calls {name} of host_{owners[0]}, which it does not link")
    for problem in problems:
        print(problem)
    print(f"{len(tables)} room libraries checked: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

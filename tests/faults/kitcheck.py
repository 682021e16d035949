#!/usr/bin/env python3
"""Checks the fault scripts make on kits and media, on the bytes on disk.

  kitcheck.py digest TREE [--exclude REL]...
      one line: a checksum of every name, type, permission and content below
      TREE (links are not followed), for "the medium did not change".
  kitcheck.py same TREE_A TREE_B
      the two trees hold the same names, types, permissions and contents.
  kitcheck.py complete MEDIUM KIT FINAL_KIT
      every file under a final name in KIT is complete: equal to its file on
      the medium (names matched without regard to case, as the tool matches
      them), or, for the setup-type file, the medium's file part-way through
      the edits FINAL_KIT holds. Hidden names are an interrupted copy's
      temporaries: they are counted, not compared.

Exit status 0 when the check holds, 1 with the differences on stderr.
"""
import hashlib
import os
import stat
import sys

SETUP_TYPE = (b"talvor imaging", b"vok", b"setuptype.txt")
WRITTEN_KEYS = {b"vokdevelopment", b"quenzodevelopment", b"quenzoruntime", b"framory", b"krt"}


def walk(root, exclude=()):
    """(relative bytes path, kind, permissions, content digest or link)."""
    root = os.fsencode(root)
    excluded = {os.path.normpath(os.fsencode(e)) for e in exclude}
    found = []

    def visit(folder, rel):
        try:
            names = sorted(os.listdir(folder))
        except OSError as error:
            found.append((rel, "unreadable", 0, str(error.errno)))
            return
        for name in names:
            path = os.path.join(folder, name)
            relative = os.path.join(rel, name) if rel else name
            if os.path.normpath(relative) in excluded:
                continue
            try:
                info = os.lstat(path)
            except OSError as error:  # a path past the system's limit
                found.append((relative, "unreachable", 0, str(error.errno)))
                continue
            mode = stat.S_IMODE(info.st_mode)
            if stat.S_ISLNK(info.st_mode):
                found.append((relative, "link", 0, os.readlink(path).hex()))
            elif stat.S_ISDIR(info.st_mode):
                found.append((relative, "folder", mode, ""))
                visit(path, relative)
            elif stat.S_ISREG(info.st_mode):
                found.append((relative, "file", mode, file_digest(path)))
            else:
                found.append((relative, "other", mode, ""))

    visit(root, b"")
    return found


def file_digest(path):
    digest = hashlib.sha256()
    try:
        with open(path, "rb") as stream:
            for block in iter(lambda: stream.read(1 << 20), b""):
                digest.update(block)
    except OSError as error:
        return "unreadable:%d" % error.errno
    return digest.hexdigest()


def show(path):
    return path.decode("utf-8", "backslashreplace")


def fold(name):
    return name.lower()


def counterpart(medium, relative):
    """The medium's file for a kit path, each name found without regard to case."""
    path = os.fsencode(medium)
    for part in relative.split(b"/"):
        exact = os.path.join(path, part)
        if os.path.lexists(exact):
            path = exact
            continue
        try:
            names = sorted(os.listdir(path))
        except OSError:
            return None
        match = [n for n in names if fold(n) == fold(part)]
        if not match:
            return None
        path = os.path.join(path, match[0])
    return path


def profile_lines(path):
    """The file's lines with the values of the keys a run writes blanked."""
    with open(path, "rb") as stream:
        text = stream.read()
    lines = []
    for line in text.replace(b"\r\n", b"\n").split(b"\n"):
        key, equals, _ = line.partition(b"=")
        if equals and fold(key.strip()) in WRITTEN_KEYS:
            line = key + b"=?"
        lines.append(line)
    return lines


def is_subsequence(small, large):
    it = iter(large)
    return all(any(item == other for other in it) for item in small)


def command_digest(args):
    tree, exclude = args[0], []
    rest = args[1:]
    while rest:
        if rest[0] != "--exclude" or len(rest) < 2:
            raise SystemExit("usage: digest TREE [--exclude REL]...")
        exclude.append(rest[1])
        rest = rest[2:]
    digest = hashlib.sha256()
    for entry in walk(tree, exclude):
        digest.update(repr(entry).encode())
    print(digest.hexdigest())
    return 0


def command_same(args):
    a, b = (dict((e[0], e[1:]) for e in walk(t)) for t in args)
    problems = []
    for path in sorted(set(a) | set(b)):
        if path not in a:
            problems.append("only in %s: %s" % (args[1], show(path)))
        elif path not in b:
            problems.append("only in %s: %s" % (args[0], show(path)))
        elif a[path] != b[path]:
            problems.append("differs: %s %s != %s" % (show(path), a[path], b[path]))
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


def command_complete(args):
    medium, kit, final = args
    problems = []
    hidden = 0
    for relative, kind, _, digest in walk(kit):
        if os.path.basename(relative).startswith(b"."):
            hidden += 1
            continue
        if kind != "file":
            continue
        source = counterpart(medium, relative)
        parts = tuple(fold(p) for p in relative.split(b"/"))
        if parts == SETUP_TYPE:
            now = profile_lines(os.path.join(os.fsencode(kit), relative))
            if not (is_subsequence(profile_lines(source), now) and
                    is_subsequence(now, profile_lines(os.path.join(os.fsencode(final), relative)))):
                problems.append("setup-type file is not a state of its edit: " + show(relative))
        elif source is None:
            problems.append("not on the medium: " + show(relative))
        elif file_digest(source) != digest:
            problems.append("incomplete or wrong: " + show(relative))
    for problem in problems:
        print(problem, file=sys.stderr)
    print("%d hidden temporaries" % hidden)
    return 1 if problems else 0


COMMANDS = {"digest": command_digest, "same": command_same, "complete": command_complete}

if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in COMMANDS:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(COMMANDS[sys.argv[1]](sys.argv[2:]))

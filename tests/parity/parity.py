#!/usr/bin/env python3
"""Builds the same kits with the Linux vostrel-kit and with vostrel-kit.exe
under Wine, from identical copies of each medium, and compares them.

Two kits agree when they hold the same names (as spelled on disk), the same
file contents and read-only bits, the same value for every key of the
setup-type file (compared by section, key order and value: the Windows
private-profile writer rewrites the whole file in a form of its own), and
when the two runs printed the same status lines and ended with the same exit
code (a dry run's plan on stdout included, roots taken out). When the runs
write a report, the reports must agree too: every file operation, its Win32
result and the summary.

Exit status: 0 all cases agree, 1 some differ, 77 a tool is missing (skip),
2 usage.
"""

import argparse
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

BOARDS = ["Pellam", "Varnex", "Tobrin", "Kestov", "Ardune", "Sorvik", "Lunnet", "Wyndel",
          "Calvex", "Jurano", "Nuvaro", "Harrik"]
SETUP_TYPE = "talvor imaging/vok/setuptype.txt"
SKIP = 77


# ---------------------------------------------------------------- media


def set_writable(path, writable):
    mode = os.stat(path).st_mode
    if writable:
        os.chmod(path, mode | stat.S_IWUSR)
    else:
        os.chmod(path, mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))


def all_files(root):
    for folder, _, files in os.walk(root):
        for name in files:
            yield os.path.join(folder, name)


def make_writable_medium(medium):
    for path in all_files(medium):
        set_writable(path, True)


def rename_mixed_case(medium):
    """Spells folders and files of the medium in other cases than the kit
    builder asks for them: every lookup must ignore case."""
    renames = [
        ("Talvor Imaging/Tools/VOKConfig.exe", "vokconfig.EXE"),
        ("Talvor Imaging/Tools", "TOOLS"),
        ("Talvor Imaging/Vok/Dll/vokpellam.dll", "VokPellam.DLL"),
        ("Talvor Imaging/Vok/Dll/vokjuranox.dll", "VOKJURANOX.dll"),
        ("Talvor Imaging/Vok/Dll", "dLL"),
        ("Talvor Imaging/Vok/SetupType.txt", "SETUPTYPE.TXT"),
        ("Talvor Imaging/Vok", "VOK"),
        ("Talvor Imaging/Drivers/Pellam/Pellam.cfg", "PELLAM.CFG"),
        ("Talvor Imaging/Drivers/Pellam", "pellam"),
        ("Talvor Imaging/Drivers/Utilities", "UTILITIES"),
        ("Talvor Imaging/Drivers", "drivers"),
        ("Talvor Imaging/Framory", "FRAMORY"),
        ("Talvor Imaging", "TALVOR IMAGING"),
        ("Jurano/runtime", "Runtime"),
        ("Jurano", "JURANO"),
    ]
    for old, new in renames:
        source = os.path.join(medium, old)
        os.rename(source, os.path.join(os.path.dirname(source), new))


def edit_setup_type(medium, edit):
    path = os.path.join(medium, "Talvor Imaging/Vok/SetupType.txt")
    set_writable(path, True)
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    with open(path, "wb") as f:
        f.write(edit(text).encode("latin-1"))
    set_writable(path, False)


def drop_selected_section(medium):
    def edit(text):
        lines = text.split("\r\n")
        start = lines.index("[SELECTED]")
        end = next(i for i in range(start + 1, len(lines)) if lines[i].startswith("["))
        return "\r\n".join(lines[:start] + lines[end:])

    edit_setup_type(medium, edit)


def drop_setup_type(medium):
    os.remove(os.path.join(medium, "Talvor Imaging/Vok/SetupType.txt"))


def link_into_kit(medium, kit):
    """A folder link on the medium that leads into the kit being built (to a
    folder that exists when the runtime folder is walked): the walk must not
    copy the kit into itself."""
    os.symlink(os.path.join(kit, "Talvor Imaging", "Tools"),
               os.path.join(medium, "Talvor Imaging/Vok/Dll/Mirror"))


def odd_names(medium):
    """Names whose order differs between a case-sensitive and an upper-cased
    comparison ('_' lies between the upper and the lower letters), so the
    walk's order shows in the report and in where a rerun stops."""
    folder = os.path.join(medium, "Talvor Imaging/Vok/Dll")
    for name in ("_first.dll", "a_b.dll", "aB.dll", "ab[1].dll", "Z^z.dll", "b.dll", "B2.dll"):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(name.encode("ascii") + b"\r\n")


def western_names(medium):
    """Names outside ASCII that the Windows code page can hold: the Windows
    tool reads them through the ANSI calls, the Linux tool as UTF-8."""
    folder = os.path.join(medium, "Talvor Imaging/Framory")
    for name in ("café.ini", "Über.txt", "naïve"):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(name.encode("utf-8"))


def unicode_names(medium):
    """Names no one code page holds (Japanese, Greek, Cyrillic, Latin letters
    the Western code page lacks), in files and folders, at the root and deep
    in a package: the Windows tool reaches them through the wide calls."""
    for name in ("説明書.txt", "Talvor Imaging/Framory/Ελληνικά.ini",
                 "Talvor Imaging/Framory/Кириллица/файл.dll",
                 "Talvor Imaging/Framory/Кириллица/日本語/データ.bin",
                 "Talvor Imaging/Framory/Łódź ő Ā.txt",
                 "Talvor Imaging/Drivers/DMA/Ñandú ü.sys"):
        path = os.path.join(medium, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(name.encode("utf-8"))


def framory_as_file(medium):
    """A file where the medium's Framory folder belongs: both tools list it as
    an empty folder (Windows gives its own codes for it) and exit 0."""
    folder = os.path.join(medium, "Talvor Imaging/Framory")
    shutil.rmtree(folder)
    with open(folder, "wb") as f:
        f.write(b"not a folder\r\n")


def drop_some_kit_files(kit):
    """Takes a few files out of a kit, so a rerun meets a folder that holds
    some of its files: where each walk stops shows the enumeration order."""
    for name in ("Talvor Imaging/Vok/dll/vok.dll", "Talvor Imaging/Vok/dll/b.dll",
                 "Talvor Imaging/Drivers/DMA/dma.bin", "Talvor Imaging/Tools/vokdrv.exe"):
        path = os.path.join(kit, name)
        if os.path.exists(path):
            os.remove(path)


VARIANTS = {
    "sample": None,
    "writable": make_writable_medium,
    "mixed-case": rename_mixed_case,
    "no-selected-section": drop_selected_section,
    "no-setup-type": drop_setup_type,
    "odd-names": odd_names,
    "western-names": western_names,
    "unicode-names": unicode_names,
    "link-into-kit": link_into_kit,
    "framory-as-file": framory_as_file,
}

# name, medium variant, runs into one destination (each a list of options,
# or a function that changes both kits between runs), destination spelled
# with a trailing separator.
CASES = [("default", "sample", [[]], False)]
CASES += [("board-" + board.lower(), "sample", [["--board", board]], False) for board in BOARDS]
CASES += [
    ("all-boards-both-packages", "sample", [["--board", "all", "--quenzo", "--framory"]], False),
    ("no-video-card", "sample", [["--no-video-card", "--framory"]], False),
    ("rerun-fewer-boards", "sample",
     [["--board", "all", "--quenzo", "--framory"], ["--board", "Pellam", "--board", "Ardune"]],
     False),
    ("rerun-same", "sample", [["--quenzo"], ["--quenzo"]], False),
    ("writable-medium", "writable", [["--board", "Ardune", "--quenzo"]], False),
    ("mixed-case-default", "mixed-case", [[]], False),
    ("mixed-case-boards", "mixed-case",
     [["--board", "Ardune", "--board", "Jurano", "--quenzo", "--framory"]], False),
    ("setup-type-without-selected", "no-selected-section", [["--quenzo"]], False),
    ("no-setup-type", "no-setup-type", [["--framory"]], False),
    ("dest-trailing-separator", "sample", [["--board", "Calvex"]], True),
    ("odd-names-rerun", "odd-names", [["--board", "Kestov"], drop_some_kit_files,
                                      ["--board", "Kestov"]], False),
    ("link-into-kit", "link-into-kit", [["--framory"]], False),
    ("framory-as-file", "framory-as-file", [["--framory"]], False),
    ("western-names", "western-names", [["--framory"], ["--dry-run", "--framory"]], False),
    ("unicode-names", "unicode-names", [["--framory"], ["--dry-run", "--framory"]], False),
    ("dry-run", "sample", [["--dry-run", "--board", "Pellam", "--quenzo"]], False),
    ("dry-run-over-kit", "mixed-case", [["--framory"], ["--dry-run", "--board", "all"]], False),
]


# ---------------------------------------------------------------- runs


def windows_path(path):
    """The path Wine's Z: drive gives a Linux path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Tools:
    def __init__(self, args):
        self.linux_kit = args.linux_kit
        self.windows_kit = args.windows_kit
        self.wine_run = args.wine_run
        self.prefix = args.wine_prefix

    def run(self, side, medium, dest, options, report, trailing):
        if side == "linux":
            command = [self.linux_kit, "--source", os.path.join(medium, "setup.exe"),
                       "--dest", dest + ("/" if trailing else ""), "--report", report]
        else:
            command = [self.wine_run, "--prefix", self.prefix, self.windows_kit,
                       "--source", windows_path(os.path.join(medium, "setup.exe")),
                       "--dest", windows_path(dest) + ("\\" if trailing else ""),
                       "--report", windows_path(report)]
        # Into files, not pipes: the Wine services the first run of a prefix
        # starts inherit its streams and outlive it, and a pipe would not end
        # before they do.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(command + options, stdout=out, stderr=err, timeout=300,
                                    check=False)
            out.seek(0)
            err.seek(0)
            result.stdout, result.stderr = out.read(), err.read()
        # Both tools write UTF-8 into a file or a pipe.
        stdout = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n").splitlines()
        stderr = result.stderr.decode("utf-8", "replace").replace("\r\n", "\n")
        return result.returncode, stdout, stderr


# ---------------------------------------------------------------- comparison


def parse_profile(data):
    """Sections in order, each with its keys and comment lines in order and
    the keys' values. Blank lines and the spacing around "=" are left out:
    the Windows writer drops and re-spaces them."""
    sections = []
    current = None
    for raw in data.decode("latin-1").replace("\r\n", "\n").split("\n"):
        line = raw.strip()
        if not line:
            continue
        if line.startswith("[") and "]" in line:
            current = (line[1:line.index("]")].strip(), [])
            sections.append(current)
            continue
        if line.startswith(";"):
            entry = (line, None)
        else:
            key, _, value = line.partition("=")
            entry = (key.strip(), value.strip())
        if current is None:
            current = ("", [])
            sections.append(current)
        current[1].append(entry)
    return sections


def snapshot(root):
    """relative path -> ("dir",) or ("file", content, writable)."""
    tree = {}
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in dirs:
            path = os.path.join(folder, name)
            tree[os.path.relpath(path, root)] = ("dir",)
        for name in sorted(files):
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                content = f.read()
            writable = bool(os.stat(path).st_mode & stat.S_IWUSR)
            tree[os.path.relpath(path, root)] = ("file", content, writable)
    return tree


def compare_trees(linux_root, windows_root):
    problems = []
    linux = snapshot(linux_root)
    windows = snapshot(windows_root)
    for name in sorted(set(linux) | set(windows)):
        a, b = linux.get(name), windows.get(name)
        if a is None or b is None:
            problems.append("only in the %s kit: %s" % ("Linux" if b is None else "Windows", name))
            continue
        if a[0] != b[0]:
            problems.append("%s: a %s on Linux, a %s on Windows" % (name, a[0], b[0]))
            continue
        if a[0] == "dir":
            continue
        if a[2] != b[2]:
            problems.append("%s: %s on Linux, %s on Windows" % (
                name, "writable" if a[2] else "read-only", "writable" if b[2] else "read-only"))
        if name.lower() == SETUP_TYPE:
            pa, pb = parse_profile(a[1]), parse_profile(b[1])
            if pa != pb:
                problems.append("%s: entries differ\n      Linux:   %s\n      Windows: %s"
                                % (name, pa, pb))
        elif a[1] != b[1]:
            problems.append("%s: contents differ (%d and %d bytes)" % (name, len(a[1]), len(b[1])))
    return problems


def normaliser(roots):
    """A function that takes the medium and kit roots out of every text in a
    value (strings, lists, dicts), so runs on the two systems compare."""
    patterns = []
    for root, name in roots:
        root = root.replace("\\", "/").rstrip("/")
        patterns.append((re.compile(re.escape(root), re.IGNORECASE), name))

    def strip(value):
        if isinstance(value, str):
            text = value.replace("\\", "/")
            for pattern, name in patterns:
                text = pattern.sub(name, text)
            return re.sub("/+", "/", text)
        if isinstance(value, list):
            return [strip(item) for item in value]
        if isinstance(value, dict):
            return {key: strip(item) for key, item in value.items()}
        return value

    return strip


def read_report(path):
    try:
        with open(path, "rb") as f:
            report = json.loads(f.read().decode("utf-8", "replace"))
    except (OSError, ValueError):
        return None
    return report if isinstance(report, dict) else None


def compare_reports(linux, windows):
    if linux is None and windows is None:
        return []  # a dry run writes none
    if linux is None or windows is None:
        return ["no report from the %s run" % ("Linux" if linux is None else "Windows")]
    problems = []
    for key in sorted(set(linux) | set(windows)):
        if key == "jobs":
            continue  # copies made at once: several on Linux, one on Windows; the kit is the same
        a, b = linux.get(key), windows.get(key)
        if key == "operations" and isinstance(a, list) and isinstance(b, list):
            shown = 0
            for index in range(max(len(a), len(b))):
                x = a[index] if index < len(a) else None
                y = b[index] if index < len(b) else None
                if x != y:
                    problems.append("report operation %d differs\n      Linux:   %s"
                                    "\n      Windows: %s" % (index + 1, x, y))
                    shown += 1
                    if shown == 5:
                        problems.append("(further operations not compared)")
                        break
        elif a != b:
            problems.append("report %s differs\n      Linux:   %s\n      Windows: %s"
                            % (key, a, b))
    return problems


# Medium and kit folders named beyond the code page too, so the roots reach
# the Windows tool through its wide command line.
ROOT_NAMES = {"unicode-names": ("Носитель 媒体", "Kit Ωμέγα")}


def run_case(tools, work, base, case):
    name, variant, runs, trailing = case
    case_dir = os.path.join(work, name)
    medium_name, kit_name = ROOT_NAMES.get(variant, ("medium", "kit"))
    media = {}
    for side in ("linux", "windows"):
        medium = os.path.join(case_dir, side, medium_name)
        shutil.copytree(base, medium, symlinks=True)
        # copytree makes the copy's folders writable; the variants edit them.
        change = VARIANTS[variant]
        if change is link_into_kit:
            change(medium, os.path.join(case_dir, side, kit_name))
        elif change:
            change(medium)
        media[side] = medium
    problems = []
    number = 0
    for options in runs:
        if callable(options):  # a change to both kits between runs
            for side in ("linux", "windows"):
                options(os.path.join(case_dir, side, kit_name))
            continue
        number += 1
        results = {}
        for side in ("linux", "windows"):
            dest = os.path.join(case_dir, side, kit_name)
            report = os.path.join(case_dir, side, "report-%d.json" % number)
            code, stdout, stderr = tools.run(side, media[side], dest, options, report, trailing)
            native = (lambda p: p) if side == "linux" else windows_path
            strip = normaliser([(native(media[side]), "<medium>"), (native(dest), "<kit>")])
            results[side] = (code, strip(stdout), stderr, strip(read_report(report)))
        label = "run %d (%s)" % (number, " ".join(options) or "defaults")
        (lcode, lout, lerr, lrep), (wcode, wout, werr, wrep) = results["linux"], results["windows"]
        if lcode != wcode:
            problems.append("%s: exit code %d on Linux, %d on Windows\n      Linux stderr: %s"
                            "\n      Windows stderr: %s" % (label, lcode, wcode, lerr.strip(),
                                                             werr.strip()))
        if lout != wout:
            line = next(i for i in range(max(len(lout), len(wout)))
                        if i >= len(lout) or i >= len(wout) or lout[i] != wout[i])
            problems.append("%s: stdout differs from line %d\n      Linux:   %s\n      Windows: %s"
                            % (label, line + 1, lout[line:line + 3], wout[line:line + 3]))
        problems += ["%s: %s" % (label, p) for p in compare_reports(lrep, wrep)]
        problems += ["%s: %s" % (label, p) for p in
                     compare_trees(os.path.join(case_dir, "linux", kit_name),
                                   os.path.join(case_dir, "windows", kit_name))]
    return problems


def make_writable_tree(root):
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            if not os.path.islink(path):
                set_writable(path, True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--linux-kit", required=True)
    parser.add_argument("--windows-kit", required=True)
    parser.add_argument("--wine-run", required=True, help="cmake/wine-run.sh")
    parser.add_argument("--wine-prefix", required=True)
    parser.add_argument("--make-medium", required=True, help="tools/make-sample-medium")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--case", action="append", help="run only these cases")
    args = parser.parse_args()

    for tool in (args.linux_kit, args.windows_kit, args.make_medium):
        if not os.path.isfile(tool):
            print("parity: %s is missing; nothing compared" % tool)
            return SKIP
    if shutil.which("wine") is None:
        print("parity: wine is not installed; nothing compared")
        return SKIP

    cases = [c for c in CASES if not args.case or c[0] in args.case]
    if not cases:
        print("parity: no case named %s" % ", ".join(args.case), file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="vostrel-parity-")
    try:
        base = os.path.join(work, "base")
        subprocess.run(["bash", args.make_medium, base], check=True, stdout=subprocess.DEVNULL)
        failed = 0
        for case in cases:
            problems = run_case(Tools(args), work, base, case)
            print("%s %s" % ("ok  " if not problems else "FAIL", case[0]))
            for problem in problems:
                print("    " + problem)
            failed += bool(problems)
        print("parity: %d of %d cases agree" % (len(cases) - failed, len(cases)))
        return 1 if failed else 0
    finally:
        if args.keep:
            print("parity: work folder kept: " + work)
        else:
            make_writable_tree(work)
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

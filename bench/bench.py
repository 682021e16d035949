#!/usr/bin/env python3
"""The copy benchmark: vostrel-kit against GNU cp and rsync.

Started by bench/run, which installs the tools and builds the release
binaries first. For every medium shape it:

  1. builds the synthetic medium once (bench/make_medium.py; kept between runs);
  2. makes a reference kit with --report, and from its copy operations the
     list of folders and files the kit copies: a folder whose every entry the
     kit copied is handed to cp -r whole, other folders file by file, one cp
     per destination folder (bench/<shape>.cp.sh in the work folder);
  3. warms the page cache with one untimed run of each tool;
  4. times PAIRS rounds of  vostrel-kit, cp, rsync  in that order, each into
     a fresh destination after a sync, under /usr/bin/time for peak memory;
  5. counts system calls of one more run of vostrel-kit and of cp under
     strace -c -f.

Then it repeats the CD shape on a loop-mounted XFS image made with reflink,
against cp --reflink=always and against the same kit made by byte copy.

The image shape makes an ISO 9660 image (Joliet and Rock Ridge, xorriso) of
the CD medium and times the kit built straight from it against the whole
image extracted by xorriso (-osirrox on -indev IMAGE -extract / DIR), in
alternating pairs after one untimed run of each.

Every destination is kept until the whole run is done, and only then
deleted. On an ext4 without a journal the inode allocator steps one by one
over inodes freed in the last minute (six, while their inode-table block is
dirty), so deleting one destination before timing the next would measure
the deletion, not the copy: creating files slows down tenfold. For the same
reason, destinations left by an interrupted run are deleted first and the
run then waits BENCH_SETTLE seconds (default 370).

Environment: BENCH_DIR (work folder), BENCH_QUICK=1 (small media, 2 pairs),
BENCH_PAIRS, BENCH_SHAPES (comma list of cd,small,runtime,image), BENCH_XFS=0 (skip
the XFS part), BENCH_SETTLE (seconds).
"""

import argparse
import ctypes
import datetime
import json
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
KIT_FLAGS = ["--quenzo", "--framory", "--board", "all", "--quiet"]
SHAPE_TITLES = {
    "cd": "CD-sized medium (~700 MB, ~3,000 files)",
    "small": "50,000 small files in nested driver folders",
    "runtime": "one runtime folder of 20,000 files",
    "image": "the CD-sized medium as an ISO 9660 image",
}
QUICK_SCALE = 0.02
GENERATOR_VERSION = "2"  # bump when make_medium.py changes its output


def log(text):
    print("bench: " + text, flush=True)


def run(cmd, **kwargs):
    return subprocess.run(cmd, check=True, **kwargs)


def median(values):
    return statistics.median(values) if values else float("nan")


# --- media -----------------------------------------------------------------

def ensure_medium(work, shape, quick):
    name = shape + ("-quick" if quick else "")
    folder = os.path.join(work, "media", name)
    marker = folder + ".ok"
    stamp = GENERATOR_VERSION + ":" + str(QUICK_SCALE if quick else 1.0)
    if os.path.exists(marker) and open(marker).read().strip() == stamp:
        return folder
    if os.path.exists(folder):
        shutil.rmtree(folder)
    log("building the %s medium in %s" % (shape, folder))
    cmd = [sys.executable, os.path.join(HERE, "make_medium.py"), shape, folder]
    if quick:
        cmd += ["--scale", str(QUICK_SCALE)]
    run(cmd)
    with open(marker, "w") as out:
        out.write(stamp + "\n")
    return folder


# --- what the kit copies -----------------------------------------------------

def native(path):
    return path.replace("\\", "/")


def relative(path, root):
    path = os.path.normpath(native(path))
    root = os.path.normpath(root)
    if path == root:
        return ""
    if not path.startswith(root + "/"):
        raise ValueError("%s is not under %s" % (path, root))
    return path[len(root) + 1:]


class Plan:
    """The folders and files one kit run copies, grouped for cp and rsync."""

    def __init__(self, report_file):
        with open(report_file) as handle:
            report = json.load(handle)
        if report["exit_code"] != 0:
            raise SystemExit("bench: the reference kit run failed: %s" % report["failures"])
        source = os.path.normpath(native(report["source"]))
        dest = os.path.normpath(native(report["destination"]))
        self.source = source
        self.files = report["summary"]["files_copied"]
        self.bytes = report["summary"]["bytes_copied"]
        copied = set()
        created = set()
        removed = set()
        for op in report["operations"]:
            if not op["ok"]:
                continue
            if op["op"] == "CopyFileA":
                src = relative(op["args"]["existing"], source)
                if src != relative(op["args"]["new"], dest):
                    raise SystemExit("bench: the kit renamed %s; cp could not match it" % src)
                copied.add(src)
            elif op["op"] == "CreateDirectoryA":
                created.add(relative(op["args"]["path"], dest))
            elif op["op"] == "DeleteFile" or op["op"].startswith("remove"):
                removed.add(relative(op["args"]["path"], dest))
        self.copied = copied
        self.removed = removed
        whole = {}

        def is_whole(rel):
            # Every entry copied (dotted ones are never), every sub-folder whole.
            if rel in whole:
                return whole[rel]
            full = os.path.join(source, rel) if rel else source
            ok = rel in created or rel == ""
            for entry in os.scandir(full):
                child = os.path.join(rel, entry.name) if rel else entry.name
                if entry.is_dir(follow_symlinks=False):
                    ok = is_whole(child) and ok
                else:
                    ok = child in copied and ok
            whole[rel] = ok
            return ok

        is_whole("")
        # Groups: destination folder -> sources copied into it.
        groups = {}
        covered = set()

        def cover(rel):
            full = os.path.join(source, rel) if rel else source
            for entry in sorted(os.scandir(full), key=lambda e: e.name):
                child = os.path.join(rel, entry.name) if rel else entry.name
                if entry.is_dir(follow_symlinks=False):
                    if whole.get(child):
                        groups.setdefault(rel, []).append(child)
                        covered.add(child)
                    else:
                        cover(child)
                elif child in copied:
                    groups.setdefault(rel, []).append(child)

        cover("")
        self.groups = groups
        # Folders cp must find in place: the targets of its groups and every
        # folder the kit creates that no cp -r brings (an empty one).
        def under_covered(rel):
            return any(rel == c or rel.startswith(c + "/") for c in covered)

        needed = set(groups) | {c for c in created if not under_covered(c)}
        needed.discard("")
        self.folders = sorted(f for f in needed
                              if not any(o.startswith(f + "/") for o in needed))

    def script(self, tool_cmd, strace_dir=None):
        """A bash script that takes the destination root as $1."""
        lines = ["#!/usr/bin/env bash", "set -e", 'dest=$1']
        count = 0

        def wrap(cmd):
            nonlocal count
            if strace_dir is None:
                return cmd
            count += 1
            return "strace -c -f -o %s %s" % (
                shlex.quote(os.path.join(strace_dir, "trace.%d" % count)), cmd)

        mk = ['"$dest"'] + ['"$dest"/' + shlex.quote(f) for f in self.folders]
        lines.append(wrap("mkdir -p -- " + " ".join(mk)))
        for target in sorted(self.groups):
            sources = " ".join(shlex.quote(os.path.join(self.source, s))
                               for s in self.groups[target])
            where = '"$dest"' + ("/" + shlex.quote(target) if target else "") + "/"
            lines.append(wrap("%s -- %s %s" % (tool_cmd, sources, where)))
        return "\n".join(lines) + "\n"

    def describe(self):
        out = []
        for target in sorted(self.groups):
            items = self.groups[target]
            dirs = [i for i in items if i not in self.copied]
            out.append("  into %-40s %d folder(s) with -r, %d file(s)" % (
                "<kit>/" + target, len(dirs), len(items) - len(dirs)))
        return "\n".join(out)


def check_space(work, media, args):
    """Every destination stays until the end: refuse to start without room."""
    need = 0
    for medium in media.values():
        size = 0
        files = 0
        for folder, _, names in os.walk(medium):
            for name in names:
                size += os.lstat(os.path.join(folder, name)).st_size
                files += 1
        runs = 3 * args.pairs + 3 + 2  # pairs, warm-ups, strace runs
        need += runs * (size + files * 4096)
    free = shutil.disk_usage(work).free
    if free < need * 1.1:
        raise SystemExit("bench: %s has %.1f GB free; this run keeps every destination until "
                         "it ends and needs about %.1f GB (fewer with BENCH_PAIRS or "
                         "BENCH_SHAPES)" % (work, free / 2**30, need * 1.1 / 2**30))
    log("about %.1f GB of destinations will be written (%.1f GB free)" % (
        need / 2**30, free / 2**30))


def tree_files(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


# --- measuring ---------------------------------------------------------------

class Runner:
    def __init__(self, work):
        self.work = work
        self.scratch = os.path.join(work, "scratch")
        os.makedirs(self.scratch, exist_ok=True)

    def timed(self, cmd, label, dest=None):
        """Runs cmd after a sync; returns (wall seconds, peak RSS in KB).
        What it wrote to `dest` is then put on disk and dropped from memory."""
        os.sync()
        rss_file = os.path.join(self.scratch, "rss.txt")
        err_file = os.path.join(self.scratch, "stderr.txt")
        with open(err_file, "w") as err:
            start = time.perf_counter()
            result = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + cmd,
                                    stdout=subprocess.DEVNULL, stderr=err)
            wall = time.perf_counter() - start
        if result.returncode != 0:
            raise SystemExit("bench: %s failed (%d): %s" % (
                label, result.returncode, open(err_file).read()[-2000:]))
        rss = int(open(rss_file).read().split()[-1])
        if dest is not None:
            evict(dest)
        return wall, rss

    def syscalls(self, cmd, label):
        """Total system calls of cmd and its children (strace -c -f)."""
        os.sync()
        out = os.path.join(self.scratch, "strace.txt")
        result = subprocess.run(["strace", "-c", "-f", "-o", out] + cmd,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if result.returncode != 0:
            raise SystemExit("bench: %s under strace failed: %s" % (label, result.stderr[-2000:]))
        return strace_total(out)


def evict(root):
    """Writes a destination out and drops its pages from memory (the medium
    stays cached). Without this every round leaves hundreds of megabytes more
    in memory, the machine starts reclaiming, and later rounds take up to
    four times as long as earlier ones."""
    os.sync()
    for folder, _, names in os.walk(root):
        for name in names:
            try:
                fd = os.open(os.path.join(folder, name),
                             os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)
            except OSError:
                continue
            try:
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            finally:
                os.close(fd)


_LIBC = ctypes.CDLL(None, use_errno=True)


def syncfs(path):
    """Writes out one file system only (sync would flush every disk)."""
    fd = os.open(path, os.O_RDONLY)
    try:
        if _LIBC.syncfs(fd) != 0:
            raise OSError(ctypes.get_errno(), "syncfs " + path)
    finally:
        os.close(fd)


def strace_total(path):
    for line in open(path):
        fields = line.split()
        if fields and fields[-1] == "total":
            return int(fields[3])
    raise SystemExit("bench: no total in %s" % path)


def bench_shape(shape, medium, args, runner, kit, dest_base):
    log("shape %s: %s" % (shape, SHAPE_TITLES[shape]))
    os.makedirs(dest_base, exist_ok=True)
    # The kit's warm-up run, with a report: what it copies is what cp and
    # rsync are given.
    report = os.path.join(runner.scratch, shape + ".report.json")
    warm = os.path.join(dest_base, "warm-kit")
    runner.timed([kit, "--source", medium, "--dest", warm, "--report", report] + KIT_FLAGS,
                 "kit warm-up", warm)
    plan = Plan(report)
    log("the kit copies %d files (%d bytes); cp and rsync get:\n%s" % (
        plan.files, plan.bytes, plan.describe()))
    scripts = {}
    for name, cmd in [("cp", "cp -r --no-clobber"), ("rsync", "rsync -a --ignore-existing")]:
        scripts[name] = os.path.join(runner.scratch, "%s.%s.sh" % (shape, name))
        with open(scripts[name], "w") as out:
            out.write(plan.script(cmd))
    commands = {
        "kit": lambda d: [kit, "--source", medium, "--dest", d] + KIT_FLAGS,
        "cp": lambda d: ["bash", scripts["cp"], d],
        "rsync": lambda d: ["bash", scripts["rsync"], d],
    }

    # Warm-up, and a check that cp and rsync make what the kit makes.
    made = {"kit": tree_files(os.path.join(dest_base, "warm-kit"))}
    for tool in ["cp", "rsync"]:
        d = os.path.join(dest_base, "warm-" + tool)
        runner.timed(commands[tool](d), tool + " warm-up", d)
        made[tool] = tree_files(d)
    for tool in ["cp", "rsync"]:
        extra = made[tool] - made["kit"] - plan.removed
        missing = made["kit"] - made[tool]
        if extra or missing:
            raise SystemExit("bench: %s copies other files than the kit: %d extra (%s), "
                             "%d missing (%s)" % (tool, len(extra), sorted(extra)[:3],
                                                  len(missing), sorted(missing)[:3]))

    times = {t: [] for t in commands}
    rss = {t: 0 for t in commands}
    ratios = []
    for i in range(1, args.pairs + 1):
        pair = {}
        for tool in ["kit", "cp", "rsync"]:
            d = os.path.join(dest_base, "%s-%d" % (tool, i))
            wall, peak = runner.timed(commands[tool](d), tool, d)
            times[tool].append(wall)
            rss[tool] = max(rss[tool], peak)
            pair[tool] = wall
        ratios.append(pair["kit"] / pair["cp"])
        log("  pair %d: kit %.3f s, cp %.3f s, rsync %.3f s, kit/cp %.3f" % (
            i, pair["kit"], pair["cp"], pair["rsync"], ratios[-1]))

    calls = {}
    calls["kit"] = runner.syscalls(commands["kit"](os.path.join(dest_base, "strace-kit")), "kit")
    evict(os.path.join(dest_base, "strace-kit"))
    trace_dir = os.path.join(runner.scratch, shape + ".cp-trace")
    shutil.rmtree(trace_dir, ignore_errors=True)
    os.makedirs(trace_dir)
    traced = os.path.join(runner.scratch, shape + ".cp-strace.sh")
    with open(traced, "w") as out:
        out.write(plan.script("cp -r --no-clobber", strace_dir=trace_dir))
    result = subprocess.run(["bash", traced, os.path.join(dest_base, "strace-cp")],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if result.returncode != 0:
        raise SystemExit("bench: cp under strace failed: %s" % result.stderr[-2000:])
    calls["cp"] = sum(strace_total(os.path.join(trace_dir, f)) for f in os.listdir(trace_dir))
    evict(os.path.join(dest_base, "strace-cp"))

    row = {
        "shape": shape, "title": SHAPE_TITLES[shape], "files": plan.files, "bytes": plan.bytes,
        "pairs": args.pairs, "cp_invocations": len(plan.groups),
        "times": times, "median": {t: median(v) for t, v in times.items()},
        "ratios": ratios, "ratio_kit_cp": median(ratios),
        "ratio_kit_rsync": median([k / r for k, r in zip(times["kit"], times["rsync"])]),
        "rss_kb": rss,
        "calls_per_file": {t: calls[t] / plan.files for t in calls},
    }
    log("  median kit %.3f s, cp %.3f s, rsync %.3f s; kit/cp %.3f; syscalls/file kit %.2f "
        "cp %.2f; peak RSS kit %d KB" % (
            row["median"]["kit"], row["median"]["cp"], row["median"]["rsync"],
            row["ratio_kit_cp"], row["calls_per_file"]["kit"], row["calls_per_file"]["cp"],
            rss["kit"]))
    return row, plan


# --- a kit from an image of the medium -------------------------------------------

def ensure_image(medium):
    """The medium's ISO 9660 image beside it (Joliet and Rock Ridge), kept
    between runs like the medium."""
    image = medium + ".iso"
    marker = image + ".ok"
    if os.path.exists(marker) and os.path.getmtime(marker) >= os.path.getmtime(medium + ".ok"):
        return image
    log("making the image %s" % image)
    run(["xorriso", "-as", "mkisofs", "-quiet", "-J", "-joliet-long", "-R", "-o", image, medium],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    open(marker, "w").close()
    return image


def bench_image(image, args, runner, kit, dest_base):
    log("shape image: %s" % SHAPE_TITLES["image"])
    os.makedirs(dest_base, exist_ok=True)
    commands = {
        "kit": lambda d: [kit, "--source", image, "--dest", d] + KIT_FLAGS,
        "xorriso": lambda d: ["xorriso", "-osirrox", "on", "-indev", image, "-extract", "/", d],
    }
    files = {}
    for tool in commands:  # warm-up: the image in the page cache, and what each writes
        d = os.path.join(dest_base, "warm-" + tool)
        runner.timed(commands[tool](d), tool + " warm-up", d)
        files[tool] = tree_files(d)
    times = {t: [] for t in commands}
    rss = {t: 0 for t in commands}
    ratios = []
    for i in range(1, args.pairs + 1):
        pair = {}
        for tool in commands:
            d = os.path.join(dest_base, "%s-%d" % (tool, i))
            pair[tool], peak = runner.timed(commands[tool](d), tool, d)
            times[tool].append(pair[tool])
            rss[tool] = max(rss[tool], peak)
        ratios.append(pair["kit"] / pair["xorriso"])
        log("  pair %d: kit %.3f s, xorriso -extract %.3f s, kit/xorriso %.3f" % (
            i, pair["kit"], pair["xorriso"], ratios[-1]))
    row = {
        "files": {t: len(f) for t, f in files.items()}, "image_bytes": os.path.getsize(image),
        "pairs": args.pairs, "times": times, "median": {t: median(v) for t, v in times.items()},
        "ratios": ratios, "ratio_kit_xorriso": median(ratios), "rss_kb": rss,
    }
    log("  median kit %.3f s, xorriso %.3f s; kit/xorriso %.3f" % (
        row["median"]["kit"], row["median"]["xorriso"], row["ratio_kit_xorriso"]))
    return row


# --- XFS with reflink ------------------------------------------------------------

def bench_xfs(medium, plan, args, runner, kit, bytecopy):
    """The CD shape on a loop-mounted XFS made with reflink=1."""
    image = os.path.join(args.work, "xfs.img")
    mount = os.path.join(args.work, "xfs-mnt")
    size_mb = max(2048, 5 * plan.bytes // (1 << 20) + 1024)
    result = {"mounted": False}
    if os.path.ismount(mount):
        subprocess.run(["umount", mount])
    os.makedirs(mount, exist_ok=True)
    try:
        with open(image, "wb") as out:
            out.truncate(size_mb << 20)
        run(["mkfs.xfs", "-q", "-f", "-m", "reflink=1", image],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        mounted = subprocess.run(["mount", "-o", "loop", image, mount],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if mounted.returncode != 0:
            result["error"] = ("mount -o loop failed: " + mounted.stdout.strip())
            log("XFS: " + result["error"])
            return result
    except (subprocess.CalledProcessError, OSError) as error:
        output = getattr(error, "stdout", b"") or b""
        result["error"] = "%s %s" % (error, output.decode(errors="replace").strip())
        log("XFS: " + result["error"])
        if os.path.exists(image):
            os.remove(image)
        return result
    result["mounted"] = True
    try:
        src = os.path.join(mount, "medium")
        log("XFS: copying the CD medium into the image")
        run(["cp", "-a", medium, src])
        report = os.path.join(runner.scratch, "xfs.report.json")
        run([kit, "--source", src, "--dest", os.path.join(mount, "reference"), "--report",
             report] + KIT_FLAGS, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xplan = Plan(report)
        scripts = {}
        for name, cmd in [("cp-reflink", "cp -r --no-clobber --reflink=always"),
                          ("cp-bytes", "cp -r --no-clobber --reflink=never")]:
            scripts[name] = os.path.join(runner.scratch, "xfs.%s.sh" % name)
            with open(scripts[name], "w") as out:
                out.write(xplan.script(cmd))
        commands = {
            "kit": lambda d: [kit, "--source", src, "--dest", d] + KIT_FLAGS,
            "cp-reflink": lambda d: ["bash", scripts["cp-reflink"], d],
            "kit-bytes": lambda d: [bytecopy, src, d],
            "cp-bytes": lambda d: ["bash", scripts["cp-bytes"], d],
        }
        order = ["kit", "cp-reflink", "kit-bytes", "cp-bytes"]
        times = {t: [] for t in order}
        durable = {t: [] for t in order}
        ratios, speedups, durable_speedups = [], [], []
        for i in range(0, args.pairs + 1):  # round 0 warms up
            pair, to_disk = {}, {}
            for tool in order:
                d = os.path.join(mount, "%s-%d" % (tool, i))
                pair[tool], _ = runner.timed(commands[tool](d), "XFS " + tool)
                # A byte copy is not done when the process ends: its data is
                # still to be written. Time that too, as "to disk".
                start = time.perf_counter()
                syncfs(mount)
                to_disk[tool] = pair[tool] + time.perf_counter() - start
                # XFS frees without penalty; the image stays small.
                shutil.rmtree(d)
            if i == 0:
                continue
            for tool in order:
                times[tool].append(pair[tool])
                durable[tool].append(to_disk[tool])
            ratios.append(pair["kit"] / pair["cp-reflink"])
            speedups.append(pair["kit-bytes"] / pair["kit"])
            durable_speedups.append(to_disk["kit-bytes"] / to_disk["kit"])
            log("  XFS pair %d: kit %.3f s (%.3f s to disk), cp --reflink=always %.3f s, "
                "kit byte copy %.3f s (%.3f s to disk), cp --reflink=never %.3f s" % (
                    i, pair["kit"], to_disk["kit"], pair["cp-reflink"], pair["kit-bytes"],
                    to_disk["kit-bytes"], pair["cp-bytes"]))
        result.update({
            "files": xplan.files, "bytes": xplan.bytes, "times": times, "durable": durable,
            "median": {t: median(v) for t, v in times.items()},
            "median_durable": {t: median(v) for t, v in durable.items()},
            "ratio_kit_cp_reflink": median(ratios), "speedup_over_bytes": median(speedups),
            "speedup_over_bytes_durable": median(durable_speedups),
        })
        log("  XFS median kit/cp --reflink=always %.3f, byte copy / kit %.1f x (%.1f x to disk)"
            % (result["ratio_kit_cp_reflink"], result["speedup_over_bytes"],
               result["speedup_over_bytes_durable"]))
    finally:
        subprocess.run(["umount", mount])
        os.remove(image)
    return result


# --- the table -------------------------------------------------------------------

def machine_facts(work):
    facts = {}
    facts["cpu"] = "?"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                facts["cpu"] = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    facts["cores"] = os.cpu_count()
    facts["memory_gb"] = round(os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30, 1)
    facts["kernel"] = platform.release()
    found = subprocess.run(["findmnt", "-n", "-o", "FSTYPE,OPTIONS", "-T", work],
                           stdout=subprocess.PIPE, text=True).stdout.strip()
    facts["filesystem"] = found
    facts["journal"] = os.path.isdir("/proc/fs/jbd2") and any(os.scandir("/proc/fs/jbd2"))
    facts["cp"] = subprocess.run(["cp", "--version"], stdout=subprocess.PIPE,
                                 text=True).stdout.splitlines()[0]
    facts["rsync"] = subprocess.run(["rsync", "--version"], stdout=subprocess.PIPE,
                                    text=True).stdout.splitlines()[0]
    with open("/proc/loadavg") as handle:
        facts["load_at_start"] = handle.read().split()[0]
    return facts


def mark(ok):
    return "yes" if ok else "**no**"


def table(results, xfs, facts, args, image=None):
    lines = []
    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    lines.append("Run of %s%s, %d timed pairs per shape after a warm-up." % (
        when, " (quick media)" if args.quick else "", args.pairs))
    lines.append("")
    lines.append("Machine: %s, %s cores, %s GB RAM, Linux %s; work folder on %s%s; "
                 "load average %s at start. %s; %s." % (
                     facts["cpu"], facts["cores"], facts["memory_gb"], facts["kernel"],
                     facts["filesystem"], "" if facts["journal"] else " (no journal)",
                     facts["load_at_start"], facts["cp"], facts["rsync"]))
    lines.append("")
    if results:
        lines.append("| Shape | Files | MB | vostrel-kit | cp | rsync | kit / cp (median of "
                     "pairs) | kit / rsync | Peak RSS kit / cp / rsync | Syscalls per file kit / "
                     "cp |")
        lines.append("|---|---:|---:|---:|---:|---:|---:|---:|---|---|")
    for r in results:
        m = r["median"]
        lines.append("| %s | %d | %.0f | %.3f s | %.3f s | %.3f s | %.3f | %.3f | "
                     "%.1f / %.1f / %.1f MB | %.2f / %.2f |" % (
                         r["title"], r["files"], r["bytes"] / 2**20, m["kit"], m["cp"],
                         m["rsync"], r["ratio_kit_cp"], r["ratio_kit_rsync"],
                         r["rss_kb"]["kit"] / 1024, r["rss_kb"]["cp"] / 1024,
                         r["rss_kb"]["rsync"] / 1024, r["calls_per_file"]["kit"],
                         r["calls_per_file"]["cp"]))
    if results:
        lines.append("")
    if image is not None:
        m = image["median"]
        lines.append("| Kit from an image | Image MB | Files kit / xorriso | vostrel-kit | "
                     "xorriso -extract | kit / xorriso (median of pairs) | "
                     "Peak RSS kit / xorriso |")
        lines.append("|---|---:|---:|---:|---:|---:|---|")
        lines.append("| %s | %.0f | %d / %d | %.3f s | %.3f s | %.3f | %.1f / %.1f MB |" % (
            SHAPE_TITLES["image"], image["image_bytes"] / 2**20, image["files"]["kit"],
            image["files"]["xorriso"], m["kit"], m["xorriso"], image["ratio_kit_xorriso"],
            image["rss_kb"]["kit"] / 1024, image["rss_kb"]["xorriso"] / 1024))
        lines.append("")
    if xfs is None:
        lines.append("XFS with reflink: not run (BENCH_XFS=0 or no CD shape).")
    elif not xfs.get("mounted"):
        lines.append("XFS with reflink: could not be set up here: `%s`." % xfs.get("error"))
    else:
        m = xfs["median"]
        md = xfs["median_durable"]
        lines.append("| XFS (reflink=1), CD shape | Files | vostrel-kit | cp --reflink=always "
                     "| kit / cp reflink (median of pairs) | kit by byte copy | cp --reflink=never "
                     "| byte copy / kit | the same, to disk |")
        lines.append("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        lines.append("| loop-mounted image | %d | %.3f s | %.3f s | %.3f | %.3f s | %.3f s | "
                     "%.1f x | %.1f x (%.3f s against %.3f s) |" % (
                         xfs["files"], m["kit"], m["cp-reflink"], xfs["ratio_kit_cp_reflink"],
                         m["kit-bytes"], m["cp-bytes"], xfs["speedup_over_bytes"],
                         xfs["speedup_over_bytes_durable"], md["kit-bytes"], md["kit"]))
        lines.append("")
        lines.append("\"To disk\": the run and then `syncfs` of the image, which writes out what "
                     "the run left in memory.")
    lines.append("")
    lines.append("Goals:")
    for r in results:
        lines.append("- %s: kit / cp %.3f <= 1.00: %s; syscalls per file %.2f <= cp %.2f + 2: %s"
                     % (r["shape"], r["ratio_kit_cp"], mark(r["ratio_kit_cp"] <= 1.0),
                        r["calls_per_file"]["kit"], r["calls_per_file"]["cp"],
                        mark(r["calls_per_file"]["kit"] <= r["calls_per_file"]["cp"] + 2)))
        if r["shape"] == "small":
            lines.append("- small: peak RSS %.1f MB < 16 MB: %s" % (
                r["rss_kb"]["kit"] / 1024, mark(r["rss_kb"]["kit"] < 16 * 1024)))
    if image is not None:
        lines.append("- image: kit / xorriso -extract %.3f <= 1.00: %s" % (
            image["ratio_kit_xorriso"], mark(image["ratio_kit_xorriso"] <= 1.0)))
    if xfs and xfs.get("mounted"):
        lines.append("- XFS: kit / cp --reflink=always %.3f <= 1.10: %s; byte copy / kit %.1f x "
                     ">= 5: %s (to disk: %.1f x: %s)" % (
                         xfs["ratio_kit_cp_reflink"], mark(xfs["ratio_kit_cp_reflink"] <= 1.10),
                         xfs["speedup_over_bytes"], mark(xfs["speedup_over_bytes"] >= 5),
                         xfs["speedup_over_bytes_durable"],
                         mark(xfs["speedup_over_bytes_durable"] >= 5)))
    return "\n".join(lines) + "\n"


def update_results_md(text):
    path = os.path.join(HERE, "RESULTS.md")
    begin, end = "<!-- last run: begin -->", "<!-- last run: end -->"
    old = open(path).read() if os.path.exists(path) else begin + "\n" + end + "\n"
    if begin not in old or end not in old:
        old = old.rstrip("\n") + "\n\n" + begin + "\n" + end + "\n"
    head, rest = old.split(begin, 1)
    _, tail = rest.split(end, 1)
    with open(path, "w") as out:
        out.write(head + begin + "\n" + text + end + tail)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kit", required=True)
    parser.add_argument("--bytecopy-kit", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--smoke", action="store_true",
                        help="quick media, one pair, no XFS, RESULTS.md untouched")
    args = parser.parse_args()
    env = os.environ
    args.quick = args.smoke or env.get("BENCH_QUICK") == "1"
    args.pairs = int(env.get("BENCH_PAIRS", "1" if args.smoke else "2" if args.quick else "5"))
    shapes = env.get("BENCH_SHAPES", "cd,small,runtime,image").split(",")
    for shape in shapes:
        if shape not in SHAPE_TITLES:
            raise SystemExit("bench: unknown shape %r (cd, small, runtime, image)" % shape)
    settle = float(env.get("BENCH_SETTLE", "0" if args.quick else "370"))
    want_xfs = env.get("BENCH_XFS", "0" if args.smoke else "1") == "1" and "cd" in shapes
    work = os.path.abspath(args.work)
    args.work = work
    os.makedirs(work, exist_ok=True)
    facts = machine_facts(work)
    runner = Runner(work)

    dest_root = os.path.join(work, "dest")
    left = sum(len(names) for _, _, names in os.walk(dest_root))
    if os.path.exists(dest_root):
        log("deleting the destinations of an earlier run (%d files)" % left)
        shutil.rmtree(dest_root)
        os.sync()
    if left == 0:
        settle = 0
    media = {shape: ensure_medium(work, "cd" if shape == "image" else shape, args.quick)
             for shape in shapes}
    check_space(work, media, args)
    if settle > 0:
        log("waiting %.0f s for the inodes it freed to age" % settle)
        time.sleep(settle)

    results, plans, image = [], {}, None
    try:
        for shape in shapes:
            dest_base = os.path.join(dest_root, shape)
            if shape == "image":
                image = bench_image(ensure_image(media[shape]), args, runner, args.kit, dest_base)
                continue
            row, plans[shape] = bench_shape(shape, media[shape], args, runner, args.kit,
                                            dest_base)
            results.append(row)
        xfs = None
        if want_xfs:
            xfs = bench_xfs(media["cd"], plans["cd"], args, runner, args.kit, args.bytecopy_kit)
    finally:
        log("deleting the destinations")
        shutil.rmtree(dest_root, ignore_errors=True)
        os.sync()

    text = table(results, xfs, facts, args, image)
    with open(os.path.join(work, "results.md"), "w") as out:
        out.write(text)
    with open(os.path.join(work, "results.json"), "w") as out:
        json.dump({"facts": facts, "shapes": results, "xfs": xfs, "image": image}, out, indent=2)
    print()
    print(text)
    if not args.smoke and not args.quick:
        update_results_md(text)
        log("table written to bench/RESULTS.md")
    log("results in %s/results.md" % work)


if __name__ == "__main__":
    main()

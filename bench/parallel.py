#!/usr/bin/env python3
"""Copies made at once: vostrel-kit --jobs 1, 2, 4 and 8 against GNU cp, a
parallel cp, rsync and rclone.

Started by bench/run-parallel, which builds the release tool and the slow file
system first. For every shape (bench/make_medium.py's cd, small and runtime
media, and "slow": the cd medium seen through bench/slowfs.c, which waits
BENCH_DELAY_US, default 1000, on every open and every read and lets the
kernel cache no data, so each run reads it cold; and "small-tmpfs" and
"runtime-tmpfs": those media copied into a tmpfs mounted for the run, with
every copy made there, so no disk state enters the times, only the copier's
own cost) it times, in alternating rounds after one untimed warm-up of each:

  kit-jN     vostrel-kit --jobs N (N = 1, 2, 4, 8)
  cp         one cp -r --no-clobber per kit folder, one after another (as bench.py)
  cp-par     the same cp commands all started at once (a parallel cp)
  rsync      one rsync -a --ignore-existing per kit folder
  rclone-jN  rclone copy --transfers N --checkers N of the kit's files (--files-from),
             where rclone is installed
  floor-kit-jN  bench/floor.c on N threads (N = 1, 2): the kit's system calls
             per file (unnamed file, times, link under the name) and nothing
             else, no listing, whole folders per thread: what no copier making
             those calls goes below here
  floor-cp-j2   the same with cp's calls (the name created at once, no times)
  floor-ordered-jN  the kit's calls as its walk may make them (N = 1, 2): each
             folder listed with its entries' attributes when reached, each
             name linked in its turn on one thread, N - 1 more making the
             copies ahead: what the kit's design goes below at no N

cp, rsync and rclone copy exactly what the kit copies (bench.py's Plan). The
ratios are taken round by round and their medians reported; each round starts
with another tool. Destinations are kept until the table is written (see
bench.py on deleting during a run), the slow shape's deleted after each run
(its time is the medium's latency).

Environment: BENCH_DIR (work folder, default build/bench), BENCH_PAIRS (3),
BENCH_SHAPES (cd,small,runtime,slow,small-tmpfs,runtime-tmpfs), BENCH_DELAY_US
(1000), BENCH_QUICK=1.
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the medium, the plan and the timing of bench.py)

JOBS = [1, 2, 4, 8]
RCLONE_JOBS = [2, 4]
TMPFS = "-tmpfs"


def scripts_for(plan, scratch, shape):
    """cp, the parallel cp, rsync and rclone as bash scripts taking $1."""
    out = {}
    for name, cmd in [("cp", "cp -r --no-clobber"), ("rsync", "rsync -a --ignore-existing")]:
        out[name] = plan.script(cmd)
    lines = plan.script("cp -r --no-clobber").splitlines()
    # After the folders are made, every cp at once.
    out["cp-par"] = "\n".join(lines[:4] + [line + " &" for line in lines[4:]] + ["wait"]) + "\n"
    listing = os.path.join(scratch, shape + ".files")
    with open(listing, "w") as handle:
        handle.write("\n".join(sorted(plan.copied)) + "\n")
    mkdir = lines[3]
    for n in RCLONE_JOBS if shutil.which("rclone") else []:
        out["rclone-j%d" % n] = "\n".join(lines[:3] + [mkdir, (
            "rclone copy --transfers %d --checkers %d --files-from %s %s \"$dest\"" % (
                n, n, shlex.quote(listing), shlex.quote(plan.source)))]) + "\n"
    paths = {}
    for name, text in out.items():
        paths[name] = os.path.join(scratch, "%s.%s.sh" % (shape, name))
        with open(paths[name], "w") as handle:
            handle.write(text)
    return paths


def floor_commands(floor, medium, listing):
    """bench/floor.c's runs over the kit's files, by name."""
    return {"floor-%s-j%d" % (calls, n): (
        lambda d, n=n, calls=calls: [floor, medium, d, listing, str(n), calls])
        for calls, n in (("kit", 1), ("kit", 2), ("cp", 2), ("ordered", 1), ("ordered", 2))}


def bench_shape(shape, medium, args, runner, kit, dest_base, delete_each):
    bench.log("shape %s (%s)" % (shape, medium))
    os.makedirs(dest_base, exist_ok=True)
    report = os.path.join(runner.scratch, shape + ".report.json")
    warm = os.path.join(dest_base, "plan-kit")
    runner.timed([kit, "--source", medium, "--dest", warm, "--report", report, "--jobs", "1"]
                 + bench.KIT_FLAGS, "kit plan", warm)
    plan = bench.Plan(report)
    scripts = scripts_for(plan, runner.scratch, shape)
    commands = {"kit-j%d" % n: (lambda d, n=n: [kit, "--source", medium, "--dest", d, "--jobs",
                                                str(n)] + bench.KIT_FLAGS) for n in JOBS}
    for name, path in scripts.items():
        commands[name] = lambda d, path=path: ["bash", path, d]
    if shape != "slow":  # the slow medium's times are its latency, not the calls
        commands.update(floor_commands(args.floor, medium,
                                       os.path.join(runner.scratch, shape + ".files")))
    times = {t: [] for t in commands}
    rss = {t: 0 for t in commands}
    names = list(commands)
    for i in range(0, args.pairs + 1):  # round 0: the warm-up
        # Each round starts with another tool: the first of a round runs
        # after the last one's write-out, which costs the first one most.
        start = (i * 3) % len(names)
        for tool in names[start:] + names[:start]:
            cmd = commands[tool]
            d = os.path.join(dest_base, "%s-%d" % (tool, i))
            wall, peak = runner.timed(cmd(d), tool, d)
            if i > 0:
                times[tool].append(wall)
                rss[tool] = max(rss[tool], peak)
            if i == 0 or delete_each:
                made = bench.tree_files(d)
                if i == 0 and made != bench.tree_files(warm) and not tool.startswith("kit"):
                    missing = bench.tree_files(warm) - made - plan.removed
                    if missing:
                        raise SystemExit("bench: %s misses %d files (%s)" % (
                            tool, len(missing), sorted(missing)[:3]))
            if delete_each:
                shutil.rmtree(d)
        if i > 0:
            bench.log("  round %d: " % i + ", ".join(
                "%s %.3f" % (t, times[t][-1]) for t in names))
    return {"shape": shape, "files": plan.files, "bytes": plan.bytes, "times": times,
            "rss_kb": rss}


def ratio(row, a, b):
    return bench.median([x / y for x, y in zip(row["times"][a], row["times"][b])])


def table(rows, args):
    tools = list(dict.fromkeys(t for row in rows for t in row["times"]))
    out = ["| Shape | Files | MB | " + " | ".join(tools) + " |",
           "|---|---:|---:|" + "---:|" * len(tools)]
    for row in rows:
        out.append("| %s | %d | %d | " % (row["shape"], row["files"], row["bytes"] / 1e6) +
                   " | ".join("%.3f s" % bench.median(row["times"][t]) if t in row["times"] else "-"
                              for t in tools) + " |")
    pairs = [("kit-j%d" % n, "cp") for n in JOBS] + [("kit-j%d" % n, "cp-par") for n in JOBS[1:]]
    pairs += [("kit-j%d" % n, "rclone-j%d" % n) for n in RCLONE_JOBS if "rclone-j%d" % n in tools]
    pairs += [(t, "cp") for t in tools if t.startswith("floor-")]
    out += ["", "| Shape | " + " | ".join("%s / %s" % pair for pair in pairs) +
            " | peak RSS kit-j1 / j4 / j8 |", "|---|" + "---:|" * len(pairs) + "---|"]
    for row in rows:
        out.append("| %s | " % row["shape"] +
                   " | ".join("%.3f" % ratio(row, a, b) if a in row["times"] else "-"
                              for a, b in pairs) +
                   " | %s MB |" % " / ".join("%.1f" % (row["rss_kb"]["kit-j%d" % n] / 1024)
                                            for n in (1, 4, 8)))
    return "\n".join(out) + "\n"


def bench_in_tmpfs(shape, medium, args, runner, work):
    """The shape with its medium and every copy in a tmpfs mounted for it."""
    mount = os.path.join(work, "tmpfs")
    os.makedirs(mount, exist_ok=True)
    bench.run(["mount", "-t", "tmpfs", "-o", "size=%s" % os.environ.get("BENCH_TMPFS_SIZE", "3g"),
               "bench", mount])
    try:
        copy = os.path.join(mount, "medium")
        bench.run(["cp", "-a", medium, copy])
        # Each destination deleted after its run: nothing is left to cost
        # the next run, and the tmpfs holds one kit at a time.
        return bench_shape(shape, copy, args, runner, args.kit, os.path.join(mount, "dest"), True)
    finally:
        subprocess.run(["umount", mount])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("--kit", "--slowfs", "--floor", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    env = os.environ
    quick = env.get("BENCH_QUICK") == "1"
    args.pairs = int(env.get("BENCH_PAIRS", "3"))
    shapes = env.get("BENCH_SHAPES",
                     "cd,small,runtime,slow,small-tmpfs,runtime-tmpfs").split(",")
    delay = env.get("BENCH_DELAY_US", "1000")
    work = os.path.abspath(args.work)
    runner = bench.Runner(work)
    dest_root = os.path.join(work, "dest-parallel")
    shutil.rmtree(dest_root, ignore_errors=True)
    mount = os.path.join(work, "slow-mount")
    rows = []
    for shape in shapes:
        base = {"slow": "cd"}.get(shape, shape[:-len(TMPFS)] if shape.endswith(TMPFS) else shape)
        medium = bench.ensure_medium(work, base, quick)
        dest_base = os.path.join(dest_root, shape)
        if shape.endswith(TMPFS):
            rows.append(bench_in_tmpfs(shape, medium, args, runner, work))
            continue
        if shape != "slow":
            rows.append(bench_shape(shape, medium, args, runner, args.kit, dest_base, False))
            continue
        os.makedirs(mount, exist_ok=True)
        bench.run([args.slowfs, medium, mount, delay])
        try:
            rows.append(bench_shape(shape, mount, args, runner, args.kit, dest_base, True))
        finally:
            subprocess.run(["fusermount3", "-u", mount])
    text = table(rows, args)
    stamp = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    text = "Run of %s, %d rounds after a warm-up, slow medium %s us per open and read.\n\n%s" % (
        stamp, args.pairs, delay, text)
    with open(os.path.join(work, "parallel.md"), "w") as out:
        out.write(text)
    print(text, flush=True)
    bench.log("deleting the destinations")
    shutil.rmtree(dest_root, ignore_errors=True)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Copies made at once: vostrel-kit --jobs 1, 2 and 4 against GNU cp, a
parallel cp, rsync and rclone.

Started by bench/run-parallel, which builds the release tool and the slow file
system first. For every shape (bench/make_medium.py's cd, small and runtime
media, and "slow": the cd medium seen through bench/slowfs.c, which waits
BENCH_DELAY_US, default 1000, on every open and every read and lets the
kernel cache no data, so each run reads it cold) it times, in alternating
rounds after one untimed warm-up of each:

  kit-jN     vostrel-kit --jobs N (N = 1, 2, 4)
  cp         one cp -r --no-clobber per kit folder, one after another (as bench.py)
  cp-par     the same cp commands all started at once (a parallel cp)
  rsync      one rsync -a --ignore-existing per kit folder
  rclone-jN  rclone copy --transfers N --checkers N of the kit's files (--files-from)

cp, rsync and rclone copy exactly what the kit copies (bench.py's Plan). The
ratios are taken round by round and their medians reported; each round starts
with another tool. Destinations are kept until the table is written (see
bench.py on deleting during a run), the slow shape's deleted after each run
(its time is the medium's latency).

Environment: BENCH_DIR (work folder, default build/bench), BENCH_PAIRS (3),
BENCH_SHAPES (cd,small,runtime,slow), BENCH_DELAY_US (1000), BENCH_QUICK=1.
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

JOBS = [1, 2, 4]


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
    for n in JOBS[1:]:
        out["rclone-j%d" % n] = "\n".join(lines[:3] + [mkdir, (
            "rclone copy --transfers %d --checkers %d --files-from %s %s \"$dest\"" % (
                n, n, shlex.quote(listing), shlex.quote(plan.source)))]) + "\n"
    paths = {}
    for name, text in out.items():
        paths[name] = os.path.join(scratch, "%s.%s.sh" % (shape, name))
        with open(paths[name], "w") as handle:
            handle.write(text)
    return paths


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
    tools = list(rows[0]["times"])
    out = ["| Shape | Files | MB | " + " | ".join(tools) + " |",
           "|---|---:|---:|" + "---:|" * len(tools)]
    for row in rows:
        out.append("| %s | %d | %d | " % (row["shape"], row["files"], row["bytes"] / 1e6) +
                   " | ".join("%.3f s" % bench.median(row["times"][t]) for t in tools) + " |")
    out += ["", "| Shape | kit-j1 / cp | kit-j2 / cp | kit-j4 / cp | kit-j2 / cp-par | "
            "kit-j4 / cp-par | kit-j2 / rclone-j2 | kit-j4 / rclone-j4 | peak RSS kit-j1 / j4 |",
            "|---|---:|---:|---:|---:|---:|---:|---:|---|"]
    for row in rows:
        out.append("| %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.1f / %.1f MB |" % (
            row["shape"], ratio(row, "kit-j1", "cp"), ratio(row, "kit-j2", "cp"),
            ratio(row, "kit-j4", "cp"), ratio(row, "kit-j2", "cp-par"),
            ratio(row, "kit-j4", "cp-par"), ratio(row, "kit-j2", "rclone-j2"),
            ratio(row, "kit-j4", "rclone-j4"), row["rss_kb"]["kit-j1"] / 1024,
            row["rss_kb"]["kit-j4"] / 1024))
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("--kit", "--slowfs", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    env = os.environ
    quick = env.get("BENCH_QUICK") == "1"
    args.pairs = int(env.get("BENCH_PAIRS", "3"))
    shapes = env.get("BENCH_SHAPES", "cd,small,runtime,slow").split(",")
    delay = env.get("BENCH_DELAY_US", "1000")
    work = os.path.abspath(args.work)
    runner = bench.Runner(work)
    dest_root = os.path.join(work, "dest-parallel")
    shutil.rmtree(dest_root, ignore_errors=True)
    mount = os.path.join(work, "slow-mount")
    rows = []
    for shape in shapes:
        medium = bench.ensure_medium(work, "cd" if shape == "slow" else shape, quick)
        dest_base = os.path.join(dest_root, shape)
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

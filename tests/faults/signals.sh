#!/usr/bin/env bash
# SIGINT and SIGTERM during a run and during the image, and two runs into
# one destination. An interrupted run ends by that same signal (a shell sees
# 130 or 143) after saying how to complete the kit, leaves no temporary in
# the kit or beside an output, and --resume then completes the kit. A second
# run into a destination that a run holds is refused at once (exit 2) and
# writes nothing; --verify and --dry-run are never refused.
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

# Many small files make a run long enough to be stopped half-way.
make_medium "$work/medium"
chmod u+w "$work/medium/Talvor Imaging/Vok/Dll"
for ((i = 1; i <= 1500; i++)); do
  echo "library $i" >"$work/medium/Talvor Imaging/Vok/Dll/vokmany$i.dll"
done
add_weight "$work/medium" 2 16384
reference_kit "$work/medium" "$work/reference"
kit=$work/kit
run_args=(--source "$work/medium/setup.exe" --dest "$kit" "${selection[@]}")
message="vostrel-kit: interrupted; run again with --resume to complete the kit"

some_copied() { [[ $(find "$kit/Talvor Imaging/Vok/dll" -name 'vokmany*' 2>/dev/null | wc -l) -ge 20 ]]; }

no_temporaries() { [[ -z $(find "$1" -name '.vostrel-copy-*' -o -name '*.tmp*' | head -n 1) ]]; }

for signal in INT TERM; do
  rm -rf -- "$kit"
  "$kit_binary" "${run_args[@]}" >"$work/$signal.out" 2>"$work/$signal.err" &
  pid=$!
  wait_for some_copied
  kill "-$signal" "$pid"
  wait "$pid"
  status=$?
  expected=$((128 + $(kill -l "$signal")))
  expect "SIG$signal: the process ends by the signal ($expected)" [ "$status" -eq "$expected" ]
  expect "SIG$signal: stderr ends with the message" \
    [ "$(tail -n 1 "$work/$signal.err")" == "$message" ]
  expect "SIG$signal: the run does not claim to be complete" not last_line_is_complete "$signal"
  expect "SIG$signal: no temporary is left in the kit" no_temporaries "$kit"
  expect "SIG$signal: every file under a final name is complete" \
    kitcheck complete "$work/medium" "$kit" "$work/reference"
  expect "SIG$signal: the kit is indeed part-built" not kitcheck same "$work/reference" "$kit"
  run_kit "$signal-resume" "${run_args[@]}" --resume
  expect "SIG$signal: --resume then exits 0" [ "$status" -eq 0 ]
  expect "SIG$signal: the resumed kit equals an uninterrupted one" \
    kitcheck same "$work/reference" "$kit"
done

# The image: SIGTERM once the process is writing it (it holds a file in the
# image's folder open, unnamed where the disk allows).
mkdir -p "$work/images"
"$kit_binary" "${run_args[@]}" --resume --iso "$work/images/kit.iso" >/dev/null 2>"$work/iso.err" &
pid=$!
wait_for writing_into "$pid" "$work/images"
expect "the run got to writing the image" writing_into "$pid" "$work/images"
kill -TERM "$pid"
wait "$pid"
expect "SIGTERM while the image is written: exit 143" [ $? -eq 143 ]
expect "no image and no temporary beside it" [ -z "$(ls -A "$work/images")" ]
expect "stderr ends with the message" [ "$(tail -n 1 "$work/iso.err")" == "$message" ]

# One run per destination. The first holds its kit while it waits for a
# reader of its report, a FIFO: the FIFO is written into, never replaced.
rm -rf -- "$kit"
mkfifo "$work/report.fifo"
: >"$work/first.out"
"$kit_binary" "${run_args[@]}" --report "$work/report.fifo" >"$work/first.out" 2>"$work/first.err" &
pid=$!
wait_for last_line_is_complete first
before=$(kitcheck digest "$kit")
run_kit second "${run_args[@]}"
expect "a second run is refused with exit 2" [ "$status" -eq 2 ]
expect "it says another run is writing" err_has second "vostrel-kit: another run is writing to $kit"
expect "it prints no status line" [ ! -s "$work/second.out" ]
run_kit second-resume "${run_args[@]}" --resume
expect "a --resume run is refused as well" [ "$status" -eq 2 ]
expect "neither wrote anything" [ "$(kitcheck digest "$kit")" == "$before" ]
run_kit dry "${run_args[@]}" --dry-run
expect "a dry run is not refused" not err_has dry "another run"
run_kit check --verify --source "$work/medium/setup.exe" --dest "$kit" "${selection[@]}"
expect "--verify is not refused (and finds the kit whole)" [ "$status" -eq 0 ]
expect "the first run was still running meanwhile" kill -0 "$pid"
cat "$work/report.fifo" >"$work/first.json"
wait "$pid"
expect "the first run then ends, exit 0" [ $? -eq 0 ]
is_json() { python3 -m json.tool "$1" >/dev/null 2>&1; }
expect "its report went through the FIFO" is_json "$work/first.json"
expect "the FIFO is still a FIFO" [ -p "$work/report.fifo" ]
run_kit third "${run_args[@]}" --resume
expect "once it ended the destination is free again" [ "$status" -eq 0 ]
# Waits on an output: a FIFO with no reader (--report), and a pipe on stdout
# that is full and never read (--report -, the pipe cut to one page). The
# signal ends the run within a second, as anywhere else.
make_medium "$work/small"
small_args=(--source "$work/small/setup.exe" --dest "$kit" "${selection[@]}")
mkfifo "$work/unread.fifo"
full_pipe() {
  python3 -c 'import fcntl, os, subprocess, sys
read, write = os.pipe()
fcntl.fcntl(write, 1031, 4096)  # F_SETPIPE_SZ: one page, never read
child = subprocess.Popen(sys.argv[1:], stdout=write, stderr=open(os.environ["ERR"], "w"))
open(os.environ["ERR"] + ".pid", "w").write(str(child.pid))
os.close(write)
code = child.wait()
sys.exit(128 - code if code < 0 else code)' "$@"
}
for signal in INT TERM; do
  expected=$((128 + $(kill -l "$signal")))
  for wait in fifo pipe; do
    name=$wait-$signal
    rm -rf -- "$kit"
    if [[ $wait == fifo ]]; then
      "$kit_binary" "${small_args[@]}" --report "$work/unread.fifo" >/dev/null 2>"$work/$name.err" &
    else
      ERR=$work/$name.err full_pipe "$kit_binary" "${small_args[@]}" --quiet --report - &
    fi
    pid=$!
    sleep 2  # the kit is made; the run waits on its report
    kid=$pid
    [[ $wait == pipe ]] && kid=$(cat "$work/$name.err.pid")
    started=$(date +%s%N)
    kill "-$signal" "$kid"
    (sleep 5 && kill -KILL "$kid") 2>/dev/null &  # a run that waits on is failed, not hung
    watchdog=$!
    wait "$pid"
    status=$?
    kill -KILL "$watchdog" 2>/dev/null  # no trap of the script runs in it
    expect "$name: the process ends by SIG$signal ($expected)" [ "$status" -eq "$expected" ]
    expect "$name: within a second" [ $(($(date +%s%N) - started)) -lt 1000000000 ]
    expect "$name: stderr ends with the message" [ "$(tail -n 1 "$work/$name.err")" == "$message" ]
  done
done
finish

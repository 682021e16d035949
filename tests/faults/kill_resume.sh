#!/usr/bin/env bash
# The process killed (SIGKILL) at 50 random moments of a run: after each kill
# every file under a final name is complete, and --resume then yields a kit
# identical to an uninterrupted one. The moments are spread over the length
# of an uninterrupted run measured here, one in each fiftieth of it; a try
# whose run had already ended does not count.
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

kills=${VOSTREL_KILLS:-50}
make_medium "$work/medium"
add_weight "$work/medium" 6 6144
reference_kit "$work/medium" "$work/reference"
run_args=(--source "$work/medium/setup.exe" --dest "$work/kit" "${selection[@]}")

# How long an uninterrupted run takes on this machine (the slowest of three).
span=0
for _ in 1 2 3; do
  rm -rf -- "$work/kit"
  start=$(date +%s%N)
  "$kit_binary" "${run_args[@]}" >/dev/null 2>&1
  took=$(($(date +%s%N) - start))
  ((took > span)) && span=$took
done
note "an uninterrupted run takes $((span / 1000000)) ms here"

killed=0
part_built=0
attempts=0
# A moment after the run has ended kills nothing: such tries do not count,
# and the span shrinks, as this machine runs faster than it was measured.
while ((killed < kills && attempts < 4 * kills)); do
  attempts=$((attempts + 1))
  rm -rf -- "$work/kit"
  delay=$((span * killed / kills + span * RANDOM / 32768 / kills))
  "$kit_binary" "${run_args[@]}" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%09d' $((delay / 1000000000)) $((delay % 1000000000)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if [[ $? -ne 137 ]]; then
    span=$((span * 9 / 10))
    continue
  fi
  killed=$((killed + 1))
  moment="kill $killed at $((delay / 1000000)) ms"
  if [[ -d "$work/kit" ]] && not kitcheck same "$work/reference" "$work/kit"; then
    part_built=$((part_built + 1))
  fi
  if ! kitcheck complete "$work/medium" "$work/kit" "$work/reference" >/dev/null; then
    fail "$moment: a file under a final name is incomplete"
  fi
  run_kit resume "${run_args[@]}" --resume
  if [[ $status -ne 0 ]]; then
    fail "$moment: --resume exited $status"
    cat "$work/resume.err" >&2
  fi
  if ! kitcheck same "$work/reference" "$work/kit"; then
    fail "$moment: the resumed kit differs from an uninterrupted one"
  fi
done
note "$killed runs killed in $attempts tries; $part_built kills left a part-built kit"
expect "after each kill every final name held a complete file and --resume matched" \
  [ "$failures" -eq 0 ]
expect "$kills runs were killed while running" [ "$killed" -eq "$kills" ]
# Kills before the first copy or after the last (start-up, the leak check at
# exit) prove little; enough must fall between.
expect "kills landed between the first and the last copy" [ "$part_built" -ge $((kills / 8)) ]
finish

#!/usr/bin/env bash
# Runs into folders inside or above a folder another run holds, however it
# is named (a bind mount too): each refused at once with exit 2, naming the
# held folder, writing nothing. A folder beside it is free, and so is every
# folder once the holder ends, even by SIGKILL.
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

make_medium "$work/medium"
run_args=(--source "$work/medium/setup.exe" "${selection[@]}")
held=$work/par/Jurano
mkfifo "$work/report.fifo"

# hold DIR: a run that holds DIR while it waits for a reader of its report.
hold() {
  "$kit_binary" "${run_args[@]}" --dest "$1" --report "$work/report.fifo" \
    >"$work/holder.out" 2>"$work/holder.err" &
  pid=$!
  wait_for last_line_is_complete holder
}

hold "$held"
expect "the holder got to its report" last_line_is_complete holder
mkdir -p "$work/alias"
mount --bind "$work/par" "$work/alias" && mounts+=("$work/alias")
before=$(kitcheck digest "$work/par")
nested=(
  "above|$work/par|"
  "above-resume|$work/par|--resume"
  "inside|$held/sub|"
  "inside-resume|$held/Talvor Imaging|--resume"
  "above-bind|$work/alias|"
  "inside-bind|$work/alias/Jurano/sub|"
)
for row in "${nested[@]}"; do
  IFS='|' read -r name dest more <<<"$row"
  # shellcheck disable=SC2086
  run_kit "$name" "${run_args[@]}" --dest "$dest" $more
  expect "$name: refused with exit 2" [ "$status" -eq 2 ]
  expect "$name: it names the held folder" \
    [ "$(cat "$work/$name.err")" == "vostrel-kit: another run is writing to $held" ]
  expect "$name: no status line" [ ! -s "$work/$name.out" ]
done
expect "nothing was written" [ "$(kitcheck digest "$work/par")" == "$before" ]
expect "no folder was made" [ ! -e "$held/sub" ]
run_kit beside "${run_args[@]}" --dest "$work/par/Other"
expect "a folder beside the held one is free" [ "$status" -eq 0 ]
cat "$work/report.fifo" >/dev/null
wait "$pid"
expect "the holder ends complete" [ $? -eq 0 ]

# A holder killed outright leaves nothing that holds.
hold "$held"
kill -KILL "$pid"
wait "$pid" 2>/dev/null
run_kit after-kill "${run_args[@]}" --dest "$work/par" --resume
expect "after the holder is killed, a run above its folder goes ahead" \
  not err_has after-kill "another run"
finish

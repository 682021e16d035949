#!/usr/bin/env bash
# Outputs on devices, sockets, read-only and full disks, and killed while
# written; a sparse file on the medium copied into a small tmpfs. A device
# is written into and never replaced; what cannot take an output is refused
# before the kit is touched (exit 2); a failed write is a counted failure
# (exit 1); a killed write leaves nothing beside the output; the copy of a
# sparse file has its holes.
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

make_medium "$work/medium"
add_weight "$work/medium" 2 16384
run_args=(--source "$work/medium/setup.exe" "${selection[@]}")
no_kit() { [[ ! -e "$work/$1" ]]; }

# Refused before anything is written.
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$work/socket"
try_mount "$work/ro" "size=64k,ro" || skip "cannot mount a tmpfs here (needs root and the right to mount)"
block=$(find /dev -maxdepth 1 -type b 2>/dev/null | head -n 1)
refusals=("socket:$work/socket:is a socket" "ro:$work/ro/report.json:cannot be written")
[[ -n $block ]] && refusals+=("block:$block:is a block device")
for row in "${refusals[@]}"; do
  IFS=: read -r name path words <<<"$row"
  run_kit "refused-$name" "${run_args[@]}" --dest "$work/kit-$name" --report "$path"
  expect "$name: refused with exit 2" [ "$status" -eq 2 ]
  expect "$name: the reason is given ($words)" err_has "refused-$name" "$words"
  expect "$name: no kit was made" no_kit "kit-$name"
done
expect "the socket is still a socket" [ -S "$work/socket" ]

# A device that takes nothing: the failure is listed and counted, exit 1.
run_kit full "${run_args[@]}" --dest "$work/kit-full" --report /dev/full
expect "/dev/full: exit 1" [ "$status" -eq 1 ]
expect "/dev/full: the failure is listed" err_has full "the report /dev/full was not written"
expect "/dev/full: the summary counts it" err_has full ", 1 failures"
expect "/dev/full is still a device" [ -c /dev/full ]

# A kill while the image is written leaves nothing in its folder.
mkdir "$work/images"
"$kit_binary" "${run_args[@]}" --dest "$work/kit-image" --iso "$work/images/kit.iso" \
  >/dev/null 2>&1 &
pid=$!
wait_for writing_into "$pid" "$work/images"
expect "the run got to writing the image" writing_into "$pid" "$work/images"
kill -KILL "$pid"
wait "$pid" 2>/dev/null
expect "killed while writing the image: nothing beside it" [ -z "$(ls -A "$work/images")" ]

# A sparse file of 1 GiB with data at three places, into a 160 MiB tmpfs: a
# dense copy would not fit.
sparse="$work/medium/Talvor Imaging/Vok/Dll/sparse.dll"
truncate -s 1G "$sparse"
for at in 0 $((512 * 1024 * 1024)) $((1024 * 1024 * 1024 - 4)); do
  printf 'data' | dd of="$sparse" bs=1 seek="$at" conv=notrunc status=none
done
try_mount "$work/small" "size=160m" || skip "cannot mount a tmpfs here"
run_kit sparse "${run_args[@]}" --dest "$work/small/kit"
copy="$work/small/kit/Talvor Imaging/Vok/dll/sparse.dll"
expect "sparse: exit 0" [ "$status" -eq 0 ]
expect "sparse: the copy equals the file" cmp -s "$sparse" "$copy"
expect "sparse: the copy keeps its holes (under 1 MiB on disk)" \
  [ "$(($(stat -c '%b * %B' "$copy")))" -lt $((1024 * 1024)) ]
finish

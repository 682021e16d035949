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

# Outputs judged by what they are on disk, not by how they are named: a bind
# mount or a link of the medium or of the kit, standard output and a file
# under two names. Each refused with exit 2 before the kit is touched.
reference_kit "$work/medium" "$work/held"
mkdir -p "$work/alias-m" "$work/alias-k" "$work/Medium"
mount --bind "$work/medium" "$work/alias-m" && mounts+=("$work/alias-m")
mount --bind "$work/held" "$work/alias-k" && mounts+=("$work/alias-k")
ln -s "$work/medium" "$work/link-m"
: >"$work/one" && ln "$work/one" "$work/one-again"
medium_before=$(kitcheck digest "$work/medium")
held_before=$(kitcheck digest "$work/held")
inside_m="must not be written inside the medium"
inside_k="must not be written inside the kit"
two="one file cannot take two outputs"
identity=(
  "bind-medium|new|--report $work/alias-m/evil.json|$inside_m"
  "bind-medium-manifest|new|--manifest $work/alias-m/Jurano/m.txt|$inside_m"
  "link-medium|new|--report $work/link-m/evil.json|$inside_m"
  "spelled-medium|new|--report $work/Medium/../medium/r.json|$inside_m"
  "bind-kit|held|--manifest $work/alias-k/m.txt|$inside_k"
  "bind-kit-iso|held|--iso $work/alias-k/Jurano/k.iso|$inside_k"
  "stdout-twice|new|--report - --manifest /dev/stdout|$two: /dev/stdout"
  "stdout-fd|new|--manifest /proc/self/fd/1 --report -|$two: /proc/self/fd/1"
  "hard-link|new|--report $work/one --manifest $work/one-again|$two: $work/one-again"
)
for row in "${identity[@]}"; do
  IFS='|' read -r name dest outputs words <<<"$row"
  IFS=' ' read -r -a output_args <<<"$outputs"
  run_kit "identity-$name" "${run_args[@]}" --dest "$work/$dest" "${output_args[@]}"
  expect "$name: refused with exit 2" [ "$status" -eq 2 ]
  expect "$name: the reason is given ($words)" err_has "identity-$name" "$words"
done
expect "the outputs left no kit" no_kit new
expect "the medium is as it was" [ "$(kitcheck digest "$work/medium")" == "$medium_before" ]
expect "the held kit is as it was" [ "$(kitcheck digest "$work/held")" == "$held_before" ]
# On a disk that minds case, another folder spelled like the medium is not the medium.
run_kit other-case "${run_args[@]}" --dest "$work/kit-case" --report "$work/Medium/r.json"
expect "a folder spelled like the medium in another case takes the report" \
  [ "$status" -eq 0 -a -s "$work/Medium/r.json" ]

# The manifest on stdout by another name: --verify's differences go to stderr.
echo stray >"$work/held/stray.txt"
run_kit verify-stdout --verify "${run_args[@]}" --dest "$work/held" --manifest /dev/stdout
expect "verify, manifest on /dev/stdout: exit 1" [ "$status" -eq 1 ]
expect "the difference is on stderr" err_has verify-stdout "vostrel-kit: extra file: stray.txt"
expect "and not among the manifest's lines" not grep -q "extra file" "$work/verify-stdout.out"

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

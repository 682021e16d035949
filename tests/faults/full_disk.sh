#!/usr/bin/env bash
# A full disk: the kit is built on a small tmpfs. No file may stand under a
# final name unless it is complete and equal to the medium's; the run still
# ends with "Redistribution Complete" and exits 1 with the failures listed;
# once space is freed, --resume completes the kit. Then the same for a disk
# that runs out of inodes (folders and files cannot be created at all).
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

make_medium "$work/medium"
add_weight "$work/medium" 3 96
reference_kit "$work/medium" "$work/reference"
source_args=(--source "$work/medium/setup.exe")

# full_then_freed NAME MOUNT_OPTIONS ROOMY_OPTIONS ERROR_TEXT
full_then_freed() {
  local name=$1 tight=$2 roomy=$3 error_text=$4
  local disk=$work/$name
  try_mount "$disk" "$tight" || skip "cannot mount a tmpfs here (needs root and the right to mount)"
  local kit=$disk/kit

  run_kit "$name" "${source_args[@]}" --dest "$kit" "${selection[@]}"
  expect "$name: exit 1" [ "$status" -eq 1 ]
  expect "$name: the run still ends with Redistribution Complete" last_line_is_complete "$name"
  expect "$name: the failures are listed ($error_text)" err_has "$name" "$error_text"
  expect "$name: the summary counts the failures" err_has "$name" " failures"
  expect "$name: every file under a final name is complete" \
    kitcheck complete "$work/medium" "$kit" "$work/reference"
  expect "$name: the kit is indeed incomplete" not kitcheck same "$work/reference" "$kit"

  mount -o "remount,$roomy" tmpfs "$disk" || {
    fail "$name: cannot free space on the test disk"
    return
  }
  run_kit "$name-resume" "${source_args[@]}" --dest "$kit" "${selection[@]}" --resume
  expect "$name: --resume exits 0 once there is room" [ "$status" -eq 0 ]
  expect "$name: --resume ends with Redistribution Complete" last_line_is_complete "$name-resume"
  expect "$name: the resumed kit equals an uninterrupted one" \
    kitcheck same "$work/reference" "$kit"
  if [[ $status -ne 0 ]]; then
    cat "$work/$name-resume.err" >&2
  fi
}

# Room for the small files, not for all of the large ones.
full_then_freed full-disk "size=160k" "size=64m" "error 112 (disk full)"
# Room in bytes, but too few inodes for the kit's folders and files.
full_then_freed no-inodes "size=64m,nr_inodes=30" "nr_inodes=10000" "error 112 (disk full)"

finish

#!/usr/bin/env bash
# What cannot be read or written: unreadable source files and folders, a
# read-only destination, a destination (or a kit folder in it) that is a
# file, a medium whose "Talvor Imaging" is a file. Each run must end (no
# crash, no hang), list what failed and exit 1; a destination that cannot
# be made at all is a usage error (exit 2) with nothing written.
#
# We run as root, whom the kernel lets read and write whatever the mode bits
# say, so refusals come from an unprivileged user (setpriv) and from a tmpfs
# mounted read-only. Cases this machine cannot stage are reported as skipped.
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

make_medium "$work/medium"
reference_kit "$work/medium" "$work/reference"
medium=$work/medium
staged=0

# ended_with_failures NAME: the common outcome of a run that met a fault.
ended_with_failures() {
  local name=$1
  expect "$name: exit 1" [ "$status" -eq 1 ]
  expect "$name: the run ends with Redistribution Complete" last_line_is_complete "$name"
  expect "$name: no sanitizer report or crash" no_crash "$name"
}

if can_run_as_nobody; then
  staged=$((staged + 1))
  # Unreadable to others: a file the runtime walk meets, a single tool, and
  # a whole common driver folder.
  cp -a -- "$medium" "$work/locked"
  chmod 000 "$work/locked/Talvor Imaging/Vok/Dll/vokcore.ini" \
    "$work/locked/Talvor Imaging/Tools/vokdrv.exe" "$work/locked/Talvor Imaging/Drivers/DMA"
  mkdir "$work/nobody"
  chown 65534:65534 "$work/nobody"
  run_kit_as_nobody unreadable --source "$work/locked/setup.exe" --dest "$work/nobody/kit" \
    "${selection[@]}"
  ended_with_failures unreadable
  expect "unreadable: the unreadable file is listed" \
    err_has unreadable "Vok/dll/vokcore.ini -> $work/nobody/kit/Talvor Imaging/Vok/dll/vokcore.ini failed: error 5 (access denied)"
  expect "unreadable: the unreadable tool is listed" \
    err_has unreadable "vokdrv.exe failed: error 5 (access denied)"
  expect "unreadable: the unreadable folder is listed" \
    err_has unreadable "FindFirstFileA $work/locked/Talvor Imaging/Drivers/DMA failed: error 5 (access denied)"
  chmod 755 "$work/locked/Talvor Imaging/Drivers/DMA"
  chmod 444 "$work/locked/Talvor Imaging/Vok/Dll/vokcore.ini" "$work/locked/Talvor Imaging/Tools/vokdrv.exe"
  expect "unreadable: what was copied is complete" \
    kitcheck complete "$work/locked" "$work/nobody/kit" "$work/reference"
  expect "unreadable: the readable rest is there" \
    test -f "$work/nobody/kit/Talvor Imaging/Tools/vokbench.exe" -a \
    -f "$work/nobody/kit/Jurano/runtime/jurano.dll"

  # A destination the user may not write to.
  mkdir "$work/rootonly"
  run_kit_as_nobody denied --source "$medium/setup.exe" --dest "$work/rootonly" "${selection[@]}"
  ended_with_failures denied
  expect "denied: the refused writes are listed" err_has denied "failed: error 5 (access denied)"
  expect "denied: nothing was written" [ -z "$(ls -A "$work/rootonly")" ]
else
  note "SKIP unreadable source and unwritable destination: cannot run as an unprivileged user"
fi

if try_mount "$work/readonly" "ro,size=1m"; then
  staged=$((staged + 1))
  run_kit readonly --source "$medium/setup.exe" --dest "$work/readonly" "${selection[@]}"
  ended_with_failures readonly
  expect "readonly: the refused writes are listed" err_has readonly "failed: error 5 (access denied)"
  expect "readonly: the summary counts them" err_has readonly "0 files copied"
  run_kit readonly-new --source "$medium/setup.exe" --dest "$work/readonly/kit" "${selection[@]}"
  expect "readonly: a destination that cannot be made is a usage error" [ "$status" -eq 2 ]
  expect "readonly: ... and says why" err_has readonly-new "cannot create the destination"
else
  note "SKIP read-only destination: cannot mount a tmpfs here"
fi

# The destination itself is a file, or lies below one: nothing is written.
staged=$((staged + 1))
printf 'keep me\n' >"$work/plain-file"
run_kit dest-file --source "$medium/setup.exe" --dest "$work/plain-file" "${selection[@]}"
expect "dest-file: exit 2" [ "$status" -eq 2 ]
expect "dest-file: says the destination is a file" err_has dest-file "is a file, not a folder"
run_kit dest-below-file --source "$medium/setup.exe" --dest "$work/plain-file/kit" "${selection[@]}"
expect "dest-below-file: exit 2" [ "$status" -eq 2 ]
expect "dest-file: the file is untouched" [ "$(cat "$work/plain-file")" == "keep me" ]

# A kit folder of the destination is a file.
mkdir "$work/blocked"
printf 'not a folder\n' >"$work/blocked/Talvor Imaging"
run_kit kit-folder-file --source "$medium/setup.exe" --dest "$work/blocked" "${selection[@]}"
ended_with_failures kit-folder-file
expect "kit-folder-file: the failed copies into it are listed" \
  err_has kit-folder-file "Talvor Imaging/Tools/VOKConfig.exe failed: error 3 (folder not found)"
expect "kit-folder-file: the file is untouched" \
  [ "$(cat "$work/blocked/Talvor Imaging")" == "not a folder" ]
expect "kit-folder-file: the root files and the Jurano runtime are copied" \
  test -f "$work/blocked/setup.exe" -a -f "$work/blocked/Jurano/runtime/jurano.dll"

# A medium whose "Talvor Imaging" is a file.
mkdir "$work/flat"
cp -p -- "$medium"/*.* "$work/flat/"
cp -a -- "$medium/Jurano" "$work/flat/"
printf 'a file where the folder should be\n' >"$work/flat/Talvor Imaging"
run_kit medium-file --source "$work/flat/setup.exe" --dest "$work/flat-kit" "${selection[@]}"
ended_with_failures medium-file
expect "medium-file: the missing tools are listed" \
  err_has medium-file "VOKConfig.exe failed: error 3 (folder not found)"
expect "medium-file: what was copied is complete" \
  kitcheck complete "$work/flat" "$work/flat-kit" "$work/reference"

[[ $staged -gt 0 ]] || skip "no case could be staged here"
finish

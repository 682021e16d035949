#!/usr/bin/env bash
# Checks the sample medium that tools/make-sample-medium builds: the layout a
# kit run reads and the decoys it must leave out, the CD-like read-only files,
# the setup-type file, reproducible content, and refusal of a used folder.
set -euo pipefail
export LC_ALL=C

script=${1:?usage: check_sample_medium.sh PATH-TO-make-sample-medium}
work=$(mktemp -d)
trap 'chmod -R u+w -- "$work"; rm -rf -- "$work"' EXIT
work=$(cd -- "$work" && pwd -P)

errors=0
fail() {
  echo "FAIL: $*" >&2
  errors=$((errors + 1))
}

# manifest DIR: path, mode, time, size and checksum of every entry.
manifest() {
  (cd -- "$1" && find . -printf '%p %y %m %s\n' | sort && find . -type f -printf '%p %T@\n' | sort &&
    find . -type f -exec sha256sum {} + | sort)
}

out=$("$script" "$work/medium")
[[ "$out" == "$work/medium/setup.exe" ]] || fail "printed '$out', not the medium's setup.exe path"
m=$work/medium

ti='Talvor Imaging'
files=(
  setup.exe setup.ini data1.cab autorun.inf readme.txt
  "$ti/Tools/VOKConfig.exe" "$ti/Tools/vokdrv.exe" "$ti/Tools/BchResum.bch"
  "$ti/Tools/vokbench.exe" "$ti/Tools/vokdebug.exe" "$ti/Tools/Readme.txt"
  "$ti/Vok/Revision.txt" "$ti/Vok/SetupType.txt"
  "$ti/Drivers/Pellam/Pellam.cfg"
)
for board in pellam varnex tobrin kestov ardune sorvik lunnet wyndel calvex jurano juranox \
  nuvaro harrik; do
  files+=("$ti/Vok/Dll/vok$board.dll")
done
folders=(
  Extras "$ti/Vok/Include" "$ti/Quenzo/Samples" "$ti/Framory" "$ti/Drivers/PELUX"
  Jurano/docs
)
for f in "${files[@]}"; do
  [[ -f "$m/$f" ]] || fail "missing file $f"
done
for d in "${folders[@]}"; do
  [[ -d "$m/$d" && -n "$(ls -A "$m/$d")" ]] || fail "missing or empty folder $d"
done
# Folders a kit copies recursively each hold a nested folder with content.
for d in "$ti/Vok/Dll" "$ti/Quenzo/Controls" Jurano/runtime "$ti/Drivers/DMA" "$ti/Drivers/Host" \
  "$ti/Drivers/TalvorSerial" "$ti/Drivers/TalvorAux" "$ti/Drivers/win2000" "$ti/Drivers/PELUX"; do
  [[ -n "$(find "$m/$d" -mindepth 2 -type f)" ]] || fail "$d has no nested file"
done
# Utilities: files of its own, and a sub-folder the kit must leave out.
[[ -n "$(find "$m/$ti/Drivers/Utilities" -maxdepth 1 -type f)" ]] || fail "Utilities has no file"
[[ -n "$(find "$m/$ti/Drivers/Utilities" -mindepth 2 -type f)" ]] ||
  fail "Utilities has no sub-folder content"
# The runtime folder's case differs from the kit's "dll" on purpose.
[[ -d "$m/$ti/Vok/Dll" && ! -e "$m/$ti/Vok/dll" ]] || fail "runtime folder is not spelled Dll"
for board in Pellam Varnex Tobrin Kestov Ardune Sorvik Lunnet Wyndel Calvex Jurano Nuvaro Harrik; do
  b=$m/$ti/Drivers/$board
  [[ -n "$(find "$b" -maxdepth 1 -name '*.inf')" && -n "$(find "$b" -maxdepth 1 -name '*.sys')" ]] ||
    fail "board folder $board lacks .inf or .sys"
  [[ -n "$(find "$b" -mindepth 2 -type f)" ]] || fail "board folder $board has no nested file"
done
[[ -n "$(find "$m" -name '.*' -type f)" ]] || fail "no dotted file"
[[ -n "$(find "$m" -name '.*' -type d)" ]] || fail "no dotted folder"

# Read-only like a CD, but every folder stays writable for clean-up.
writable=$(find "$m" -type f -perm /222)
[[ -z "$writable" ]] || fail "writable files: $writable"
locked=$(find "$m" -type d ! -perm -200)
[[ -z "$locked" ]] || fail "folders not writable: $locked"

# Some files of a few KB of binary content.
big=0
while IFS= read -r f; do
  if [[ $(stat -c %s "$f") -ge 2048 ]] && LC_ALL=C grep -q '[^[:print:][:space:]]' "$f"; then
    big=$((big + 1))
  fi
done < <(find "$m" -type f)
[[ $big -ge 3 ]] || fail "only $big binary files of 2 KB or more"

# The setup-type file: CRLF throughout, comments, blank lines, both sections,
# and "Y" for every key a kit run rewrites.
st=$m/$ti/Vok/SetupType.txt
! grep -qv $'\r$' "$st" || fail "SetupType.txt has a line without CRLF"
plain=$(tr -d '\r' <"$st")
grep -q '^;' <<<"$plain" || fail "SetupType.txt has no comment line"
grep -q '^$' <<<"$plain" || fail "SetupType.txt has no blank line"
value() {  # value SECTION KEY
  awk -v s="[$1]" -v k="$2" '/^\[/ { in_s = ($0 == s) } in_s && index($0, k "=") == 1 {
    print substr($0, length(k) + 2) }' <<<"$plain"
}
for key in VokDevelopment QuenzoDevelopment QuenzoRuntime Framory KRT VokRuntime; do
  [[ "$(value PRODUCT "$key")" == Y ]] || fail "PRODUCT $key is not Y"
done
for key in VokDevelopment QuenzoRuntime Framory; do
  [[ "$(value SELECTED "$key")" == Y ]] || fail "SELECTED $key is not Y"
done

# Reproducible, also into a folder that exists but is empty.
mkdir "$work/again"
"$script" "$work/again" >/dev/null
[[ "$(manifest "$m")" == "$(manifest "$work/again")" ]] || fail "a second medium differs"

# A used folder or a file is refused, and left as it was.
before=$(manifest "$m")
if "$script" "$m" >/dev/null 2>"$work/err"; then
  fail "a non-empty folder was accepted"
fi
grep -q 'not empty' "$work/err" || fail "no clear message for a non-empty folder"
[[ "$(manifest "$m")" == "$before" ]] || fail "the refused run changed the medium"
touch "$work/file"
if "$script" "$work/file" >/dev/null 2>&1; then
  fail "a file was accepted as the folder"
fi
if "$script" >/dev/null 2>&1; then
  fail "no argument was accepted"
fi

if [[ $errors -ne 0 ]]; then
  echo "$errors check(s) failed" >&2
  exit 1
fi
echo "sample medium: all checks passed"

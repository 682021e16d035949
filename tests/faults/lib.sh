# shellcheck shell=bash
# Shared by the fault scripts; sourced as: source lib.sh KIT_BINARY REPO_ROOT
#
# Each script builds real media and kits in a private folder under /tmp,
# runs the real vostrel-kit on them (bounded by a timeout, so a hang fails
# rather than stalls), and exits 0 when every check held, 1 when one did not,
# and 77 (CTest's skip) when this machine cannot stage the fault at all.
set -uo pipefail

if [[ $# -lt 2 ]]; then
  echo "usage: $0 KIT_BINARY REPO_ROOT" >&2
  exit 2
fi
repo=$(realpath -- "$2")
faults_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
check_py=$faults_dir/kitcheck.py

failures=0
mounts=()
work=$(mktemp -d /tmp/vostrel-faults.XXXXXX)
# Others (the unprivileged user of some cases) must be able to reach in.
chmod 755 "$work"
# A private copy of the tool: a rebuild while the script runs cannot swap
# it, and the unprivileged user may run it wherever the build tree lies.
mkdir "$work/bin"
cp -- "$1" "$work/bin/vostrel-kit" || exit 1
chmod 755 "$work/bin" "$work/bin/vostrel-kit"
kit_binary=$work/bin/vostrel-kit

cleanup() {
  # A background subshell signalled before bash resets its traps runs this
  # trap as well: only the script's own shell may remove the work folder.
  [[ $BASHPID == "$$" ]] || return
  local mount
  for mount in "${mounts[@]}"; do
    umount -l -- "$mount" 2>/dev/null
  done
  chmod -R u+rwX -- "$work" 2>/dev/null
  rm -rf -- "$work"
}
trap cleanup EXIT

# The options every kit here is built with: packages, boards that copy and
# boards whose libraries are removed, Pellam.cfg removed by Ardune.
selection=(--quenzo --framory --board Pellam --board Ardune --board Jurano)

pass() { echo "ok: $*"; }
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
note() { echo "note: $*"; }

# expect WHAT COMMAND...: one check.
expect() {
  local what=$1
  shift
  if "$@"; then
    pass "$what"
  else
    fail "$what"
  fi
}

finish() {
  if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks held"
  exit 0
}

skip() {
  echo "SKIP: $*"
  exit 77
}

# run_kit NAME ARGS...: the tool as root, stdout and stderr kept as
# $work/NAME.out and $work/NAME.err; its exit status in $status.
run_kit() {
  local name=$1
  shift
  timeout 300 "$kit_binary" "$@" >"$work/$name.out" 2>"$work/$name.err"
  status=$?
  if [[ $status -eq 124 ]]; then
    fail "$name: the run did not end within 300 s"
  fi
}

# run_kit_as_nobody NAME ARGS...: the same as an unprivileged user, whom the
# kernel does refuse (root reads and writes whatever the mode bits say).
run_kit_as_nobody() {
  local name=$1
  shift
  setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    timeout 300 "$kit_binary" "$@" >"$work/$name.out" 2>"$work/$name.err"
  status=$?
  if [[ $status -eq 124 ]]; then
    fail "$name: the run did not end within 300 s"
  fi
}

# can_run_as_nobody: whether this machine lets us run the tool as nobody.
can_run_as_nobody() {
  command -v setpriv >/dev/null || return 1
  setpriv --reuid=65534 --regid=65534 --clear-groups -- "$kit_binary" --version >/dev/null 2>&1
}

# try_mount DIR OPTIONS: a tmpfs at DIR (created), unmounted at the end.
try_mount() {
  local dir=$1 options=$2
  mkdir -p -- "$dir"
  mount -t tmpfs -o "$options" tmpfs "$dir" 2>/dev/null || return 1
  mounts+=("$dir")
}

# make_medium DIR: the bundled sample medium.
make_medium() {
  bash "$repo/tools/make-sample-medium" "$1" >/dev/null || {
    echo "cannot build the sample medium" >&2
    exit 1
  }
}

# add_weight DIR COUNT KIB: COUNT larger libraries and drivers on the medium
# DIR, so that copies take long enough to be cut in the middle.
add_weight() {
  local dir=$1 count=$2 kib=$3 i
  for ((i = 1; i <= count; i++)); do
    head -c $((kib * 1024)) /dev/urandom >"$dir/Talvor Imaging/Vok/Dll/vokbulk$i.dll"
    head -c $((kib * 1024)) /dev/urandom >"$dir/Talvor Imaging/Drivers/DMA/bulk$i.sys"
  done
  chmod 444 "$dir/Talvor Imaging/Vok/Dll/"vokbulk*.dll "$dir/Talvor Imaging/Drivers/DMA/"bulk*.sys
}

# reference_kit MEDIUM DIR: the kit an uninterrupted run on a roomy disk builds.
reference_kit() {
  run_kit reference --source "$1/setup.exe" --dest "$2" "${selection[@]}"
  if [[ $status -ne 0 ]]; then
    cat "$work/reference.err" >&2
    echo "the reference kit could not be built" >&2
    exit 1
  fi
}

kitcheck() { python3 "$check_py" "$@"; }
# not COMMAND...: succeeds when the command fails (for expect).
not() { ! "$@" 2>/dev/null; }

last_line_is_complete() { [[ "$(tail -n 1 "$work/$1.out")" == "Redistribution Complete" ]]; }
err_has() { grep -qF -- "$2" "$work/$1.err"; }
no_crash() { ! grep -q 'Sanitizer\|runtime error' "$work/$1.err"; }

# writing_into PID DIR: whether the process holds a file in DIR open (an
# unnamed file shows there as well).
writing_into() { ls -l "/proc/$1/fd" 2>/dev/null | grep -qF -- "$2/"; }

# wait_for CONDITION...: polls every 10 ms, for up to 60 s, until the
# condition holds or the process $pid has ended.
wait_for() {
  local waited
  for ((waited = 0; waited < 6000; waited++)); do
    "$@" && return
    kill -0 "$pid" 2>/dev/null || return
    sleep 0.01
  done
}

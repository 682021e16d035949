#!/usr/bin/env bash
# A hostile medium: names holding '\' (with ".." between them), names of 255
# bytes, a path past 4,096 bytes, folders nested 500 deep, a folder link
# loop, links leading outside the medium, a pipe, names in Latin-1 that are
# not valid UTF-8. Nothing may be written outside the destination, the run
# must end, what was skipped must be listed, and the rest of the kit must be
# complete.
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

box=$work/box  # everything outside the kit that a stray write could reach
medium=$box/medium
mkdir -p "$box/a/b/c" "$box/outside"
make_medium "$medium"
reference_kit "$medium" "$work/reference"
printf 'SECRET-MARKER\n' >"$box/outside/secret.txt"
dll="$medium/Talvor Imaging/Vok/Dll"

# Names. A '\' would split the name into folders ("..\..\escape.dll") if it
# were ever taken as a path.
printf 'root\n' >"$medium/..\\..\\escape-root.txt"
mkdir "$dll/names"
for name in '..\..\..\..\escape.dll' 'a\b.dll' 'a..b.dll' 'x..' '...dll' \
  "$(printf 'n%.0s' {1..251}).dll" $'caf\xe9.dll' $'\xff\xfe.dll'; do
  printf '%s\n' "$name" >"$dll/names/$name"
done

# 500 folders deep.
deep=$dll/deep
mkdir "$deep"
(cd "$deep" && for _ in {1..500}; do mkdir d && cd d || exit 1; done && printf 'bottom\n' >bottom.dll)

# A path past 4,096 bytes: twenty names of 250 bytes.
long_name=$(printf 'L%.0s' {1..250})
mkdir "$dll/long"
(cd "$dll/long" && for _ in {1..20}; do mkdir "$long_name" && cd "$long_name" || exit 1; done &&
  printf 'far\n' >far.dll)

# Links: a loop, the folder itself, a folder and a file outside the medium,
# the folder that holds the medium, and one link that stays inside it.
mkdir "$dll/links"
ln -s .. "$dll/links/loop"
ln -s . "$dll/links/self"
ln -s "$box/outside" "$dll/links/outside"
ln -s "$box/outside/secret.txt" "$dll/links/secret.dll"
ln -s ../../../../.. "$dll/links/up"
ln -s ../vok.dll "$dll/links/inside.dll"
mkdir "$dll/dangling"
ln -s nowhere "$dll/dangling/dangling.dll"
mkdir "$dll/pipe"
mkfifo "$dll/pipe/pipe.dll"

before=$(kitcheck digest "$box" --exclude a/b/c/kit)
kit=$box/a/b/c/kit
run_kit hostile --source "$medium/setup.exe" --dest "$kit" "${selection[@]}"
after=$(kitcheck digest "$box" --exclude a/b/c/kit)

expect "the run ends, with exit 1" [ "$status" -eq 1 ]
expect "the run ends with Redistribution Complete" last_line_is_complete hostile
expect "nothing outside the kit was written or changed" [ "$before" == "$after" ]
expect "no sanitizer report or crash" no_crash hostile

expect "a root name holding '\\' is skipped and listed" \
  err_has hostile "escape-root.txt: the name holds a backslash"
expect "names holding '\\' in a folder are skipped and listed" \
  err_has hostile "escape.dll: the name holds a backslash"
expect "... every one of them" err_has hostile "a\\b.dll: the name holds a backslash"
expect "the link loop is listed" err_has hostile "links/loop: it leads back into a folder being copied"
expect "the link to its own folder is listed" \
  err_has hostile "links/self: it leads back into a folder being copied"
expect "a folder link outside the medium is listed" \
  err_has hostile "links/outside: it is a link that leads outside the medium"
expect "a file link outside the medium is listed" \
  err_has hostile "links/secret.dll: it is a link that leads outside the medium"
expect "a link to the folder holding the medium is listed" \
  err_has hostile "links/up: it is a link that leads outside the medium"
expect "the path past the limit is listed" err_has hostile "error 206 (name too long)"
expect "the pipe is refused and listed" err_has hostile "pipe.dll failed: error 5 (access denied)"
expect "the dangling link is listed" err_has hostile "dangling.dll failed: error 2 (file not found)"

kit_dll="$kit/Talvor Imaging/Vok/dll"
expect "what the kit holds is complete and equal to the medium" \
  kitcheck complete "$medium" "$kit" "$work/reference"
expect "nothing from outside the medium reached the kit" not grep -rqs SECRET-MARKER "$kit"
for name in 'a..b.dll' 'x..' "$(printf 'n%.0s' {1..251}).dll" $'caf\xe9.dll' $'\xff\xfe.dll'; do
  expect "the name $(printf '%q' "$name" | cut -c1-40) is copied as it is" test -f "$kit_dll/names/$name"
done
expect "a dotted name is left out, as every dotted name is" test ! -e "$kit_dll/names/...dll"
expect "a link inside the medium is copied" cmp -s "$kit_dll/links/inside.dll" "$dll/vok.dll"
expect "500 levels are copied" \
  test -f "$kit_dll/deep$(printf '/d%.0s' {1..500})/bottom.dll"
expect "the levels of the long path within the limit are copied" \
  test -d "$kit_dll/long/$long_name/$long_name/$long_name"
expect "the rest of the kit is there" \
  test -f "$kit/Jurano/runtime/jurano.dll" -a -f "$kit/Talvor Imaging/Drivers/PELUX/pelux.inf"

# Hard links. A kit made with `cp -al` shares every file with the medium, and
# a kit's setup-type file may be a link of a read-only file elsewhere: what
# the run resets, edits or removes it does to the kit's own names, and no
# other name of those files changes (bytes, mode, times).
shared=$work/shared
make_medium "$shared/medium"
printf 'sentinel\n' >"$shared/sentinel.txt"
chmod 444 "$shared/sentinel.txt"
cp -al -- "$shared/medium" "$shared/kit"
ln -f -- "$shared/sentinel.txt" "$shared/kit/Talvor Imaging/Vok/SetupType.txt"
facts() { kitcheck digest "$1" --exclude kit && find "$1" -path "$1/kit" -prune -o -printf '%P %m %T@\n' | sort; }
before=$(facts "$shared")
run_kit linked --source "$shared/medium/setup.exe" --dest "$shared/kit" --resume --board Pellam
expect "linked: the run ends; its check finds the extras a medium holds (exit 1)" [ "$status" -eq 1 ]
expect "linked: no file outside the kit changed" [ "$before" == "$(facts "$shared")" ]
run_kit linked-verify --verify --source "$shared/medium/setup.exe" --dest "$shared/kit" --board Pellam
expect "linked: --verify then judges the kit as usual (the same extras, exit 1)" [ "$status" -eq 1 ]

finish

#!/usr/bin/env bash
# Media as images. Kits built straight from ISO 9660 images of a medium
# (Joliet with Rock Ridge, Rock Ridge alone, plain ISO 9660) must equal the
# kit of the same medium as a folder, with read-only copies, in every mode.
# Then damaged and hostile images, one row each: the run ends with the exit
# status and the words the row expects, writes nothing outside the kit, and
# nothing at all when the image cannot be opened.
#   VOSTREL_IMAGE_CORPUS=DIR  also leaves small images, sound and damaged, in
#                             DIR: the fuzz target's corpus
# shellcheck source=tests/faults/lib.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/lib.sh" "$@"

command -v xorriso >/dev/null || skip "xorriso is not installed"
damage() { python3 "$faults_dir/isodamage.py" "$@"; }

# The sample medium, with a long name that only a long Joliet tree holds
# whole, a file the medium holds writable, and a missing folder (Framory).
# Its runtime folder is spelled "Dll", the kit's "dll".
medium=$work/medium
make_medium "$medium"
dll="$medium/Talvor Imaging/Vok/Dll"
long=vok-runtime-library-with-a-name-longer-than-the-sixty-four-characters-of-joliet.dll
printf 'long\n' >"$dll/$long"
printf 'writable\n' >"$dll/Writable.DLL"
chmod -R u+w "$medium/Talvor Imaging/Framory" && rm -rf "$medium/Talvor Imaging/Framory"

# image NAME TREE OPTIONS...: an image of TREE made with xorriso, no padding.
image() {
  local name=$1 tree=$2
  shift 2
  xorriso -as mkisofs -quiet -no-pad "$@" -o "$work/$name.iso" "$tree" >/dev/null 2>&1 ||
    { echo "xorriso cannot make $name.iso" >&2 && exit 1; }
}
image joliet "$medium" -J -joliet-long -R
image rock "$medium" -R
xorriso -outdev "$work/plain.iso" -padding 0 -rockridge off -joliet off -map "$medium" / \
  >/dev/null 2>&1 || { echo "xorriso cannot make plain.iso" >&2 && exit 1; }

# Only the setup-type file, which the run edits, may be writable in a kit.
writable_files() { find "$1" -type f -perm /222 ! -name SetupType.txt | grep -q .; }

run_kit folder --source "$medium/setup.exe" --dest "$work/kit-folder" "${selection[@]}"
folder_status=$status
for name in joliet rock; do
  run_kit "$name" --source "$work/$name.iso" --dest "$work/kit-$name" "${selection[@]}"
  expect "$name: the run ends as the folder's run does" [ "$status" -eq "$folder_status" ]
  expect "$name: the kit holds the folder's kit, name for name, byte for byte" \
    diff -r "$work/kit-folder" "$work/kit-$name"
  expect "$name: every copy is read-only" not writable_files "$work/kit-$name"
  expect "$name: no sanitizer report or crash" no_crash "$name"
done
expect "the long name is whole" test -f "$work/kit-joliet/Talvor Imaging/Vok/dll/$long"
run_kit plain --source "$work/plain.iso" --dest "$work/kit-plain" "${selection[@]}"
expect "plain: the run ends" [ "$status" -le 1 ]
expect "plain: ISO 9660 names, without ';1'" test -f "$work/kit-plain/SETUP.EXE"

# Every mode, with the Joliet image.
iso=$work/joliet.iso
run_kit dry --source "$iso" --dest "$work/kit-dry" --dry-run "${selection[@]}"
expect "--dry-run: ends with 0 and writes nothing" [ "$status" -eq 0 -a ! -e "$work/kit-dry" ]
expect "--dry-run: lists the copies out of the image" grep -qF "copy $iso/setup.exe -> " \
  "$work/dry.out"
run_kit report --source "$iso" --dest "$work/kit-report" --report "$work/report.json" "${selection[@]}"
expect "--report: names the image as the source" grep -qF "\"source\": \"$iso\"" "$work/report.json"
cp -a "$work/kit-joliet" "$work/kit-resumed"
chmod -R u+w "$work/kit-resumed/Talvor Imaging/Vok" && rm -rf "$work/kit-resumed/Talvor Imaging/Vok"
run_kit resume --source "$iso" --dest "$work/kit-resumed" --resume "${selection[@]}"
expect "--resume: completes the kit" diff -r "$work/kit-folder" "$work/kit-resumed"
run_kit verify --verify --source "$iso" --dest "$work/kit-joliet" --manifest "$work/kit.sha256" \
  "${selection[@]}"
expect "--verify: the kit matches the image" [ "$status" -eq 0 ]
expect "--manifest: sha256sum checks the kit" \
  bash -c "cd \"$work/kit-joliet\" && sha256sum --quiet -c \"$work/kit.sha256\""
chmod u+w "$work/kit-joliet/setup.ini" && printf 'changed\n' >>"$work/kit-joliet/setup.ini"
run_kit verify-changed --verify --source "$iso" --dest "$work/kit-joliet" "${selection[@]}"
expect "--verify: a changed copy differs from the image" [ "$status" -eq 1 ]
expect "--verify: ... and says which" grep -qx "content differs: setup.ini" "$work/verify-changed.out"
run_kit iso --source "$iso" --dest "$work/kit-iso" --iso "$work/kit.iso" "${selection[@]}"
run_kit kit-of-kit --source "$work/kit.iso" --dest "$work/kit-of-kit" "${selection[@]}"
expect "--iso: a kit of the kit's image is the kit again" diff -r "$work/kit-iso" "$work/kit-of-kit"

# Damaged and hostile images: damage | argument | exit status | what stderr says.
# A rename gives an entry's Joliet name another of as many characters: one
# its folder holds already, or one no Windows name can be.
size=$(stat -c %s "$iso")
box=$work/box
dll_in="Talvor Imaging/Vok/Dll"
cases=(
  "truncate|40000|2|it ends before its folder tree does"
  "truncate|20000|2|holds no ISO 9660 volume descriptor"
  "truncate|$((size * 9 / 10))|1|failed: error 1117 (I/O error)"
  "zero-descriptors||2|holds no ISO 9660 volume descriptor"
  "loop|Talvor Imaging/Vok|2|a folder in it contains itself"
  "loop|Talvor Imaging/Vok/Dll/Plugins|2|a folder in it contains itself"
  "past-end|Talvor Imaging/Tools/vokdrv.exe|1|vokdrv.exe failed: error 1117 (I/O error)"
  "past-end|Talvor Imaging/Quenzo|1|Quenzo: the folder cannot be read from the image"
  "huge-size|setup.ini|1|setup.ini failed: error 1117 (I/O error)"
  "huge-folder|Jurano/runtime|1|runtime: the folder cannot be read from the image"
  "text||2|holds no ISO 9660 volume descriptor"
  "rename|$dll_in/vokcalvex.dll=VOKPELLAM.DLL|1|image entry left out: $box/in/medium.iso/$dll_in/VOKPELLAM.DLL: another entry of its folder has the same name"
  "rename|$dll_in/vokkestov.dll=vokpellam.dll|1|image entry left out: $box/in/medium.iso/$dll_in/vokpellam.dll: another entry"
  "rename|$dll_in/voklunnet.dll=vok/unnet.dll|1|$dll_in/vok/unnet.dll: the name holds a slash"
  "rename|$dll_in/voknuvaro.dll=vok:nuvaro.dl|1|$dll_in/vok:nuvaro.dl: the name holds one of"
  "rename|$dll_in/voksorvik.dll=voksorvik.dl.|1|$dll_in/voksorvik.dl.: the name ends in a dot"
  "rename|$dll_in/voktobrin.dll=nul.tobrin.dl|1|$dll_in/nul.tobrin.dl: the name is that of a device"
)
for row in "${cases[@]}"; do
  IFS='|' read -r kind argument want words <<<"$row"
  label="$kind${argument:+ $argument}"
  rm -rf "$box" && mkdir -p "$box/in"
  if [[ $kind == text ]]; then
    printf 'not an image\n' >"$box/in/medium.iso"
  elif [[ $kind == rename ]]; then
    cp "$iso" "$box/in/medium.iso"
    damage rename "$box/in/medium.iso" "${argument%%=*}" "${argument#*=}"
  else
    cp "$iso" "$box/in/medium.iso"
    damage "$kind" "$box/in/medium.iso" ${argument:+"$argument"}
  fi
  before=$(kitcheck digest "$box")
  run_kit damaged --source "$box/in/medium.iso" --dest "$box/kit" "${selection[@]}"
  expect "$label: exit $want" [ "$status" -eq "$want" ]
  expect "$label: says \"$words\"" err_has damaged "$words"
  expect "$label: no sanitizer report or crash" no_crash damaged
  expect "$label: nothing written outside the kit" \
    [ "$before" == "$(kitcheck digest "$box" --exclude kit)" ]
  [[ $want -eq 2 ]] && expect "$label: nothing written at all" test ! -e "$box/kit"
  [[ $kind == rename ]] || continue
  expect "$label: the walk of the folder goes on" test -f "$box/kit/Talvor Imaging/Vok/dll/Writable.DLL"
  run_kit damaged-verify --verify --source "$box/in/medium.iso" --dest "$box/kit" "${selection[@]}"
  expect "$label: --verify ends with 1" [ "$status" -eq 1 ]
  expect "$label: --verify names it" grep -qF -- "${words#image entry left out: }" "$work/damaged-verify.out"
done

# The fuzz target's corpus: a small tree with mixed-case and long names and a
# link, as Joliet, Rock Ridge and plain images, sound and damaged.
if [[ -n ${VOSTREL_IMAGE_CORPUS:-} ]]; then
  tiny=$work/tiny
  mkdir -p "$tiny/Dll/Sub" "$tiny/Empty"
  printf 'a\n' >"$tiny/Dll/MixedCase.TXT"
  printf 'b\n' >"$tiny/Dll/Sub/$long"
  printf 'c\n' >"$tiny/setup.exe"
  ln -s Dll "$tiny/link"
  image tiny-joliet "$tiny" -J -joliet-long -R
  image tiny-rock "$tiny" -R
  cp "$work/tiny-joliet.iso" "$work/tiny-loop.iso" && damage loop "$work/tiny-loop.iso" Dll/Sub
  cp "$work/tiny-joliet.iso" "$work/tiny-past-end.iso" &&
    damage past-end "$work/tiny-past-end.iso" Dll/MixedCase.TXT
  cp "$work/tiny-rock.iso" "$work/tiny-huge.iso" && damage huge-folder "$work/tiny-huge.iso" Dll
  for name in joliet rock loop past-end huge; do
    cp "$work/tiny-$name.iso" "$VOSTREL_IMAGE_CORPUS/$name"
  done
fi

finish

#!/usr/bin/env bash
# ppihost on a person's own files, through scripts/ppihost as a user at a
# shell runs it, in a fresh folder in the home folder (outside /tmp and the
# checkout): files in the formats people have, made now by ImageMagick from
# its rose photograph, and the bad ones they meet. A batch of the good ones
# and one of the bad ones, then single runs: every good file is written, as
# the filter's tint of its decoded pixels (tinted_files_check) and the same
# as its single run; every bad one gives its one line; the inputs stay byte
# for byte and nothing else is written.
#   own_files_test.sh PLUGIN CHECKER EMULATOR... [--few-single-runs]
# --few-single-runs: the entries marked "few" alone run singly (emulated).
set -uo pipefail
few=
if [ "${*: -1}" = --few-single-runs ]; then few=1; set -- "${@:1:$#-1}"; fi
plugin=$1 checker=$2
shift 2
emulator=("$@")
launcher=$(cd "$(dirname "$0")/../.." && pwd)/scripts/ppihost
colour=8040C0 size=140x92

# Name | ImageMagick's options and output format | run singly when few.
# In the order ppihost takes them from a folder.
good=(
    "alpha.png|-alpha set -channel A -fx 0.25+0.75*i/w +channel|"
    "cmyk.jpg|-colorspace CMYK|"
    "grey16.png|-colorspace Gray -depth 16|"
    "holiday photo.JPG||few"
    "palette.gif|-colors 48|"
    "photo.jpg|-quality 92|"
    "plain.bmp|BMP3:|"
    "progressive.jpg|-interlace JPEG|"
    "scan 2.TIFF|-compress Zip|"
    "scan.tif|-compress LZW|"
)
# Name | what ppihost says of it (a pattern) | "skipped" where a batch
# names it in its skipped line instead | run singly when few.
bad=(
    "cut.jpg|the JPEG data is damaged or cut short: * \(0x????????\)||"
    "empty.png|the file is empty||"
    "huge.png|30000x30000 is too large: it needs 6.7 GiB \(two copies at 4 bytes a pixel\)*||"
    "layers.psd|a PSD image, and this system has no decoder for PSD|skipped|"
    "notes.png|not an image in a format this system can read||"
    "photo.webp|a WebP image, and this system has no decoder for WebP|skipped|few"
    "readme.txt|not an image in a format this system can read|skipped|"
)
output_name() {
    case $1 in *.png | *.bmp) echo "$1" ;; *) echo "${1%.*}.png" ;; esac
}

home=${HOME:-}
[ -n "$home" ] && [ -w "$home" ] || home=/var/tmp
dir=$(mktemp -d "$home/.qvhuetint-own-files.XXXXXX") || exit 1
errors=$(mktemp)
trap 'rm -rf "$dir" "$errors"' EXIT
mkdir "$dir/scans" "$dir/bad" "$dir/tinted" "$dir/rejected" "$dir/single" "$dir/work"

for entry in "${good[@]}"; do
    IFS='|' read -r name options _ <<<"$entry"
    format=
    [[ $options == *: ]] && format=$options options=
    read -ra options <<<"$options"
    convert rose: -resize 200% "${options[@]}" "$format$dir/scans/$name" || exit 1
done
make_bad() {
    case $1 in
        cut.jpg) head -c "$(($(stat -c %s "$dir/scans/photo.jpg") / 2))" "$dir/scans/photo.jpg" ;;
        empty.png) ;;
        # ImageMagick's policy here stops at 16K pixels a side.
        huge.png) python3 - <<'EOF'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
side = 30000
packer = zlib.compressobj(9)
rows = b''.join(packer.compress(bytes(1 + side // 8)) for _ in range(side)) + packer.flush()
sys.stdout.buffer.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', side, side, 1, 0, 0, 0, 0)) +
                        chunk(b'IDAT', rows) + chunk(b'IEND', b''))
EOF
            ;;
        *.png | *.txt) echo "a note, not a picture" ;;
        *) convert rose: "${1##*.}:-" ;;
    esac >"$dir/bad/$1"
}
for entry in "${bad[@]}"; do
    make_bad "${entry%%|*}" || exit 1
done
inputs=$(cd "$dir" && sha256sum scans/* bad/*)

runs=0 failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# The launcher from folder: exit code, stdout and stderr in rc, out, err.
launch() {
    local folder=$1
    shift
    out=$(cd "$folder" && "$launcher" "$@" 2>"$errors")
    rc=$?
    err=$(<"$errors")
    [ "$rc" = 77 ] && { echo "SKIPPED: $(tail -n1 "$errors")"; exit 77; }
    runs=$((runs + 1))
}
# The lines of text but the progress bar's, against the patterns given.
expect_lines() {
    local what=$1 text=$2 line i=0
    shift 2
    local patterns=("$@") lines=()
    while IFS= read -r line; do
        [[ -z $line || $line == *"] "*" 100%" || $line == "Colorize"*" 100%" ]] || lines+=("$line")
    done <<<"$text"
    for ((i = 0; i < ${#patterns[@]} || i < ${#lines[@]}; i++)); do
        # shellcheck disable=SC2053 # the expected lines are patterns
        if [[ ${lines[$i]-(none)} != ${patterns[$i]-(none)} ]]; then
            fail "$what: line $((i + 1)) is '${lines[$i]-(none)}', expected '${patterns[$i]-(none)}'"
            return
        fi
    done
}
escape() { printf '%s' "$1" | sed 's/[][*?\\()]/\\&/g'; }

# The good files into a folder named by its full path, from a folder
# beside them.
launch "$dir/work" run "$plugin" 1 ../scans "$dir/tinted/" --draw-color "$colour"
[ "$rc" = 0 ] || fail "batch of the good files: exit code $rc"
wrote=()
for entry in "${good[@]}"; do
    IFS='|' read -r name _ <<<"$entry"
    wrote+=("$(escape "wrote $dir/tinted/$(output_name "$name") ($size, filter 1, rectangle 0,0,${size/x/,})")")
done
expect_lines "batch of the good files, stdout" "$out" "${wrote[@]}"
expect_lines "batch of the good files, stderr" "$err"

launch "$dir" run "$plugin" 1 "$dir/bad" rejected/ --draw-color "$colour"
[ "$rc" = 1 ] || fail "batch of the bad files: exit code $rc"
skipped=() lines=()
for entry in "${bad[@]}"; do
    IFS='|' read -r name said batch _ <<<"$entry"
    [ "$batch" = skipped ] && skipped+=("$name") || lines+=("$name|$said")
done
report=("$(escape "ppihost: skipped: ${#skipped[@]} files that no decoder reads: $(printf '%s, ' "${skipped[@]}" | sed 's/, $//')")")
for i in "${!lines[@]}"; do
    report+=("$(escape "ppihost: [$((i + 1))/${#lines[@]}] cannot read image '$dir/bad/${lines[$i]%%|*}': ")${lines[$i]#*|}")
done
report+=("ppihost: ${#lines[@]} of ${#lines[@]} files not written")
expect_lines "batch of the bad files, stdout" "$out"
expect_lines "batch of the bad files, stderr" "$err" "${report[@]}"

# Singly, by paths relative to the current folder.
pairs=()
for entry in "${good[@]}"; do
    IFS='|' read -r name _ mark <<<"$entry"
    output=$(output_name "$name")
    pairs+=("$dir/scans/$name" "$dir/tinted/$output")
    [ -z "$few" ] || [ "$mark" = few ] || continue
    launch "$dir" run "$plugin" 1 "scans/$name" "single/$output" --draw-color "$colour"
    [ "$rc" = 0 ] || fail "$name alone: exit code $rc"
    expect_lines "$name alone, stdout" "$out" "$(escape "wrote single/$output ($size, filter 1, rectangle 0,0,${size/x/,})")"
    cmp -s "$dir/single/$output" "$dir/tinted/$output" || fail "$name alone: not the batch's $output"
done
for entry in "${bad[@]}"; do
    IFS='|' read -r name said _ mark <<<"$entry"
    [ -z "$few" ] || [ "$mark" = few ] || continue
    launch "$dir" run "$plugin" 1 "bad/$name" "single/$name.png" --draw-color "$colour"
    [ "$rc" = 1 ] || fail "$name alone: exit code $rc"
    expect_lines "$name alone, stderr" "$err" "$(escape "ppihost: cannot read image 'bad/$name': ")$said"
done

# The tints, against the formula over the pixels as this system decodes them.
runs=$((runs + 1))
if ! verdict=$("${emulator[@]}" "$checker" "$colour" "${pairs[@]}" 2>&1); then
    fail "tinted_files_check:"$'\n'"$verdict"
fi
[ "$(cd "$dir" && sha256sum scans/* bad/*)" = "$inputs" ] || fail "an input changed"
expected=$(
    cd "$dir" || exit
    find scans bad work rejected tinted single -maxdepth 0
    find scans bad -type f
    for entry in "${good[@]}"; do
        IFS='|' read -r name _ mark <<<"$entry"
        echo "tinted/$(output_name "$name")"
        [ -z "$few" ] || [ "$mark" = few ] && echo "single/$(output_name "$name")"
    done
)
found=$(cd "$dir" && find . -mindepth 1 | sed 's|^\./||' | sort)
[ "$found" = "$(sort <<<"$expected")" ] ||
    fail "the folder holds other files than the inputs and outputs (<: written, >: missing):"$'\n'"$(diff <(echo "$found") <(sort <<<"$expected") | grep '^[<>]')"

echo "$runs runs of ppihost and the checker; $failures things wrong"
[ "$failures" = 0 ]

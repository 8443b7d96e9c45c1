#!/usr/bin/env bash
# The release zip, checked as a user gets it.
#   check_release.sh BUILD_DIR          contents, readmes, the same bytes twice
#   check_release.sh BUILD_DIR --run    both filters of the unpacked plug-in
#                                       through the 32-bit ppihost (77: skipped)
set -uo pipefail
build=$(cd "${1:?usage: check_release.sh BUILD_DIR [--run]}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
ppi=$build/bin/qvhuetint.ppi
work=$(mktemp -d -p "$build")
trap 'rm -rf "$work"' EXIT
failures=0
ok() { echo "  ok: $*"; }
fail() { echo "  FAILED: $*"; failures=$((failures + 1)); }

zip=$(python3 "$root/release/make_release.py" "$ppi" "$work/a") || exit 1
mkdir "$work/unpacked" && (cd "$work/unpacked" && unzip -q "$zip") || exit 1
plugin=$work/unpacked/qvhuetint.ppi

if [ "${2:-}" = --run ]; then
    winpath() { printf 'Z:%s' "${1//\//\\}"; }
    host() { "$root/scripts/winetree" wine32 "$build/bin/ppihost.exe" "$@"; }
    host chart "$(winpath "$work/chart.png")"
    status=$?
    ((status == 77)) && exit 77
    ((status == 0)) || { echo "FAILED: ppihost chart exited $status"; exit 1; }
    printf '[HueTint]\r\nx=150\r\ny=200\r\npreview=1\r\n' >"$work/unpacked/qvfilters.ini"
    for index in 0 1; do
        if host run "$(winpath "$plugin")" $index "$(winpath "$work/chart.png")" "$(winpath "$work/out$index.png")" \
            --draw-color 2060C0 2>/dev/null && [ -s "$work/out$index.png" ] && ! cmp -s "$work/chart.png" "$work/out$index.png"; then
            ok "filter $index ran through the 32-bit ppihost"
        else
            fail "filter $index did not run through the 32-bit ppihost"
        fi
    done
    exit $((failures > 0))
fi

echo "checking $zip"
version=$(sed -n 's/#define QV_VERSION_TEXT "\(.*\)"/\1/p' "$root/resources/version.h")
[ "$(basename "$zip")" = "qvhuetint-$version.zip" ] && ok "named after version $version" || fail "named $(basename "$zip")"
names=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
[ "$names" = "qvhuetint.ppi readme.txt readme_en.txt" ] && ok "entries: $names" || fail "entries: $names"
cmp -s "$plugin" "$ppi" && ok "the .ppi is the built one" || fail "the .ppi differs from $ppi"
(cd "$work/a" && sha256sum -c --quiet "$(basename "$zip").sha256") && ok "SHA-256 file matches" || fail "SHA-256 file"
for readme in readme.txt readme_en.txt; do
    f=$work/unpacked/$readme
    [ "$(head -c3 "$f" | od -An -tx1 | tr -d ' ')" = efbbbf ] && ok "$readme starts with a BOM" || fail "$readme has no BOM"
    lf=$(tr -cd '\n' <"$f" | wc -c)
    crlf=$(grep -c $'\r$' "$f")
    ((lf > 0 && lf == crlf)) && ok "$readme: $lf lines, all CRLF" || fail "$readme: $lf line ends, $crlf CRLF"
    grep -q "$version" "$f" && ok "$readme names $version" || fail "$readme lacks $version"
    grep -q "Copyright (C)" "$f" && ok "$readme has the copyright line" || fail "$readme lacks the copyright line"
done
# Another time, another time zone, another folder: the same bytes.
sleep 1
zip2=$(TZ=Asia/Tokyo python3 "$root/release/make_release.py" "$ppi" "$work/b")
cmp -s "$zip" "$zip2" && ok "made again: the same bytes" || fail "made again: the zip differs"
exit $((failures > 0))

#!/bin/bash
# Makes the Debian package of the build tree and checks it the way Debian's
# tools and a software centre would: lintian (pedantic) reports no error and
# no warning; the installed desktop entry and AppStream metadata validate;
# the manual page renders without a warning; the program's binary is
# hardened and carries no .comment section.
#
#   package_test.sh BUILD_DIR VERSION
set -u

build_dir=$1
version=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }

if ! cpack -G DEB -B "$scratch/out" --config "$build_dir/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack"
    exit 1
fi
deb=$(find "$scratch/out" -maxdepth 1 -name "vantrel-credits_${version}_*.deb" | head -n 1)
if [ -z "$deb" ]; then
    fail "no vantrel-credits_${version}_*.deb made"
    exit 1
fi

# ---- lintian: every tag is listed, errors and warnings fail.
lintian --pedantic --display-info --display-experimental --tag-display-limit 0 "$deb" \
    >"$scratch/lintian.txt" 2>"$scratch/lintian.err"
status=$?
sed 's/^/lintian: /' "$scratch/lintian.txt"
# A failing status with no tag listed: lintian itself failed.
if [ "$status" -ne 0 ] && ! grep -q '^[A-Z]: ' "$scratch/lintian.txt"; then
    grep -v 'root privileges' "$scratch/lintian.err" >&2
    fail "lintian did not run (status $status)"
fi
check "lintian reports no error and no warning" test -z "$(grep -E '^[EW]: ' "$scratch/lintian.txt")"

# ---- what the package installs
root=$scratch/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr

desktop=$usr/share/applications/vantrel-credits.desktop
check "desktop entry validates" desktop-file-validate "$desktop"

metainfo=$(find "$usr/share/metainfo" -name '*.metainfo.xml' 2>/dev/null)
check "one AppStream metainfo file" test "$(wc -w <<<"$metainfo")" -eq 1
if [ -n "$metainfo" ]; then
    if ! appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/appstream.txt" 2>&1; then
        cat "$scratch/appstream.txt" >&2
        fail "appstreamcli validate --no-net --pedantic"
    fi
    id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
    check "metainfo is named after its id ($id)" test "$(basename "$metainfo")" = "$id.metainfo.xml"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    check "metainfo launches the installed desktop entry" test "$usr/share/applications/$launchable" = "$desktop"
    check "metainfo names the release $version" grep -q "<release version=\"$version\"" "$metainfo"
    check "metainfo has a content rating" grep -q '<content_rating type="oars-' "$metainfo"
    check "metainfo has a screenshot" grep -q '<screenshot type="default">' "$metainfo"
fi
for n in 64 128 256; do
    check "a $n px icon for software centres" test -f "$usr/share/icons/hicolor/${n}x${n}/apps/vantrel-credits.png"
done

page=$usr/share/man/man6/vantrel-credits.6.gz
rendered=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>"$scratch/man.err")
check "manual page renders without a warning" test ! -s "$scratch/man.err"
cat "$scratch/man.err" >&2
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS"; do
    check "manual page has $section" grep -q "^$section" <<<"$rendered"
done
check "manual page says where the track lies" grep -q "/usr/lib/vantrel-credits/Until The Dub.mp3" <<<"$rendered"

binary=$usr/lib/vantrel-credits/vantrel-credits
check "binary has no .comment section" test -z "$(readelf -S -W "$binary" | grep -F ' .comment ')"
check "binary is position-independent" grep -q 'Type: *DYN' <<<"$(readelf -h "$binary")"
check "binary binds now" grep -q 'FLAGS.*BIND_NOW' <<<"$(readelf -d "$binary")"
check "binary has read-only relocations" grep -q 'GNU_RELRO' <<<"$(readelf -l -W "$binary")"
check "binary uses fortified calls" grep -q '__[a-z_]*_chk' <<<"$(readelf --dyn-syms -W "$binary")"
check "binary has a stack protector" grep -q '__stack_chk_fail' <<<"$(readelf --dyn-syms -W "$binary")"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package: lintian clean of errors and warnings, metadata valid, manual page renders, binary hardened"

#!/bin/bash
# Installs the built tree into a scratch root, checks the layout a desktop
# and the Debian package rely on, then runs the installed program through its
# bin symlink, headless, and ends it with SIGTERM.
#
#   install_test.sh BUILD_DIR SOURCE_DIR
set -u

build_dir=$1
source_dir=$2

scratch=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }

root=$scratch/root
prefix=$root/usr
private=$prefix/lib/vantrel-credits

if ! cmake --install "$build_dir" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log" >&2
    fail "cmake --install"
    exit 1
fi

# ---- layout

check "program is a real executable in lib/vantrel-credits" \
    test -f "$private/vantrel-credits" -a ! -L "$private/vantrel-credits" -a -x "$private/vantrel-credits"
check "track lies beside the program, as shipped" \
    cmp -s "$source_dir/assets/Until The Dub.mp3" "$private/Until The Dub.mp3"
check "bin symlink is relative, so it survives any prefix" \
    test "$(readlink "$prefix/bin/vantrel-credits")" = "../lib/vantrel-credits/vantrel-credits"
check "bin symlink resolves to the program" \
    test "$(readlink -f "$prefix/bin/vantrel-credits")" = "$(readlink -f "$private/vantrel-credits")"

desktop=$prefix/share/applications/vantrel-credits.desktop
for line in "[Desktop Entry]" "Type=Application" "Name=Vantrel Credits" "Exec=vantrel-credits" \
            "Icon=vantrel-credits" "Terminal=false"; do
    check "desktop entry has '$line'" grep -qxF "$line" "$desktop"
done
check "desktop entry has categories" grep -q '^Categories=..*;$' "$desktop"
check "desktop entry validates" desktop-file-validate "$desktop"

# Unsigned bytes of a file, from offset $2, count $3, as one line.
bytes() { od -An -v -tu1 -j "$2" -N "$3" "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

for n in 16 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${n}x${n}/apps/vantrel-credits.png
    # Signature, then IHDR's width and height (big-endian, below 65536 here).
    side="0 0 $((n / 256)) $((n % 256))"
    check "$n px icon is a PNG" test "$(bytes "$png" 0 8)" = "137 80 78 71 13 10 26 10"
    check "$n px icon is $n x $n" test "$(bytes "$png" 16 8)" = "$side $side"
done

ico=$prefix/share/vantrel-credits/vantrel-credits.ico
check "ico header: an icon file of 16 images" test "$(bytes "$ico" 0 6)" = "0 0 1 0 16 0"
ico_size=$(stat -c %s "$ico")
images=
for i in $(seq 0 15); do
    read -r w h _ _ _ _ bpp _ s0 s1 s2 s3 o0 o1 o2 o3 <<<"$(bytes "$ico" $((6 + 16 * i)) 16)"
    end=$(((o0 + 256 * (o1 + 256 * (o2 + 256 * o3))) + (s0 + 256 * (s1 + 256 * (s2 + 256 * s3)))))
    check "ico image $i lies inside the file" test "$end" -le "$ico_size"
    images="$images ${w}x${h}x$bpp"
done
check "ico holds 48, 32, 24 and 16 px at 4, 8, 24 and 32 bpp (got$images)" test "$(tr ' ' '\n' <<<"$images" | sort)" \
    = "$(printf '%s\n' "" {48x48,32x32,24x24,16x16}x{4,8,24,32} | sort)"

# ---- run

# Everything the program may touch outside the root goes to scratch places;
# the root and the working directory must stay exactly as installed.
mkdir -p "$scratch/home" "$scratch/cwd" "$scratch/runtime"
chmod 700 "$scratch/runtime"
snapshot() { find "$root" -printf '%y %m %s %T@ %p\n' | sort; }
before=$(snapshot)

(cd "$scratch/cwd" && exec env HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" \
    XDG_CONFIG_HOME="$scratch/home/.config" XDG_CACHE_HOME="$scratch/home/.cache" \
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    "$prefix/bin/vantrel-credits" >"$scratch/stdout" 2>"$scratch/stderr") &
pid=$!

# Started means: still running, and holding the installed track open, which
# it found beside its real binary although started through the symlink.
track=$(readlink -f "$private/Until The Dub.mp3")
started=
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    for fd in /proc/"$pid"/fd/*; do
        if [ "$(readlink "$fd" 2>/dev/null)" = "$track" ]; then started=yes; break 2; fi
    done
    sleep 0.1
done
if [ -n "$started" ]; then
    sleep 1  # let it run a little beyond opening the track
    check "program still running after start" kill -0 "$pid"
else
    fail "program never opened its installed track"
fi

if kill -TERM "$pid" 2>/dev/null; then
    # Bounded wait: a program that ignores SIGTERM is killed and fails here.
    if ! timeout 10 tail --pid="$pid" -f /dev/null; then
        kill -KILL "$pid" 2>/dev/null
        fail "program did not end within 10 s of SIGTERM"
    fi
fi
wait "$pid"
status=$?
pid=
check "program exits with status 0 on SIGTERM (got $status)" test "$status" -eq 0

check "program wrote nothing into the install root" test "$(snapshot)" = "$before"
check "program wrote nothing into its working directory" \
    test -z "$(find "$scratch/cwd" -mindepth 1 -print -quit)"

if [ "$failures" -ne 0 ]; then
    echo "--- program stdout" >&2; cat "$scratch/stdout" >&2
    echo "--- program stderr" >&2; cat "$scratch/stderr" >&2
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install layout and installed run: all checks passed"

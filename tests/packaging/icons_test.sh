#!/bin/bash
# The committed icons are exactly what tools/make_icons.py draws: an edit to
# either side without the other fails here.
#
#   icons_test.sh SOURCE_DIR [PYTHON]
set -u
source_dir=$1
python=${2:-python3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$python" "$source_dir/tools/make_icons.py" "$out" || { echo "FAIL: make_icons.py" >&2; exit 1; }
status=0
for f in vantrel-credits-{16,24,32,48,64,128,256}.png vantrel-credits.ico; do
    if ! cmp -s "$out/$f" "$source_dir/assets/icons/$f"; then
        echo "FAIL: assets/icons/$f differs from what tools/make_icons.py draws" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "committed icons match tools/make_icons.py"
exit "$status"

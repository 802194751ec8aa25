#!/bin/sh
# Records a simulated Velta road with dockhost, draws it as SVG and as a page,
# and opens both in headless Chromium: the SVG must parse, the page must draw
# the diagram, and a click on a message must show its content (the page's own
# "#selftest" hook clicks and reports on <body data-selftest>). Leaves the
# recording, the drawings and a screenshot in OUTDIR.
#
#   draw-in-browser.sh DOCKHOST [OUTDIR]
#
# Until dockhost records roads, the sample recording beside this script is drawn.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 DOCKHOST [OUTDIR]" >&2
    exit 2
fi
dockhost=$1
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-chromium}
command -v "$chromium" >/dev/null || { echo "$0: no $chromium (Debian package chromium)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
out=${2:-$work/out}
mkdir -p "$out"
out=$(cd "$out" && pwd)  # file:// addresses need it absolute

fail() {
    echo "$0: $*" >&2
    if [ -s "$work/chromium.log" ]; then
        # Without a session bus Chromium complains at every start; that is no news.
        echo "--- chromium's output, last lines:" >&2
        grep -v 'dbus/' "$work/chromium.log" | tail -n 20 >&2
    fi
    exit 1
}

# Each run gets a fresh profile; without the networking switches Chromium
# reaches out at start, and this machine refuses that.
browse() {
    url=$1
    shift
    profile=$(mktemp -d "$work/profile.XXXXXX")
    timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$profile" "$@" "$url" 2>>"$work/chromium.log"
}

recording=$out/road.jsonl
rm -f "$recording"
if "$dockhost" road --help 2>/dev/null | grep -q -- --record; then
    "$dockhost" road --dock Velta --simulate --record "$recording" >"$work/road.log" 2>&1 ||
        { cat "$work/road.log" >&2; fail "the simulated Velta road failed"; }
    [ -s "$recording" ] || fail "dockhost road --record wrote nothing"
    echo "recorded a simulated Velta road: $(($(wc -l <"$recording") - 1)) events"
else
    cp "$here/sample-road.jsonl" "$recording"
    echo "dockhost does not record roads yet: drawing $here/sample-road.jsonl"
fi

"$dockhost" draw "$recording" -o "$out/road.svg" || fail "dockhost draw failed"
"$dockhost" draw "$recording" --html -o "$out/road.html" || fail "dockhost draw --html failed"
messages=$(grep -c '<g class="msg' "$out/road.svg" || true)
[ "$messages" -gt 0 ] || fail "road.svg draws no message"

if command -v xmllint >/dev/null; then
    xmllint --noout "$out/road.svg" || fail "road.svg is no well-formed XML"
fi
browse "file://$out/road.svg" --dump-dom >"$work/svg-dom.html" || fail "chromium could not open road.svg"
grep -q '<svg' "$work/svg-dom.html" || fail "chromium shows no SVG for road.svg"
if grep -q 'parsererror' "$work/svg-dom.html"; then
    fail "chromium could not parse road.svg"
fi

browse "file://$out/road.html#selftest" --virtual-time-budget=5000 --dump-dom >"$work/page-dom.html" ||
    fail "chromium could not open road.html"
result=$(sed -n 's/.*data-selftest="\([^"]*\)".*/\1/p' "$work/page-dom.html" | head -n 1)
[ -n "$result" ] || fail "road.html did not run its self-test"
echo "road.html: $result"
noun=messages
[ "$messages" -ne 1 ] || noun=message
case $result in
    "ok: msg-0 shown, $messages $noun") ;;
    *) fail "road.html: expected a click to show msg-0 of $messages messages" ;;
esac

browse "file://$out/road.html#selftest" --virtual-time-budget=5000 --window-size=1400,1000 \
    --screenshot="$out/road.png" >/dev/null || fail "chromium took no screenshot"
# A blank page of that size compresses to a few KiB; a drawn one is far larger.
size=$(wc -c <"$out/road.png" 2>/dev/null || echo 0)
[ "$size" -gt 30000 ] || fail "road.png is $size bytes: the page looks blank"
[ "$(head -c 4 "$out/road.png" | tail -c 3)" = PNG ] || fail "road.png is no PNG"
echo "screenshot of the page: $out/road.png ($size bytes)"

# The whole diagram at its own size, for reading it without a page.
width=$(sed -n 's/^<svg [^>]*width="\([0-9]*\)".*/\1/p' "$out/road.svg")
height=$(sed -n 's/^<svg [^>]*height="\([0-9]*\)".*/\1/p' "$out/road.svg")
[ "$height" -le 16000 ] || height=16000
browse "file://$out/road.svg" --window-size="$width,$height" --screenshot="$out/road-svg.png" >/dev/null ||
    fail "chromium took no screenshot of road.svg"
echo "screenshot of the diagram: $out/road-svg.png"

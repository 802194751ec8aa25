#!/usr/bin/env bash
# Line and branch coverage of the libraries from an instrumented build's
# counts: an HTML report beside them and a table per library on stdout.
# Branches that only an exception takes are left out; so are the tests.
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
out=$build/coverage
mkdir -p "$out"
gcovr --root "$root" --object-directory "$build" -j 2 \
  --filter "$root/common/lib/[^/]+/(src|include)/" \
  --exclude-throw-branches --exclude-unreachable-branches \
  --gcov-ignore-parse-errors \
  --html-details "$out/index.html" --json-summary "$out/summary.json" \
  --print-summary >"$out/total.txt"
python3 - "$out/summary.json" <<'PY'
import json, re, sys
files = json.load(open(sys.argv[1]))["files"]
libraries = {}
for f in files:
    name = re.match(r"common/lib/([^/]+)/", f["filename"]).group(1)
    total = libraries.setdefault(name, [0, 0, 0, 0])
    total[0] += f["line_covered"]; total[1] += f["line_total"]
    total[2] += f["branch_covered"]; total[3] += f["branch_total"]
def percent(covered, total):
    return f"{100.0 * covered / total:5.1f}%" if total else "   - "
print(f"{'library':<16}{'lines':>18}{'branches':>20}")
grand = [0, 0, 0, 0]
for name in sorted(libraries):
    t = libraries[name]
    grand = [a + b for a, b in zip(grand, t)]
    print(f"{name:<16}{percent(t[0], t[1])} {t[0]:>5}/{t[1]:<6}{percent(t[2], t[3])} {t[2]:>5}/{t[3]:<6}")
print(f"{'all':<16}{percent(grand[0], grand[1])} {grand[0]:>5}/{grand[1]:<6}{percent(grand[2], grand[3])} {grand[2]:>5}/{grand[3]:<6}")
worst = sorted((f for f in files if f["line_total"]), key=lambda f: f["line_covered"] / f["line_total"])[:8]
print("least covered files (lines):")
for f in worst:
    print(f"  {f['filename']}: {percent(f['line_covered'], f['line_total'])}")
PY
echo "HTML report: $out/index.html"

#!/bin/sh
# Lists the Debian packages in each folder given (size, dependencies) and,
# for each library of the runtime package, its stripped size and the number
# of symbols it exports. An arm64 library that outgrows its budget fails it.
set -eu
budget() {  # bytes each library may take on the camera, stripped
  case "$1" in
    libpmx_DockProtocol.so.*) echo 460800 ;;  # 450 KiB
    libpmx_HttpRest.so.*) echo 614400 ;;      # 600 KiB
    *) echo 0 ;;
  esac
}
over=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for dir in "$@"; do
  for deb in "$dir"/*.deb; do
    printf '%s  %s bytes\n  Depends: %s\n' "$(basename "$deb")" "$(stat -c %s "$deb")" \
      "$(dpkg-deb -f "$deb" Depends)"
  done
  runtime=$(ls "$dir"/libpmx-dockprotocol1_*.deb)
  arch=$(dpkg-deb -f "$runtime" Architecture)  # the budgets are the camera's
  root="$scratch/$(basename "$runtime" .deb)"
  dpkg-deb -x "$runtime" "$root"
  printf '\n  %-32s %10s %8s\n' library "stripped" exported
  for lib in "$root"/usr/lib/*/libpmx_*.so.*.*.*; do
    name=$(basename "$lib")
    size=$(stat -c %s "$lib")
    # readelf reads any processor's ELF; count what the library defines.
    exported=$(readelf --dyn-syms -W "$lib" | awk '$7 != "UND" && ($5 == "GLOBAL" || $5 == "WEAK" || $5 == "UNIQUE")' | wc -l)
    limit=$(budget "$name")
    note=""
    if [ "$limit" -gt 0 ] && [ "$arch" = arm64 ]; then
      if [ "$size" -gt "$limit" ]; then
        note="OVER its budget of $limit"
        over=1
      else
        note="budget $limit"
      fi
    fi
    printf '  %-32s %10s %8s  %s\n' "$name" "$size" "$exported" "$note"
  done
  echo
done
if [ "$over" -ne 0 ]; then
  echo "a library is over its budget" >&2
  exit 1
fi

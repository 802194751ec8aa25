#!/bin/sh
# dockhost against a "real" dock that is not there, as on a machine without
# the dock's link: each scenario runs in a private network (and mount)
# namespace, so the production addresses never leave this machine.
# Usage: RealDockRoads.sh DOCKHOST (a command: "qemu-aarch64 path" under qemu)
dockhost=$1
failures=0

if ! unshare -mn true 2>/dev/null; then
    echo "no private namespaces here"
    exit 77
fi

# expect NAME EXIT TEXT -- SETUP (run inside the namespace, then the road)
expect() {
    name=$1 want_exit=$2 want_text=$3
    shift 3
    out=$(unshare -mn sh -c "ip link set lo up; $*" 2>/dev/null)
    got_exit=$?
    if [ "$got_exit" != "$want_exit" ] || ! printf '%s\n' "$out" | grep -qF -- "$want_text"; then
        echo "FAIL $name: exit $got_exit (want $want_exit), want \"$want_text\" in:"
        printf '%s\n' "$out" | sed 's/^/    /'
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

link='ip link add usb0 type veth peer name base0 && ip link set base0 up'
address="$link && ip addr add 192.168.99.2/24 dev usb0 && ip link set usb0 up"

for dock in Velta Oskin Pallix; do
    expect "$dock without usb0" 1 "STOP no usb0 interface" "$dockhost road --dock $dock --timeout 2"
done
expect "Dravo without a cradle adapter" 1 "STOP no eth0 adapter of a known chip" \
    "$dockhost road --dock Dravo --timeout 2"
expect "Velta without the camera's address" 1 "STOP no address 192.168.99.2 on usb0" \
    "$link && $dockhost road --dock Velta --timeout 2"
expect "Velta with nobody at the base's address" 1 "STOP nothing answering at 192.168.99.1:55006" \
    "$address && $dockhost road --dock Velta --timeout 2"
expect "Oskin waits for its base no longer than --timeout" 1 \
    "STOP no server information from a base within 2 s" \
    "$link && $dockhost road --dock Oskin --timeout 2"
expect "the wait shows its progress each second" 1 "waiting for the base to push its server information: 1 s of 2 s" \
    "$link && $dockhost road --dock Oskin --timeout 2"
expect "Ctrl-C ends the road with 130" 130 "STOP interrupted" \
    "$link && { $dockhost road --dock Oskin --timeout 60 & pid=\$!; sleep 1; kill -INT \$pid; wait \$pid; }"

[ "$failures" = 0 ]

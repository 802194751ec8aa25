#!/bin/sh
# Installs the build tree into a temporary prefix and runs what it holds with
# an empty environment: the tools, then a host program built against the
# prefix with find_package(DockProtocol). Nothing may need LD_LIBRARY_PATH;
# the tools still run after the prefix is moved.
# Usage: InstalledPrefix.sh BUILD_DIR APP_DIR GENERATOR TOOLS(ON/OFF) SANITIZE TOOLCHAIN EMULATOR
set -eu
build=$1 app=$2 generator=$3 tools=$4 sanitize=$5 toolchain=$6 emulator=$7

work=$(mktemp -d "${TMPDIR:-/tmp}/pmx-installed.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# run_clean EXPECTED COMMAND...: runs COMMAND (through the build's emulator)
# with nothing in its environment but the sanitizers' settings.
run_clean() {
    expected=$1
    shift
    set -- ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} \
        ${TSAN_OPTIONS:+TSAN_OPTIONS=$TSAN_OPTIONS} $emulator "$@"
    out=$(env -i "$@" 2>&1) || fail "$* exited with $?: $out"
    case $out in
    *"$expected"*) echo "ok   $*" ;;
    *) fail "$* said: $out" ;;
    esac
}

out=$(cmake --install "$build" --prefix "$work/prefix" 2>&1) || fail "install: $out"

if [ "$tools" = ON ]; then
    run_clean "Usage:" "$work/prefix/bin/dockhost" --help
    run_clean "Usage:" "$work/prefix/bin/docksim" --help
    # Relative run paths only: the tree works wherever it is unpacked.
    mv "$work/prefix" "$work/moved"
    run_clean "Usage:" "$work/moved/bin/dockhost" --help
    mv "$work/moved" "$work/prefix"
fi

set -- -DCMAKE_PREFIX_PATH="$work/prefix"
if [ -n "$sanitize" ]; then
    # Libraries built with sanitizers need a host built with the same ones.
    set -- "$@" -DCMAKE_CXX_FLAGS="-fsanitize=$sanitize" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=$sanitize"
fi
if [ -n "$toolchain" ]; then
    set -- "$@" -DCMAKE_TOOLCHAIN_FILE="$toolchain"
fi
out=$(cmake -S "$app" -B "$work/app" -G "$generator" "$@" 2>&1) || fail "host project does not configure: $out"
out=$(cmake --build "$work/app" 2>&1) || fail "host project does not build: $out"
# The program's run path names only the folder of the libraries it links;
# their own dependencies are found through the libraries' run path.
run_clean "Default NotSupported DockProtoIF::ServerInfo" "$work/app/host_app"

#!/usr/bin/env bash
# Installs the build into a scratch prefix, checks what a distribution ships
# from it, and builds the same host against the installed package with CMake
# and with pkg-config, then runs both: proves the package is complete without
# the source tree.
set -euo pipefail
build_dir=$1
source_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "hostlinktest: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libnorvik-print-widgets.so.1' | head -n 1)")
for lib in norvik-print-widgets norvik-print-core; do
    [[ $(readlink "$libdir/lib$lib.so") == lib$lib.so.1 && $(readlink "$libdir/lib$lib.so.1") == lib$lib.so.1.0.0 ]] \
        || fail "lib$lib.so -> .so.1 -> .so.1.0.0 is missing"
done
desktop-file-validate "$prefix/share/applications/org.norvik.PrintManager.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/org.norvik.PrintManager.metainfo.xml" >/dev/null
for po in "$source_dir"/po/de/*.po; do
    [[ -f $prefix/share/locale/de/LC_MESSAGES/$(basename "$po" .po).mo ]] || fail "no German catalogue for $po"
done

cmake -S "$source_dir/autotests/hostlink" -B "$scratch/build" \
    -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/configure.log" 2>&1 \
    || { cat "$scratch/configure.log"; exit 1; }
cmake --build "$scratch/build" -j2 >"$scratch/build.log" 2>&1 \
    || { cat "$scratch/build.log"; exit 1; }
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs norvik-print-widgets)
# shellcheck disable=SC2086 # the flags are words on purpose
c++ "$source_dir/autotests/hostlink/host.cpp" $flags -o "$scratch/pkgconfig-host"

# Some widgets open the shared connection: a socket nobody serves keeps it
# away from the machine's own scheduler.
export CUPS_SERVER=$scratch/no-cups.sock QT_QPA_PLATFORM=offscreen
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
"$scratch/build/norvik-host"
"$scratch/pkgconfig-host"

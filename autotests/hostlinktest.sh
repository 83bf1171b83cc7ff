#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a host against the
# installed package, then runs it: proves the package config and headers
# are complete without the source tree.
set -euo pipefail
build_dir=$1
source_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
cmake -S "$source_dir/autotests/hostlink" -B "$scratch/build" \
    -DCMAKE_PREFIX_PATH="$scratch/prefix" >"$scratch/configure.log" 2>&1 \
    || { cat "$scratch/configure.log"; exit 1; }
cmake --build "$scratch/build" -j2 >"$scratch/build.log" 2>&1 \
    || { cat "$scratch/build.log"; exit 1; }

libdir=$(dirname "$(find "$scratch/prefix" -name 'libnorvik-print-widgets.so.1' | head -n 1)")
LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    QT_QPA_PLATFORM=offscreen "$scratch/build/norvik-host"

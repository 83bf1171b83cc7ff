#!/usr/bin/env bash
# Extracts the messages into one template per catalogue, in po/ or the
# folder given as the first argument:
#   libnorvik-print.pot       the library; `translated` is its small
#                             ki18nd("libnorvik-print", ...) wrapper
#   libtelmar-mac-qt5.pot     the MAC label widgets and functions
#   norvik-print-manager.pot  the manager application
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-po}
extract() {
    local pot=$1 package=$2
    shift 2
    mapfile -t sources < <(find "$@" -name '*.cpp' -o -name '*.h' | sort)
    xgettext --from-code=UTF-8 -C --kde \
        -ki18n:1 -ki18nc:1c,2 -ki18np:1,2 -ki18ncp:1c,2,3 -ki18nd:2 -ki18ndp:2,3 \
        -kki18n:1 -kki18nc:1c,2 -kki18nd:2 -kki18ndp:2,3 -kkli18n:1 -ktranslated \
        --package-name="$package" -o "$out/$pot" "${sources[@]}"
}
extract libnorvik-print.pot libnorvik-print-widgets core src include
extract libtelmar-mac-qt5.pot libtelmar-mac-qt5 platform/telmarmac
extract norvik-print-manager.pot norvik-print-manager app

#!/usr/bin/env bash
# Extracts the messages into one template per catalogue:
#   po/libnorvik-print.pot       the library; `translated` is its small
#                                ki18nd("libnorvik-print", ...) wrapper
#   po/norvik-print-manager.pot  the manager application
set -euo pipefail
cd "$(dirname "$0")/.."
extract() {
    local pot=$1 package=$2
    shift 2
    xgettext --from-code=UTF-8 -C --kde \
        -ki18n:1 -ki18nc:1c,2 -ki18np:1,2 -ki18ncp:1c,2,3 \
        -kki18n:1 -kki18nc:1c,2 -kki18nd:2 -kki18ndp:2,3 -ktranslated \
        --package-name="$package" -o "po/$pot" "${@}"
}
mapfile -t library < <(find core src include -name '*.cpp' -o -name '*.h' | sort)
extract libnorvik-print.pot libnorvik-print-widgets "${library[@]}"
mapfile -t manager < <(find app -name '*.cpp' -o -name '*.h' | sort)
extract norvik-print-manager.pot norvik-print-manager "${manager[@]}"

#!/usr/bin/env bash
# Extracts the library's messages into po/libnorvik-print.pot; `translated`
# is the small ki18nd("libnorvik-print", ...) wrapper the sources use.
set -euo pipefail
cd "$(dirname "$0")/.."
find core src include -name '*.cpp' -o -name '*.h' | sort | xargs xgettext \
    --from-code=UTF-8 -C --kde \
    -kki18nd:2 -kki18ndp:2,3 -ktranslated \
    --package-name=libnorvik-print-widgets \
    -o po/libnorvik-print.pot

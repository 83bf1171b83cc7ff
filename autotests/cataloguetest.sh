#!/usr/bin/env bash
# Every message the sources use has a translation in every language we ship:
# extracts fresh templates and names what a catalogue lacks or has fuzzy.
set -euo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$source_dir/po/Messages.sh" "$scratch"
failed=0
for language_dir in "$source_dir"/po/*/; do
    for pot in "$scratch"/*.pot; do
        catalogue=$language_dir$(basename "$pot" .pot).po
        if [[ ! -f "$catalogue" ]]; then
            echo "missing catalogue: ${catalogue#"$source_dir"/}"
            failed=1
            continue
        fi
        msgmerge -q --no-wrap "$catalogue" "$pot" -o "$scratch/merged.po"
        lacking=$( { msgattrib --untranslated --no-obsolete "$scratch/merged.po"; msgattrib --only-fuzzy --no-obsolete "$scratch/merged.po"; } |
            grep '^msgid "' | grep -v '^msgid ""$' || true)
        if [[ -n "$lacking" ]]; then
            echo "${catalogue#"$source_dir"/} lacks:"
            echo "$lacking"
            failed=1
        fi
    done
done
exit $failed

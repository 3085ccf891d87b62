#!/usr/bin/env bash
# Inputs stay untouched: records the SHA-256 and modification time (in nanoseconds) of every
# fixture clip once they are made, and at the end of the run checks each against the record.
# Usage: fixture_manifest.sh record|compare MEDIA_DIR MANIFEST
set -euo pipefail
mode=$1 dir=$2 manifest=$3

# "sha256 mtime name" of one file of the media folder.
describe() {
    printf '%s %s %s\n' "$(sha256sum <"$dir/$1" | cut -d' ' -f1)" \
        "$(stat -c %.9Y -- "$dir/$1")" "$1"
}

case $mode in
record)
    : >"$manifest.new"
    while IFS= read -r -d '' f; do
        describe "${f#"$dir"/}" >>"$manifest.new"
    done < <(find "$dir" -maxdepth 1 -type f ! -name '.*' -print0 | sort -z)
    mv "$manifest.new" "$manifest"
    echo "recorded $(wc -l <"$manifest") fixture files"
    ;;
compare)
    changed=0
    while read -r hash mtime name; do
        if [ ! -f "$dir/$name" ]; then
            echo "REMOVED: $name"
            changed=1
            continue
        fi
        now=$(describe "$name")
        if [ "$now" != "$hash $mtime $name" ]; then
            echo "CHANGED: $name"
            echo "  before: $hash $mtime"
            echo "  after:  ${now% "$name"}"
            changed=1
        fi
    done <"$manifest"
    [ $changed -eq 0 ] && echo "all $(wc -l <"$manifest") fixture files untouched"
    exit $changed
    ;;
*)
    echo "usage: $0 record|compare MEDIA_DIR MANIFEST" >&2
    exit 2
    ;;
esac

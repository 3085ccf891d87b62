#!/usr/bin/env bash
# Fails when any executable or shared object we built names a media library or SDL in its
# NEEDED entries: they must be bound at run time.
set -u
build=$1
status=0
count=0
while IFS= read -r -d '' f; do
    head -c 4 "$f" 2>/dev/null | grep -q 'ELF' || continue
    case "$f" in */fakelibs/*) continue ;; esac
    count=$((count + 1))
    bad=$(readelf -d "$f" 2>/dev/null | grep NEEDED | grep -Ei 'libav|libsw|libpostproc|libSDL' || true)
    if [ -n "$bad" ]; then
        echo "$f links media libraries:"; echo "$bad"; status=1
    fi
done < <(find "$build" -path "$build/CMakeFiles" -prune -o -type f \( -perm -u+x -o -name '*.so*' \) -print0)
echo "checked $count binaries"
[ "$count" -gt 0 ] || status=1
exit $status

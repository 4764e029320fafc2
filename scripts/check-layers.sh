#!/usr/bin/env bash
# Fails when an #include runs up the layers. Each layer may include its own
# folder and those below it; codecs and ops stand side by side and include
# neither each other:
#   platform < core < codecs, ops < dispatch < tools < shell
# Tests, fuzz targets and benchmarks may include anything.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
    case "$1" in
    platform) echo 0 ;;
    core) echo 1 ;;
    codecs | ops) echo 2 ;;
    dispatch) echo 3 ;;
    tools) echo 4 ;;
    shell) echo 5 ;;
    *) echo -1 ;;
    esac
}

status=0
for layer in platform core codecs ops dispatch tools shell; do
    [ -d "$layer" ] || continue
    own=$(rank "$layer")
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
        theirs=$(rank "$target")
        [ "$theirs" -lt 0 ] && continue
        if [ "$theirs" -gt "$own" ] || { [ "$theirs" -eq "$own" ] && [ "$target" != "$layer" ]; }; then
            echo "$file:$line: $layer includes $target: $text"
            status=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$layer" \
                 --include='*.h' --include='*.cpp' --include='*.in' || true)
done
if [ "$status" -ne 0 ]; then
    echo "Includes run up the layers (platform < core < codecs, ops < dispatch < tools < shell)." >&2
fi
exit "$status"

#!/usr/bin/env bash
# Fails when an #include runs up the layers. Each layer may include its own
# folder and those below it; codecs and ops stand side by side and include
# neither each other:
#   platform < core < codecs, ops < dispatch < tools < shell
# Tests, fuzz targets and benchmarks may include anything.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(platform core codecs ops dispatch tools shell)
present=()
for layer in "${layers[@]}"; do
    [ -d "$layer" ] && present+=("$layer")
done

{ grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "${present[@]}" \
    --include='*.h' --include='*.cpp' --include='*.in' || true; } |
    awk '
    BEGIN {
        rank["platform"] = 0; rank["core"] = 1; rank["codecs"] = 2; rank["ops"] = 2
        rank["dispatch"] = 3; rank["tools"] = 4; rank["shell"] = 5
    }
    {
        split($0, place, ":")
        layer = place[1]; sub(/\/.*/, "", layer)
        target = $0; sub(/^[^"]*"/, "", target); sub(/\/.*/, "", target)
        if (!(target in rank))
            next
        if (rank[target] > rank[layer] || (rank[target] == rank[layer] && target != layer)) {
            text = $0; sub(/^[^:]*:[^:]*:/, "", text)
            print place[1] ":" place[2] ": " layer " includes " target ": " text
            bad = 1
        }
    }
    END {
        if (bad) {
            print "Includes run up the layers (platform < core < codecs, ops < dispatch < tools < shell)." > "/dev/stderr"
            exit 1
        }
    }'

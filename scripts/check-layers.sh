#!/usr/bin/env bash
# Fails when an #include runs up the layers. Each layer may include its own
# folder and those below it; codecs and ops stand side by side and include
# neither each other:
#   platform < core < codecs, ops < dispatch < tools < shell
# and, inside shell/, shell/core (the viewer without Qt) below the Qt files,
# which include one another without a loop.
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

# Inside shell/: shell/core holds the viewer's rules without Qt and includes
# nothing of the Qt files above it; the Qt files (windows, dialogs, commands)
# stand on shell/core and include one another without a loop. A file and its
# header are one module.
{ grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"shell/' shell/core \
    --include='*.h' --include='*.cpp' || true; } |
    awk '
    {
        target = $0; sub(/^[^"]*"/, "", target); sub(/".*/, "", target)
        if (target !~ /^shell\/core\//) {
            split($0, place, ":")
            print place[1] ":" place[2] ": shell/core includes the Qt layer: " target
            bad = 1
        }
    }
    END {
        if (bad) {
            print "shell/core must not include the Qt files of shell/." > "/dev/stderr"
            exit 1
        }
    }'

edges=$({ grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"shell/' shell \
    --include='*.h' --include='*.cpp' || true; } |
    awk '
    {
        split($0, place, ":")
        from = place[1]; sub(/\.(h|cpp)$/, "", from)
        to = $0; sub(/^[^"]*"/, "", to); sub(/".*/, "", to); sub(/\.(h|cpp)$/, "", to)
        if (from != to)
            print from, to
    }')
if ! loops=$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null); then
    printf '%s\n' "$loops" | sed 's/^tsort: -: //'
    echo "Includes among the files of shell/ run in a loop." >&2
    exit 1
fi

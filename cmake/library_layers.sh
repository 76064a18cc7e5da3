#!/bin/sh
# library_layers.sh NM LEVEL:NAME:ARCHIVE...
#
# The libraries of a program are layered: each may use the ones below it and
# none beside or above it. This reads every archive's symbols with NM and
# fails, naming the symbols, when a library leaves undefined a symbol that a
# library of its own level or of a higher one defines. Weak definitions
# (inline functions, templates) are copies that every user may carry and do
# not count.
set -eu
nm=$1
shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for layer in "$@"; do
    level=${layer%%:*}
    rest=${layer#*:}
    name=${rest%%:*}
    archive=${rest#*:}
    "$nm" -g --defined-only "$archive" >"$tmp/$name.nm"
    awk 'NF == 3 && $2 !~ /^[VvWw]$/ { print $3 }' "$tmp/$name.nm" | sort -u >"$tmp/$name.def"
    if [ ! -s "$tmp/$name.def" ]; then
        echo "no symbols read from $archive" >&2
        exit 1
    fi
    "$nm" -g -u "$archive" | awk 'NF == 2 && $1 == "U" { print $2 }' | sort -u >"$tmp/$name.und"
    echo "$level $name" >>"$tmp/levels"
done

status=0
while read -r low lower; do
    while read -r high higher; do
        if [ "$higher" = "$lower" ] || [ "$high" -lt "$low" ]; then continue; fi
        comm -12 "$tmp/$lower.und" "$tmp/$higher.def" >"$tmp/common"
        if [ -s "$tmp/common" ]; then
            echo "$lower (level $low) refers to $higher (level $high):"
            c++filt <"$tmp/common" | sed 's/^/    /'
            status=1
        fi
    done <"$tmp/levels"
done <"$tmp/levels"
exit $status

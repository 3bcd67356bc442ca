#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the folders' include rules: every include of ours names its folder from the top, the
# folders that work without a window know nothing of those above them, and logs/ and graph/
# nothing of each other. Prints each include that breaks a rule and fails if there is any.
# Usage: include_rules.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 1

# folder: the folders (or "top") its files must not include from
declare -A FORBIDDEN=(
    [graph]="logs chart window top"
    [logs]="graph chart window top"
    [chart]="window top"
)
TOP_HEADERS=$(ls ./*.h | sed 's|^\./||')

broken=0
report() { echo "FAIL: $1 includes \"$2\""; broken=1; }

for file in graph/* logs/* chart/* window/*; do
    folder=${file%%/*}
    while read -r included; do
        case $included in
            */*) ;;
            *) [ -e "$folder/$included" ] && report "$file" "$included" ;;  # must name its folder
        esac
        for banned in ${FORBIDDEN[$folder]:-}; do
            if [ "$banned" = top ]; then
                grep -qxF "$included" <<<"$TOP_HEADERS" && report "$file" "$included"
            else
                [[ $included == "$banned"/* ]] && report "$file" "$included"
            fi
        done
    done < <(sed -n 's/^#include "\(.*\)"$/\1/p' "$file")
done
[ "$broken" -eq 0 ] && echo "ok: every include keeps to its folder's rules"
exit "$broken"

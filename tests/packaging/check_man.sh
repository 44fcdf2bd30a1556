#!/usr/bin/env bash
# Each manual page given renders with groff's man macros without a single
# warning (-ww: every warning on), and its NAME section names the page.
set -euo pipefail
status=0
for page in "$@"; do
    out=$(groff -man -ww -z "$page" 2>&1) || true
    if [[ -n $out ]]; then
        echo "$page: groff warns:"
        echo "$out"
        status=1
    fi
    name=$(basename "$page" .1)
    text=$(groff -man -Tascii -P-c -P-b -P-u -P-o "$page" 2>/dev/null)
    if ! grep -Eq "^ +$name +- " <<<"$text"; then
        echo "$page: no NAME line for $name"
        status=1
    fi
    echo "$page: $(wc -l <<<"$text") lines"
done
exit $status

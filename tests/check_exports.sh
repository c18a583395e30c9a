#!/bin/sh
# check_exports.sh LIBRARY SYMBOL...: the library defines exactly these visible symbols.
library=$1
shift
expected=$(printf '%s\n' "$@" | sort)
actual=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort)
[ "$actual" = "$expected" ] && exit 0
echo "visible symbols of $library:"
echo "$actual"
exit 1

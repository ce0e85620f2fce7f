#!/bin/sh
# check_exports.sh OBJDUMP DLL HEADER...: every function that the headers
# declare with SP_LIBEXPORT appears by its plain C name in the DLL's export
# table, and the table holds no C++ (mangled) names.
set -u
objdump=$1
dll=$2
shift 2
exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')
if [ -z "$exports" ]; then
    echo "no export table found in $dll"
    exit 1
fi
declared=$(grep -hv "#define" "$@" | tr '\n' ' ' | grep -o 'SP_LIBEXPORT([^)]*)[[:space:]]*[a-z_0-9]*(' |
    sed 's/.*)[[:space:]]*\([a-z_0-9]*\)($/\1/' | sort -u)
count=0
missing=0
for name in $declared; do
    count=$((count + 1))
    if ! printf '%s\n' "$exports" | grep -qx "$name"; then
        echo "missing export: $name"
        missing=1
    fi
done
if printf '%s\n' "$exports" | grep -q '^_Z'; then
    echo "C++ names exported:"
    printf '%s\n' "$exports" | grep '^_Z'
    missing=1
fi
ops=$(printf '%s\n' $declared | grep -c '^sp_')
echo "$count declared functions checked ($ops sp_ operations)"
if [ "$ops" -lt 24 ]; then
    echo "too few sp_ operations found in the headers"
    exit 1
fi
exit $missing

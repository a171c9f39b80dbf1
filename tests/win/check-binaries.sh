#!/usr/bin/env bash
# Checks the shipped binaries' tables: each library exports exactly the component
# functions and its interface version, and no binary needs a mingw runtime
# library at run time.
set -euo pipefail
bin=$1
objdump=x86_64-w64-mingw32-objdump
status=0

for dll in HsdHIDCtrl.dll HsdFontProcessLib.dll; do
    exports=$("$objdump" -p "$bin/$dll" |
        awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[ \t]*\[/ {print $NF; next} on {on=0}' |
        sort | tr '\n' ' ')
    if [ "$exports" != "ComponentInterfaceVersion CreateComponentInstance DeleteComponentInstance SetComponentTraceSink " ]; then
        echo "$dll exports: $exports"
        status=1
    fi
done

for binary in Voxlink.exe HsdHIDCtrl.dll HsdFontProcessLib.dll; do
    runtime=$("$objdump" -p "$bin/$binary" | grep -iE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)' || true)
    if [ -n "$runtime" ]; then
        echo "$binary imports a mingw runtime library: $runtime"
        status=1
    fi
done
exit $status

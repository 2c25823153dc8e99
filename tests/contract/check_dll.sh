#!/usr/bin/env bash
# The binary contract of a plug-in DLL, as hosts rely on it:
#   - the right machine and PE flavour for its width;
#   - exactly the six exports, undecorated, at ordinals 1 to 6;
#   - imports from kernel32.dll and user32.dll only (no C or C++ runtime);
#   - the entry point is the library's own DllMain (from the link map).
# usage: check_dll.sh OBJDUMP DLL BITS MAPFILE
set -u
objdump=$1 dll=$2 bits=$3 map=$4
failures=0
fail() { echo "FAIL: $dll: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }

if [ "$bits" = 32 ]; then want_format=pei-i386 want_magic=PE32; else want_format=pei-x86-64 want_magic=PE32+; fi
format=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
[ "$format" = "$want_format" ] || fail "file format is '$format', expected '$want_format'"
magic=$(echo "$headers" | awk '/^Magic/ {print $3}' | tr -d '()')
[ "$magic" = "$want_magic" ] || fail "optional header is '$magic', expected '$want_magic'"

# Exports: "[   0] +base[   1] 2480 Export RVA" gives ordinals, "[   2] GetArchiveInfo" names.
exports=$(echo "$headers" | awk '
  /\[Ordinal\/Name Pointer\] Table|\[Name Pointer\/Ordinal\] Table/ {t=1; next}
  t && /^[ \t]*\[ *[0-9]+\] [A-Za-z_@0-9]+$/ {gsub(/[][]/, " "); print $1 + 0, $2}
  t && /^[ \t]*$/ {t=0}')
want_exports=$'0 GetPluginInfo\n1 IsSupported\n2 GetArchiveInfo\n3 GetFileInfo\n4 GetFile\n5 GetPluginInfoW'
got_sorted=$(echo "$exports" | sort -n)
if [ "$got_sorted" != "$want_exports" ]; then
  fail "exports differ from the six names at ordinals 1-6 (index = ordinal - 1):"
  echo "  expected:"; echo "$want_exports" | sed 's/^/    /'
  echo "  found:"; echo "$got_sorted" | sed 's/^/    /'
fi
base=$(echo "$headers" | awk '/^Ordinal Base/ {print $3}')
[ "$base" = 1 ] || fail "ordinal base is '$base', expected 1"

imports=$(echo "$headers" | awk '/DLL Name:/ {print tolower($3)}' | sort -u | tr '\n' ' ')
[ "$imports" = "kernel32.dll user32.dll " ] || fail "imports from: $imports(expected kernel32.dll and user32.dll only)"

image_base=$(echo "$headers" | awk '/^ImageBase/ {print $2}')
entry=$(echo "$headers" | awk '/^AddressOfEntryPoint/ {print $2}')
# The map names the i686 stdcall symbol without its leading underscore.
if [ "$bits" = 32 ]; then symbol='DllMain@12'; else symbol='DllMain'; fi
dllmain=$(awk -v s="$symbol" '$2 == s && $1 ~ /^0x/ {print $1; exit}' "$map")
if [ -z "$dllmain" ]; then
  fail "no $symbol in the link map $map"
elif [ $((16#$image_base + 16#$entry)) -ne $((dllmain)) ]; then
  fail "entry point 0x$entry (base 0x$image_base) is not $symbol at $dllmain"
fi

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "ok: $dll: $want_format, six exports at ordinals 1-6, imports: $imports, entry $symbol"

#!/bin/bash
# End-to-end test of spihost.exe with the real 64-bit plug-in under Wine, on
# the sample containers that make_samples writes.
#
#   spihost_test.sh MAKE_SAMPLES DIST_DIR SCRATCH_DIR [WINE64]
set -u

make_samples=$1
dist=$2
scratch=$3
wine=${4:-/usr/lib/wine/wine64}
plugin=$dist/glyphbox.sph
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for f in "$dist/spihost.exe" "$plugin"; do
  [ -f "$f" ] || { echo "missing $f: build the Windows sub-builds first"; exit 1; }
done

rm -rf "$scratch"
mkdir -p "$scratch"
"$make_samples" "$scratch" > /dev/null || { echo "make_samples failed"; exit 1; }
cd "$scratch" || exit 1

# Runs spihost with the plug-in; its output (stdout and stderr, without the
# console's carriage returns) lands in $out and its exit status in $rc.
host() {
  env WINEDEBUG=-all "$wine" "$dist/spihost.exe" "$@" > output.txt 2>&1
  rc=$?
  out=$(tr -d '\r' < output.txt)
}

expect_rc() {  # expect_rc WHAT WANTED
  if [ "$2" = nonzero ]; then
    [ "$rc" -ne 0 ] || fail "$1: exit status 0, wanted non-zero"
  else
    [ "$rc" -eq "$2" ] || fail "$1: exit status $rc, wanted $2"
  fi
}

expect_text() {  # expect_text WHAT TEXT (a fixed string in $out)
  grep -qF -- "$2" <<< "$out" || fail "$1: no \"$2\" in output:
$out"
}

expect_size() {  # expect_size FILE BYTES
  if [ ! -f "$1" ]; then
    fail "$1 not written"
  elif [ "$(stat -c %s "$1")" != "$2" ]; then
    fail "$1 has $(stat -c %s "$1") bytes, wanted $2"
  fi
}

# Bytes LENGTH at OFFSET of FILE, as hex.
hex_at() { tail -c +$(($2 + 1)) "$1" | head -c "$3" | xxd -p | tr -d '\n'; }

host "$plugin" info
expect_rc info 0
grep -qE '^ *0  00AM$' <<< "$out" || fail "info: no line \"0  00AM\":
$out"

host "$plugin" probe "$PWD/sample.ani"
expect_rc "probe sample.ani" 0
expect_text "probe sample.ani" "sample.ani: claimed"
echo "plain text, no container" > notes.txt
host "$plugin" probe "$PWD/notes.txt"
expect_rc "probe notes.txt" 1
expect_text "probe notes.txt" "notes.txt: not claimed"

host "$plugin" list "$PWD/sample.ani"
expect_rc "list sample.ani" 0
for name in 'raw\  raw001.cur' 'raw\  raw003.cur' 'raw\  raw005.cur' \
            001.cur 002.cur 003.cur 004.cur '7 members'; do
  expect_text "list sample.ani" "$name"
done

# Icon members: the image bytes behind a rebuilt 22-byte header. The images
# follow a directory of 6 + 4 * 16 = 70 bytes: 32x32 32-bit (40 + 4096 + 128
# bytes), 16x16 4-bit (40 + 64 + 128 + 64), 48x48 8-bit (40 + 1024 + 2304 +
# 384), then the PNG, which runs to the end of the file.
host "$plugin" extract "$PWD/sample.ico" "$PWD/dir/ico"
expect_rc "extract sample.ico" 0
expect_size 'dir/ico/001(32x32-32).ico' 4286
expect_size 'dir/ico/002(16x16-4).ico' 318
expect_size 'dir/ico/003(48x48-8).ico' 3774
expect_size 'dir/ico/004(256x256-8).ico' $(($(stat -c %s sample.ico) - 8382 + 22))
# reserved 0, type 1, count 1, 32x32, 0 colours, 0, planes 0, 32 bits,
# 4264 bytes, at 22.
header=$(hex_at 'dir/ico/001(32x32-32).ico' 0 22)
[ "$header" = 0000010001002020000000002000a810000016000000 ] ||
  fail "001(32x32-32).ico header is $header"
[ "$(hex_at 'dir/ico/001(32x32-32).ico' 22 4264)" = "$(hex_at sample.ico 70 4264)" ] ||
  fail "001(32x32-32).ico image bytes differ from the container's"

# Animated-cursor members: frames and sequence steps, copied as stored. The
# frames' contents start at 100, 436 and 1210; steps 1 to 4 show frames
# 0, 1, 2, 1.
host "$plugin" extract "$PWD/sample.ani" "$PWD/dir/ani" --verbose
expect_rc "extract sample.ani" 0
expect_text "extract --verbose" "progress 0/100"
expect_text "extract --verbose" "progress 100/100"
expect_text "extract sample.ani" "7 extracted, 0 failed"
expect_size dir/ani/raw001.cur 327
expect_size dir/ani/raw003.cur 766
expect_size dir/ani/raw005.cur 201
[ "$(hex_at dir/ani/raw003.cur 0 766)" = "$(hex_at sample.ani 436 766)" ] ||
  fail "raw003.cur differs from the container's second frame"
for pair in 001:raw001 002:raw003 003:raw005 004:raw003; do
  cmp -s "dir/ani/${pair%%:*}.cur" "dir/ani/${pair##*:}.cur" ||
    fail "step ${pair%%:*}.cur is not frame ${pair##*:}.cur"
done

# Through memory, the same files.
host --memory "$plugin" extract "$PWD/sample.ico" "$PWD/mem/ico"
expect_rc "extract --memory sample.ico" 0
host "$plugin" extract "$PWD/sample.ani" "$PWD/mem/ani" --memory
expect_rc "extract --memory sample.ani" 0
diff -r dir mem > /dev/null || fail "--memory gives other files: $(diff -rq dir mem)"

# Named members (any case, '/' for '\'), an unknown name, a file that exists.
host "$plugin" extract "$PWD/sample.ani" "$PWD/named" 'RAW/Raw003.CUR' nosuch.cur
expect_rc "extract with an unknown name" 1
expect_text "extract with an unknown name" "has no member named nosuch.cur"
expect_size named/raw003.cur 766
[ "$(ls named)" = raw003.cur ] || fail "extract by name wrote $(ls named)"
host "$plugin" extract "$PWD/sample.ani" "$PWD/named" raw003.cur
expect_rc "extract over an existing file" 1
expect_text "extract over an existing file" "cannot write the output file (8)"

# A missing container, a missing plug-in.
host "$plugin" list "$PWD/missing.ico"
expect_rc "list a missing file" 1
expect_text "list a missing file" "cannot open Z:${PWD//\//\\}\\missing.ico"
host "$PWD/missing.sph" info
expect_rc "a missing plug-in" 2
expect_text "a missing plug-in" "cannot load plug-in"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "spihost end to end: all passed"

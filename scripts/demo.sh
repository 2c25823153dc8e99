#!/usr/bin/env bash
# Builds both plug-in DLLs and spihost, makes sample containers (an icon with
# bitmap and PNG images, a cursor, an animated cursor with a sequence), and
# drives dist/glyphbox.sph through spihost under Wine the way a viewer does:
# the plug-in's information, then each container listed and every member
# extracted into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

export WINEDEBUG=-all
spihost() { /usr/lib/wine/wine64 dist/spihost.exe "$@" | tr -d '\r'; }

rm -rf out
mkdir -p out/samples
build/tools/samples/make_samples out/samples >/dev/null

echo "== dist/glyphbox.sph"
spihost dist/glyphbox.sph info
for sample in sample.ico sample.cur sample.ani; do
  name=${sample%.*}-${sample#*.}
  echo
  echo "== out/samples/$sample"
  spihost dist/glyphbox.sph list "$PWD/out/samples/$sample"
  spihost dist/glyphbox.sph extract "$PWD/out/samples/$sample" "$PWD/out/$name" >/dev/null
done

echo
echo "Extracted members (ImageMagick's identify on each):"
for f in out/*-*/*; do
  printf '  %-34s %s\n' "$f" "$(identify "$f" 2>&1 | head -n 1 | awk '{print $2, $3, $5}')"
done
echo
echo "Samples are in out/samples/, extracted members in out/sample-ico/, out/sample-cur/ and out/sample-ani/."

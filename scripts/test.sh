#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the core's tests under
# AddressSanitizer and UBSan, the integration cases against glyphbox.sph
# under Wine and against both DLLs in the emulated host, the DLL contract
# checks, the bounded fuzz runs and the spihost end-to-end test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

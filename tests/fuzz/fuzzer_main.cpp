// The libFuzzer entry point of one fuzz program. The build compiles this file
// once per target, naming the target's body in GLYPHBOX_FUZZ_BODY.
#include <stddef.h>
#include <stdint.h>

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GLYPHBOX_FUZZ_BODY(data, size);
  return 0;
}

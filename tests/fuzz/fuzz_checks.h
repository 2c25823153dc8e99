// Checks the fuzz targets share: how an invariant failure stops the run, the
// exact-size copy of the input, and the invariants of a finished list.
#ifndef GLYPHBOX_TESTS_FUZZ_FUZZ_CHECKS_H
#define GLYPHBOX_TESTS_FUZZ_FUZZ_CHECKS_H

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "core/archive.h"

// Prints `what` and aborts when `ok` is false. libFuzzer reports the abort
// as a crash and keeps the input; the regression test dies with the message.
void Require(bool ok, const char* what);

// Inputs are cut to this many bytes: far more than any size the fuzzers are
// run with, and small enough that every offset the core forms fits 32 bits.
constexpr size_t kMaxInputBytes = 1u << 24;

// The input in a heap block of exactly its size (a live block even for an
// empty input), so that AddressSanitizer reports a read one byte past it.
std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t* data, size_t size);

// Blocks the native heap of the core holds right now.
int32_t LiveHeapBlocks();

// Checks a list made from data[0 .. size) by Init, one lister and Finish:
// descriptor shape, terminator, every string ending inside its field, and
// each record consistent with the bytes it describes. Reads all `capacity`
// bytes of the storage, as CopyListToHandle does.
void CheckFinishedList(const EntryList& list, const uint8_t* data, uint32_t size);

#endif

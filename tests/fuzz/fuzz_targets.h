// The bodies of the fuzz targets, one per entry point of the core that reads
// untrusted bytes. Each takes any input, runs the entry point on it and
// aborts when an invariant that must hold for every input does not. They are
// plain functions so that the libFuzzer programs and the regression test
// (which replays the kept findings without libFuzzer) run the same code.
#ifndef GLYPHBOX_TESTS_FUZZ_FUZZ_TARGETS_H
#define GLYPHBOX_TESTS_FUZZ_FUZZ_TARGETS_H

#include <stddef.h>
#include <stdint.h>

// The input as a whole container in memory: the signature test, the claim
// test on its first 2048 bytes, ListContainer, and each lister on its own.
void FuzzListing(const uint8_t* data, size_t size);

// The input as one member's image bytes behind the 22-byte header that
// BuildIconHeader fills.
void FuzzIconHeader(const uint8_t* data, size_t size);

// The input as a container: list it, then extract every listed member from
// the same bytes the way GetFile does.
void FuzzExtraction(const uint8_t* data, size_t size);

// The first byte chooses a heap call that fails (see heap_fault_target.cpp);
// the rest is listed as a container with that fault in place.
void FuzzListingUnderHeapFaults(const uint8_t* data, size_t size);

#endif

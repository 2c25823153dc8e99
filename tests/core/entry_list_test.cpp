// EntryList: initial storage, growth by doubling, the trim and terminator of
// Finish, Release's ownership rule, and every way the heap can refuse.
#include <string.h>

#include "tests/core/harness.h"

namespace coretest {
namespace {

constexpr uint32_t kExpectedRecordBytes = sizeof(void*) == 8 ? 448 : 428;

// Every byte of record i gets the value i + 1, so a record that moved, was
// overwritten or lost shows as a mismatch (and method[0] is never 0).
void Stamp(fileInfo* rec, uint32_t i) { memset(rec, static_cast<int>(i + 1), sizeof(fileInfo)); }

bool Stamped(const fileInfo& rec, uint32_t i) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&rec);
  for (size_t b = 0; b < sizeof(fileInfo); ++b) {
    if (p[b] != static_cast<uint8_t>(i + 1)) return false;
  }
  return true;
}

void AppendStamped(EntryList* list, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    fileInfo* rec = Append(list);
    ASSERT_NE(rec, nullptr) << "append " << i;
    Stamp(rec, i);
  }
}

void ExpectStamped(const EntryList& list, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) EXPECT_TRUE(Stamped(list.begin[i], i)) << "record " << i;
}

void ExpectSameDescriptor(const EntryList& a, const EntryList& b) {
  EXPECT_EQ(a.begin, b.begin);
  EXPECT_EQ(a.next, b.next);
  EXPECT_EQ(a.end, b.end);
  EXPECT_EQ(a.capacity, b.capacity);
  EXPECT_EQ(a.borrowed, b.borrowed);
}

// A descriptor with every field set to rubbish, as a caller's stack leaves it.
EntryList Uninitialised() {
  EntryList list;
  memset(&list, 0x5A, sizeof list);
  return list;
}

using EntryListTest = HeapTest;

TEST_F(EntryListTest, InitAllocatesFourRecords) {
  EXPECT_EQ(kRecordBytes, kExpectedRecordBytes);
  EntryList list = Uninitialised();
  Init(&list);
  ASSERT_NE(list.begin, nullptr);
  EXPECT_EQ(list.capacity, 4 * kExpectedRecordBytes);  // 1792, or 1712 in the 32-bit layout
  EXPECT_EQ(list.next, list.begin);
  EXPECT_EQ(list.end, list.begin + 4);
  EXPECT_EQ(list.borrowed, 0u);
  EXPECT_EQ(NativeHeapFaults().allocs, 1u);
  Release(&list);
}

TEST_F(EntryListTest, AppendHandsOutSlotsInOrderAndDoublesWhenFull) {
  EntryList list;
  Init(&list);
  for (uint32_t i = 0; i < 4; ++i) {
    fileInfo* rec = Append(&list);
    EXPECT_EQ(rec, list.begin + i);
    Stamp(rec, i);
  }
  EXPECT_EQ(NativeHeapFaults().reallocs, 0u);

  // The fifth append doubles 4 records to 8; the first four stay at their indexes.
  fileInfo* fifth = Append(&list);
  ASSERT_NE(fifth, nullptr);
  EXPECT_EQ(NativeHeapFaults().reallocs, 1u);
  EXPECT_EQ(list.capacity, 8 * kRecordBytes);
  EXPECT_EQ(list.end, list.begin + 8);
  EXPECT_EQ(fifth, list.begin + 4);
  EXPECT_EQ(list.next, list.begin + 5);
  Stamp(fifth, 4);
  ExpectStamped(list, 5);

  // And 8 to 16 on the ninth.
  for (uint32_t i = 5; i < 9; ++i) {
    fileInfo* rec = Append(&list);
    ASSERT_NE(rec, nullptr);
    Stamp(rec, i);
  }
  EXPECT_EQ(NativeHeapFaults().reallocs, 2u);
  EXPECT_EQ(list.capacity, 16 * kRecordBytes);
  EXPECT_EQ(list.end, list.begin + 16);
  ExpectStamped(list, 9);
  Release(&list);
}

TEST_F(EntryListTest, FinishTrimsToRecordsPlusTerminator) {
  struct Case {
    uint32_t appended;
  };
  // 0: terminator only; 4: full, grows to 5; 5: shrinks from 8 to 6.
  const Case cases[] = {{0}, {1}, {3}, {4}, {5}, {8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.appended);
    EntryList list;
    Init(&list);
    AppendStamped(&list, c.appended);
    Finish(&list);
    ASSERT_NE(list.begin, nullptr);
    EXPECT_EQ(list.capacity, (c.appended + 1) * kRecordBytes);
    EXPECT_EQ(list.end, list.begin + c.appended + 1);
    EXPECT_EQ(list.next, list.end);
    EXPECT_EQ(list.begin[c.appended].method[0], 0);
    EXPECT_EQ(RecordCount(&list), c.appended);
    ExpectStamped(list, c.appended);
    Release(&list);
  }
}

TEST_F(EntryListTest, ReleaseFreesOnlyOwnedStorage) {
  EntryList owned;
  Init(&owned);
  Finish(&owned);
  EntryList before = owned;
  Release(&owned);
  EXPECT_EQ(NativeHeapFaults().frees, 1u);
  ExpectSameDescriptor(owned, before);  // the descriptor itself is left as it was

  ResetHeapFaults();
  EntryList cached;
  Init(&cached);
  Finish(&cached);
  EntryList view = cached;
  view.borrowed = 1;
  Release(&view);
  EXPECT_EQ(NativeHeapFaults().frees, 0u);
  Release(&cached);
  EXPECT_EQ(NativeHeapFaults().frees, 1u);

  ResetHeapFaults();
  NativeHeapFaults().fail_alloc_at = 1;
  EntryList empty;
  Init(&empty);
  Release(&empty);
  EXPECT_EQ(NativeHeapFaults().frees, 0u);
}

TEST_F(EntryListTest, InitFailureGivesAListThatStaysEmpty) {
  NativeHeapFaults().fail_alloc_at = 1;
  EntryList list = Uninitialised();
  Init(&list);
  EXPECT_EQ(list.begin, nullptr);
  EXPECT_EQ(list.next, nullptr);
  EXPECT_EQ(list.end, nullptr);
  EXPECT_EQ(list.capacity, 0u);
  EXPECT_EQ(list.borrowed, 0u);

  // Never gets storage: no append succeeds or even asks the heap.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Append(&list), nullptr);
  Finish(&list);
  EXPECT_EQ(list.begin, nullptr);
  EXPECT_EQ(list.next, nullptr);
  EXPECT_EQ(RecordCount(&list), 0u);
  EXPECT_EQ(NativeHeapFaults().reallocs, 0u);
  Release(&list);
  EXPECT_EQ(NativeHeapFaults().frees, 0u);
}

TEST_F(EntryListTest, GrowthFailureLeavesListAndRecordsUnchanged) {
  EntryList list;
  Init(&list);
  AppendStamped(&list, 4);
  const EntryList before = list;
  NativeHeapFaults().fail_realloc_at = NativeHeapFaults().reallocs + 1;
  EXPECT_EQ(Append(&list), nullptr);
  ExpectSameDescriptor(list, before);
  ExpectStamped(list, 4);

  // The list is still good: the next growth that the heap allows succeeds.
  fileInfo* rec = Append(&list);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec, list.begin + 4);
  ExpectStamped(list, 4);
  Release(&list);
}

// When the trim cannot be made, a list with a free slot keeps every record and
// takes the terminator there; only a full list gives up its last record.
TEST_F(EntryListTest, FinishFailureLosesARecordOnlyWhenFull) {
  struct Case {
    uint32_t appended;
    uint32_t kept;
    uint32_t capacity_records;
  };
  const Case cases[] = {
      {0, 0, 4},  // terminator in the first slot
      {2, 2, 4},  // room left: nothing lost
      {4, 3, 4},  // full: the terminator replaces record 4
      {5, 5, 8},  // grown, room left
      {8, 7, 8},  // grown and full
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.appended);
    EntryList list;
    Init(&list);
    AppendStamped(&list, c.appended);
    fileInfo* const storage = list.begin;
    NativeHeapFaults().fail_realloc_at = NativeHeapFaults().reallocs + 1;
    Finish(&list);
    EXPECT_EQ(list.begin, storage);
    EXPECT_EQ(list.capacity, c.capacity_records * kRecordBytes);
    EXPECT_EQ(list.end, list.begin + c.capacity_records);
    EXPECT_EQ(list.next, list.begin + c.kept + 1);
    EXPECT_EQ(list.begin[c.kept].method[0], 0);
    EXPECT_EQ(RecordCount(&list), c.kept);
    ExpectStamped(list, c.kept);
    Release(&list);
    ResetHeapFaults();
  }
}

// capacity is a 32-bit byte count, so a doubling that would not fit fails as
// if the heap had refused. The descriptors here claim a huge capacity over a
// one-record buffer: a refused doubling never reaches the heap, and an allowed
// one is made to fail at the heap before anything is reallocated.
TEST_F(EntryListTest, GrowthStopsWhereTheByteCountWouldPass32Bits) {
  struct Case {
    const char* name;
    uint32_t capacity;
    bool asks_heap;
  };
  const Case cases[] = {
      {"2^22 records", (1u << 22) * kRecordBytes, true},
      {"2^23 records", (1u << 23) * kRecordBytes, false},
      {"2^31 - 1 bytes", 0x7FFFFFFFu, true},
      {"2^31 bytes", 0x80000000u, false},
      {"2^32 - 1 bytes", 0xFFFFFFFFu, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetHeapFaults();
    NativeHeapFaults().fail_realloc_at = 1;
    fileInfo slot[1];
    EntryList list{slot, slot + 1, slot + 1, c.capacity, 0};
    const EntryList before = list;
    EXPECT_EQ(Append(&list), nullptr);
    ExpectSameDescriptor(list, before);
    EXPECT_EQ(NativeHeapFaults().reallocs, c.asks_heap ? 1u : 0u);
  }
}

}  // namespace
}  // namespace coretest

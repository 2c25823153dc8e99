// The real DLL under malformed input: the sample containers, mutated in
// fixed ways where their structure lives (bit flips in headers, truncation,
// size fields set to 0, 0xFFFFFFFF and just past the end, sequence indexes
// out of range, chunks and entries duplicated), each written as a file and
// driven through every listing and extraction call a host makes. Whatever
// the bytes, the plug-in must return, with a code from its table, hand over
// well-formed records and blocks, and (where the host can count) hold no
// handle or block afterwards.
#include <stdint.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/fixtures/samples.h"
#include "tests/integration/case_support.h"
#include "tests/integration/check.h"

using namespace itest;
using fixtures::Bytes;

namespace {

constexpr uint32_t kIconHeaderBytes = 22;
constexpr size_t kDirectoryHeaderBytes = 6;
constexpr size_t kDirectoryEntryBytes = 16;
constexpr size_t kRiffHeaderBytes = 12;
constexpr size_t kChunkHeaderBytes = 8;
// The image bytes the listers and the header rebuild read: BITMAPINFOHEADER
// up to biBitCount, or the PNG signature and IHDR up to the bit depth.
constexpr size_t kImageHeaderBytes = 26;
// A mutant can turn a count or a size into thousands of records; each
// mutant extracts its first and last few members only.
constexpr size_t kMembersFromStart = 8;
constexpr size_t kMembersFromEnd = 2;

// Where a sample's structure lies: the bytes listers read, the 32-bit size
// and offset fields with the value that lands one byte past the data, the
// spans that can be duplicated, and the places worth cutting at.
struct SizeField {
  size_t at;
  uint32_t past_end;
};

struct Span {
  size_t at;
  size_t bytes;
  size_t enclosing_size_field;  // 0: none besides the RIFF size
};

struct Anatomy {
  std::vector<size_t> header_bytes;
  std::vector<SizeField> size_fields;
  std::vector<size_t> sequence_indexes;  // offsets of the "seq " entries
  std::vector<Span> spans;
  std::vector<size_t> cuts;
  bool riff = false;
};

void AddRange(std::vector<size_t>& v, size_t from, size_t bytes, size_t limit) {
  for (size_t i = from; i < from + bytes && i < limit; ++i) v.push_back(i);
}

uint32_t PastEnd(size_t size, size_t from) { return static_cast<uint32_t>(size - from + 1); }

Anatomy IconAnatomy(const Bytes& b) {
  Anatomy a;
  const size_t count = b[4] | (b[5] << 8);
  const size_t directory = kDirectoryHeaderBytes + count * kDirectoryEntryBytes;
  AddRange(a.header_bytes, 0, directory, b.size());
  a.cuts = {0, 1, 4, 5, 6, 7, directory - 1, directory, b.size() - 1};
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = kDirectoryHeaderBytes + i * kDirectoryEntryBytes;
    const uint32_t image = fixtures::GetU32(b, entry + 12);
    AddRange(a.header_bytes, image, kImageHeaderBytes, b.size());
    a.size_fields.push_back({entry + 8, PastEnd(b.size(), image)});
    a.size_fields.push_back({entry + 12, static_cast<uint32_t>(b.size())});
    a.spans.push_back({entry, kDirectoryEntryBytes, 0});
    for (size_t cut : {entry + 8, entry + 12, size_t{image}, size_t{image} + 15}) a.cuts.push_back(cut);
  }
  return a;
}

// Walks a well-formed (padded) animated cursor.
Anatomy RiffAnatomy(const Bytes& b) {
  Anatomy a;
  a.riff = true;
  AddRange(a.header_bytes, 0, kRiffHeaderBytes, b.size());
  a.size_fields.push_back({4, PastEnd(b.size(), 8)});
  a.cuts = {0, 4, 8, 11, 12, b.size() - 1};
  for (size_t r = kRiffHeaderBytes; r + kChunkHeaderBytes <= b.size();) {
    const size_t size = fixtures::GetU32(b, r + 4);
    const size_t total = kChunkHeaderBytes + size + (size & 1);
    const bool list = b[r] == 'L' && b[r + 1] == 'I' && b[r + 2] == 'S' && b[r + 3] == 'T';
    const bool sequence = b[r] == 's' && b[r + 1] == 'e' && b[r + 2] == 'q';
    // The contents of "anih" and "seq " are short and all read; a list's
    // form type; never more than 36 bytes of anything else.
    AddRange(a.header_bytes, r, kChunkHeaderBytes + (list ? 4 : std::min<size_t>(size, 36)), b.size());
    a.size_fields.push_back({r + 4, PastEnd(b.size(), r + kChunkHeaderBytes)});
    a.spans.push_back({r, total, 0});
    for (size_t cut : {r, r + 4, r + 7, r + kChunkHeaderBytes, r + total - 1}) a.cuts.push_back(cut);
    if (sequence) {
      for (size_t i = 0; i + 4 <= size; i += 4) a.sequence_indexes.push_back(r + kChunkHeaderBytes + i);
    }
    if (list) {
      for (size_t q = r + kRiffHeaderBytes; q + kChunkHeaderBytes <= r + kChunkHeaderBytes + size;) {
        const size_t sub = fixtures::GetU32(b, q + 4);
        const size_t sub_total = kChunkHeaderBytes + sub + (sub & 1);
        AddRange(a.header_bytes, q, kChunkHeaderBytes, b.size());
        a.size_fields.push_back({q + 4, PastEnd(b.size(), q + kChunkHeaderBytes)});
        a.spans.push_back({q, sub_total, r + 4});
        for (size_t cut : {q, q + 4, q + kChunkHeaderBytes, q + sub_total - 1}) a.cuts.push_back(cut);
        q += sub_total;
      }
    }
    r += total;
  }
  return a;
}

struct Mutant {
  std::string what;
  Bytes bytes;
};

// A copy of `b` with `span` inserted again right after itself, the sizes of
// the enclosing list (if any) and of the RIFF or the directory count grown
// to match, so that the copy is read as a second chunk or entry.
Bytes Duplicated(const Bytes& b, const Span& span, bool riff) {
  Bytes out(b.begin(), b.begin() + span.at + span.bytes);
  out.insert(out.end(), b.begin() + span.at, b.begin() + span.at + span.bytes);
  out.insert(out.end(), b.begin() + span.at + span.bytes, b.end());
  if (riff) {
    fixtures::PutU32(out, 4, static_cast<uint32_t>(out.size() - 8));
    if (span.enclosing_size_field != 0) {
      const size_t at = span.enclosing_size_field;
      fixtures::PutU32(out, at, fixtures::GetU32(out, at) + static_cast<uint32_t>(span.bytes));
    }
  } else {
    fixtures::PutU16(out, 4, (out[4] | (out[5] << 8)) + 1u);
  }
  return out;
}

std::vector<Mutant> Mutants(const std::string& name, const Bytes& b, const Anatomy& a) {
  std::vector<Mutant> out;
  for (size_t at : a.header_bytes) {
    Bytes m = b;
    m[at] ^= static_cast<uint8_t>(1u << (at % 8));
    out.push_back({name + " bit " + std::to_string(at % 8) + " of byte " + std::to_string(at), m});
  }
  std::vector<size_t> cuts = a.cuts;
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  for (size_t cut : cuts) {
    if (cut >= b.size()) continue;
    out.push_back({name + " cut to " + std::to_string(cut) + " bytes", Bytes(b.begin(), b.begin() + cut)});
  }
  for (const SizeField& f : a.size_fields) {
    for (uint32_t value : {0u, 0xFFFFFFFFu, f.past_end}) {
      Bytes m = b;
      fixtures::PutU32(m, f.at, value);
      out.push_back({name + " u32 at " + std::to_string(f.at) + " = " + std::to_string(value), m});
    }
  }
  if (!a.riff) {
    const uint32_t count = b[4] | (b[5] << 8);
    for (uint32_t value : {0u, 0xFFFFu, count + 1}) {
      Bytes m = b;
      fixtures::PutU16(m, 4, value);
      out.push_back({name + " idCount = " + std::to_string(value), m});
    }
  }
  for (size_t at : a.sequence_indexes) {
    for (uint32_t value : {0xFFFFFFFFu, 3u}) {  // the sample has 3 frames
      Bytes m = b;
      fixtures::PutU32(m, at, value);
      out.push_back({name + " sequence index at " + std::to_string(at) + " = " + std::to_string(value), m});
    }
  }
  for (const Span& s : a.spans) {
    out.push_back({name + " span at " + std::to_string(s.at) + " duplicated", Duplicated(b, s, a.riff)});
  }
  return out;
}

bool AllowedCode(int rc) { return rc == 0 || rc == -1 || rc == 4 || rc == 6 || rc == 8; }

bool SameRecord(const Record& x, const Record& y) {
  return x.method == y.method && x.position == y.position && x.compsize == y.compsize &&
         x.filesize == y.filesize && x.path == y.path && x.filename == y.filename && x.crc == y.crc;
}

// The listing as a host receives it: a code from the table, and for 0 a
// block of whole records that ends in the terminator right after the last.
void CheckListing(Context& ctx, const ArchiveInfo& got) {
  CHECK(AllowedCode(got.rc));
  if (got.rc != 0) return;
  CHECK(got.handle_written && got.handle != 0);
  CHECK(got.terminated);
  const size_t record = LayoutFor(ctx.host.Bits()).size;
  CHECK_EQ(got.block_size, (got.records.size() + 1) * record);
  for (const Record& r : got.records) CHECK(r.strings_terminated);
}

// The member's bytes as stored, behind the rebuilt header for icon and
// cursor members (whose header the extraction cases check in full).
void CheckExtracted(Context& ctx, const Bytes& container, const Record& r, const Extracted& got) {
  CHECK(got.dest_written);
  CHECK_EQ(got.block_size, r.filesize);
  const size_t header = r.method[0] == 'a' ? 0 : kIconHeaderBytes;
  if (!CHECK(r.crc <= container.size() && container.size() - r.crc >= r.compsize &&
             got.bytes.size() == header + r.compsize)) {
    return;
  }
  CHECK(Bytes(got.bytes.begin() + header, got.bytes.end()) ==
        Bytes(container.begin() + r.crc, container.begin() + r.crc + r.compsize));
}

// Every call a host makes on one file: listing from the file and from
// memory, then, for the members it drives, lookup by name and extraction to
// memory and to a directory.
void Drive(Context& ctx, const std::string& leaf, const Bytes& bytes) {
  Host& host = ctx.host;
  host.PutFile(leaf, bytes);
  const std::string path = host.PluginPath(leaf);
  const ArchiveInfo from_file = GetArchiveInfoOf(host, path);
  const ArchiveInfo from_memory = GetArchiveInfoOfImage(host, bytes);
  CheckListing(ctx, from_file);
  CheckListing(ctx, from_memory);
  CHECK_EQ(from_file.rc, from_memory.rc);
  if (CHECK_EQ(from_file.records.size(), from_memory.records.size())) {
    for (size_t i = 0; i < from_file.records.size(); ++i) {
      CHECK(SameRecord(from_file.records[i], from_memory.records[i]));
    }
  }

  const std::vector<Record>& records = from_file.records;
  for (size_t i = 0; i < records.size(); ++i) {
    if (i >= kMembersFromStart && i + kMembersFromEnd < records.size()) continue;
    const Record& r = records[i];
    const FileInfoResult info = GetFileInfoOf(host, path, r.path + r.filename);
    CHECK_EQ(info.rc, 0);

    // GetFile finds the first record with the key.
    const Record* member = &r;
    for (const Record& other : records) {
      if (other.position == r.position) {
        member = &other;
        break;
      }
    }
    // A member larger than the whole file cannot be read, and GetFile fails
    // with 6 only after allocating its block: up to 4 GB, which Wine's
    // ReadFile then touches page by page (half a minute per call). Such
    // members are listed and looked up, not extracted.
    if (member->compsize > bytes.size()) continue;
    const Extracted to_memory = GetFileToMemory(host, path, r.position);
    CHECK(AllowedCode(to_memory.rc));
    if (to_memory.rc == 0) CheckExtracted(ctx, bytes, *member, to_memory);

    const int to_directory = GetFileToDirectory(host, path, r.position, "mutants");
    CHECK(AllowedCode(to_directory));
    CHECK_EQ(to_directory, to_memory.rc);
    const std::string written = "mutants\\" + member->filename;
    if (host.Exists(written)) host.RemoveFile(written);
  }
  host.Events().clear();
  host.RemoveFile(leaf);
}

struct Counts {
  int64_t handles, local_blocks, heap_blocks;
};

Counts Held(Host& host) { return {host.LiveHandles(), host.LiveLocalBlocks(), host.LiveHeapBlocks()}; }

}  // namespace

ITEST_CASE(MutatedSamplesFailCleanly) {
  const std::vector<std::pair<std::string, Bytes>> samples = {
      {"ico", fixtures::SampleIcon()},
      {"cur", fixtures::SampleCursor()},
      {"ani", fixtures::SampleAnimatedCursor()}};
  ctx.host.MakeDir("mutants");
  // The parse cache holds one heap block for the last file listed, so the
  // counts are compared with the plug-in freshly loaded.
  const Counts before = Held(ctx.host);
  int n = 0;
  for (const auto& sample : samples) {
    const Bytes& bytes = sample.second;
    const Anatomy anatomy = sample.first == "ani" ? RiffAnatomy(bytes) : IconAnatomy(bytes);
    for (const Mutant& m : Mutants(sample.first, bytes, anatomy)) {
      ctx.Note(m.what);
      Drive(ctx, "mutant" + std::to_string(n++) + "." + sample.first, m.bytes);
      if (ctx.host.CanInject()) {
        ctx.host.Reload();
        const Counts after = Held(ctx.host);
        CHECK_EQ(after.handles, before.handles);
        CHECK_EQ(after.local_blocks, before.local_blocks);
        CHECK_EQ(after.heap_blocks, before.heap_blocks);
      }
    }
  }
  CHECK(n > 0);
}

// make_samples DIR: writes the sample containers the demo and the spihost
// test use: sample.ico (bitmap and PNG images), sample.cur (a cursor) and
// sample.ani (an animated cursor with a sequence), built by the same code
// as the test fixtures.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "tests/fixtures/samples.h"

namespace {

bool WriteFile(const std::string& path, const fixtures::Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) {
    fprintf(stderr, "make_samples: cannot create %s: %s\n", path.c_str(), strerror(errno));
    return false;
  }
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = fclose(file) == 0;
  if (!written || !closed) {
    fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
    return false;
  }
  printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_samples DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    fprintf(stderr, "make_samples: cannot create %s: %s\n", dir.c_str(), strerror(errno));
    return 1;
  }
  const bool ok = WriteFile(dir + "/sample.ico", fixtures::SampleIcon()) &&
                  WriteFile(dir + "/sample.cur", fixtures::SampleCursor()) &&
                  WriteFile(dir + "/sample.ani", fixtures::SampleAnimatedCursor());
  return ok ? 0 : 1;
}

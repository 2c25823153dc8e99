#include "tests/integration/check.h"

#include <stdio.h>

namespace itest {

std::vector<Case>& Registry() {
  static std::vector<Case> cases;
  return cases;
}

void Context::Fail(const char* file, int line, const std::string& text) {
  ++failures;
  printf("    %s:%d: %s%s%s\n", file, line, text.c_str(), note_.empty() ? "" : "  [",
         note_.empty() ? "" : (note_ + "]").c_str());
}

int RunAll(Host& host, const std::string& filter) {
  int passed = 0, failed = 0, skipped = 0;
  printf("== %s\n", host.Name().c_str());
  for (const Case& c : Registry()) {
    if (!filter.empty() && std::string(c.name).find(filter) == std::string::npos) continue;
    if (c.needs_injection && !host.CanInject()) {
      ++skipped;
      continue;
    }
    host.Reload();
    host.Events().clear();
    Context ctx(host);
    c.run(ctx);
    if (ctx.failures == 0) {
      ++passed;
    } else {
      ++failed;
      printf("FAIL %s (%s)\n", c.name, host.Name().c_str());
    }
    fflush(stdout);
  }
  printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
  return failed;
}

}  // namespace itest

// A small case runner for the integration cases: the cases register
// themselves, run against any Host, and report failures with file and line.
// The runner ends with the line "N passed, N failed".
#ifndef GLYPHBOX_TESTS_INTEGRATION_CHECK_H
#define GLYPHBOX_TESTS_INTEGRATION_CHECK_H

#include <stdint.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/host.h"

namespace itest {

class Context {
 public:
  explicit Context(Host& h) : host(h) {}
  Host& host;
  int failures = 0;

  bool Check(bool ok, const char* what, const char* file, int line) {
    if (!ok) Fail(file, line, std::string("CHECK(") + what + ")");
    return ok;
  }

  template <typename A, typename B>
  bool CheckEq(const A& a, const B& b, const char* ta, const char* tb, const char* file, int line) {
    if (a == b) return true;
    std::ostringstream out;
    out << "CHECK_EQ(" << ta << ", " << tb << "): " << Show(a) << " != " << Show(b);
    Fail(file, line, out.str());
    return false;
  }

  void Fail(const char* file, int line, const std::string& text);

  // Adds a note that is printed with any failure after it (which fixture,
  // which row of a table).
  void Note(const std::string& note) { note_ = note; }

 private:
  template <typename T>
  static std::string Show(const T& v) {
    std::ostringstream out;
    out << v;
    return out.str();
  }
  static std::string Show(const uint8_t& v) { return std::to_string(v); }
  static std::string Show(const int8_t& v) { return std::to_string(v); }
  static std::string Show(const std::string& v) { return "\"" + v + "\""; }
  static std::string Show(const char* v) { return std::string("\"") + v + "\""; }
  static std::string Show(const Bytes& v) {
    std::ostringstream out;
    out << v.size() << " bytes";
    return out.str();
  }
  std::string note_;
};

using CaseFunction = void (*)(Context&);

struct Case {
  const char* name;
  CaseFunction run;
  bool needs_injection;
};

std::vector<Case>& Registry();

struct Registrar {
  Registrar(const char* name, CaseFunction run, bool needs_injection) {
    Registry().push_back(Case{name, run, needs_injection});
  }
};

// Runs every registered case whose name contains `filter` (all when empty),
// reloading the plug-in before each. Prints a line per failure and the
// summary; returns the number of failed cases.
int RunAll(Host& host, const std::string& filter);

}  // namespace itest

#define ITEST_CASE_IMPL(name, injection)                                        \
  static void name(::itest::Context& ctx);                                      \
  static ::itest::Registrar registrar_##name(#name, name, injection);           \
  static void name(::itest::Context& ctx)

// A case for every host.
#define ITEST_CASE(name) ITEST_CASE_IMPL(name, false)
// A case that needs counting or fault injection (emulated host only).
#define ITEST_INJECTION_CASE(name) ITEST_CASE_IMPL(name, true)

#define CHECK(cond) ctx.Check(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(a, b) ctx.CheckEq((a), (b), #a, #b, __FILE__, __LINE__)

#endif

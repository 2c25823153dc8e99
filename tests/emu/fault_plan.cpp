#include "tests/emu/fault_plan.h"

namespace emu {
namespace {

// What each import can be made to do instead of its work; the
// implementations (win32_*.cpp) give each mode its Windows behaviour.
struct FaultModes {
  const char* function;
  std::vector<std::string> modes;
};

const std::vector<FaultModes>& SupportedFaults() {
  static const std::vector<FaultModes> faults = {
      {"HeapAlloc", {"fail"}},
      {"HeapReAlloc", {"fail"}},
      {"LocalAlloc", {"fail"}},
      {"CreateFileA", {"fail"}},
      {"GetFileSize", {"fail"}},
      {"GetFileAttributesExA", {"fail"}},
      // fail: FALSE with an error, nothing read; short: TRUE, one byte fewer
      // than the request would give; empty: TRUE, nothing read; noerror:
      // the whole read, but FALSE with last error 0.
      {"ReadFile", {"fail", "short", "empty", "noerror"}},
      {"SetFilePointer", {"fail"}},
      {"WriteFile", {"fail"}},
      {"MultiByteToWideChar", {"fail"}},
  };
  return faults;
}

}  // namespace

std::string CountCall(FaultPlan& plan, const std::string& function) {
  const uint64_t n = ++plan.calls[function];
  for (auto it = plan.faults.begin(); it != plan.faults.end(); ++it) {
    if (it->function == function && it->at_call == n) {
      const std::string mode = it->mode;
      plan.faults.erase(it);
      return mode;
    }
  }
  return "";
}

bool PlanFault(FaultPlan& plan, const std::string& request, uint32_t nth, std::string* error) {
  const size_t dot = request.find('.');
  const std::string function = request.substr(0, dot);
  const std::string mode = dot == std::string::npos ? "fail" : request.substr(dot + 1);
  if (nth == 0) {
    *error = "FailCall(" + request + ", 0): calls are counted from 1";
    return false;
  }
  for (const FaultModes& f : SupportedFaults()) {
    if (function != f.function) continue;
    for (const std::string& m : f.modes) {
      if (m == mode) {
        plan.faults.push_back(PlannedFault{function, mode, plan.calls[function] + nth});
        return true;
      }
    }
  }
  *error = "FailCall(" + request + "): the emulated host cannot fail that";
  return false;
}

uint64_t CallsSinceReset(const FaultPlan& plan, const std::string& function) {
  auto c = plan.calls.find(function);
  if (c == plan.calls.end()) return 0;
  auto b = plan.reset_base.find(function);
  return c->second - (b == plan.reset_base.end() ? 0 : b->second);
}

void ResetCounts(FaultPlan& plan) { plan.reset_base = plan.calls; }

void ClearFaults(FaultPlan& plan) { plan.faults.clear(); }

}  // namespace emu

// Counting the plug-in's calls of each imported function, and the failures
// planned for particular calls: "the Nth call of ReadFile from now fails".
// A planned failure names the function and, after a dot, a way of failing
// where a function has more than one ("ReadFile.short").
#ifndef GLYPHBOX_TESTS_EMU_FAULT_PLAN_H
#define GLYPHBOX_TESTS_EMU_FAULT_PLAN_H

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

namespace emu {

struct PlannedFault {
  std::string function;
  std::string mode;  // "fail", or the part after the dot
  uint64_t at_call;  // the function's call number (since start) that fails
};

struct FaultPlan {
  std::map<std::string, uint64_t> calls;       // since start
  std::map<std::string, uint64_t> reset_base;  // calls at the last ResetCounts
  std::vector<PlannedFault> faults;
};

// Counts a call of `function` and returns how it is to fail: "" for not at
// all, else the planned mode (each planned fault fires once).
std::string CountCall(FaultPlan& plan, const std::string& function);

// Plans `request` ("Function" or "Function.mode") for the nth call from now.
// False, with the reason, for a function or mode the host cannot fail.
bool PlanFault(FaultPlan& plan, const std::string& request, uint32_t nth, std::string* error);

uint64_t CallsSinceReset(const FaultPlan& plan, const std::string& function);
void ResetCounts(FaultPlan& plan);
void ClearFaults(FaultPlan& plan);

}  // namespace emu

#endif

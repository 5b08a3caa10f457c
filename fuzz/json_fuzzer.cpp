// libFuzzer target over the JSON road: arbitrary bytes are parsed, loaded,
// compiled into a Solver and searched under a small budget. The documented
// failures (the JSON library's errors, std::out_of_range, std::runtime_error)
// are expected outcomes; anything else escaping, and every sanitizer report, is
// a finding.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"
#include "model/problem.h"
#include "solver/solver.h"

namespace {

// Bounds that keep one input well under a second even under the sanitizers.
constexpr uint64_t kExpansionBudget = 64;
constexpr double kTimeLimitSeconds = 0.25;
constexpr uint64_t kMemoryLimitBytes = 64ull << 20;

void SolveDocument(const std::string& text) {
  const nlohmann::json doc = nlohmann::json::parse(text);
  quarn::Problem problem;
  quarn::load_problem_from_json(doc, problem);
  problem.options().time_limit = kTimeLimitSeconds;
  quarn::Solver solver(problem, problem.options());
  solver.SetExpansionBudget(kExpansionBudget);
  solver.SetMemoryLimit(kMemoryLimitBytes);
  solver.solve();
  // Read everything a caller can read, so copies of the results are exercised too.
  const quarn::Result result = solver.get_result();
  const auto record = solver.get_result_process();
  (void)solver.GetBounds();
  (void)result;
  (void)record;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Silences the solver's diagnostic lines, which would otherwise dominate the run:
  // a stream in the bad state writes nothing. Only the C++ streams, so the reports
  // libFuzzer and the sanitizers write to the raw descriptors stay visible.
  std::cout.setstate(std::ios_base::badbit);
  std::cerr.setstate(std::ios_base::badbit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    SolveDocument(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const nlohmann::json::exception&) {
  } catch (const std::out_of_range&) {
  } catch (const std::runtime_error&) {
  }
  return 0;
}

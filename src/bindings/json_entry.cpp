#include "bindings/json_entry.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>
#include <pybind11/stl.h>

#include "bindings/search_controls.h"
#include "io/json_loader.h"
#include "records/improving_solutions.h"
#include "solver/solver.h"

namespace py = pybind11;

namespace quarn::bindings {

// A seconds value that converts exactly like a double but is shown as plain
// "float" in the signature, as the functions are documented.
struct Seconds {
  double value = -1.0;
};

struct DocumentText {
  std::string bytes;
};

}  // namespace quarn::bindings

namespace pybind11::detail {

template <>
struct type_caster<quarn::bindings::Seconds> {
  PYBIND11_TYPE_CASTER(quarn::bindings::Seconds, const_name("float"));
  bool load(handle src, bool convert) {
    make_caster<double> inner;
    if (!inner.load(src, convert)) return false;
    value.value = cast_op<double>(inner);
    return true;
  }
  static handle cast(quarn::bindings::Seconds src, return_value_policy, handle) {
    return PyFloat_FromDouble(src.value);
  }
};

// A document as the bytes the JSON parser reads: bytes (and bytearray) as they
// are, text as UTF-8. Text that is no valid Unicode (lone surrogates) still
// reaches the parser, which rejects it as it rejects any other malformed document:
// surrogateescape gives back the bytes a file read with that handler held,
// surrogatepass encodes the rest.
template <>
struct type_caster<quarn::bindings::DocumentText> {
  PYBIND11_TYPE_CASTER(quarn::bindings::DocumentText, const_name("str | bytes"));
  bool load(handle src, bool convert) {
    if (PyUnicode_Check(src.ptr()) && PyUnicode_AsUTF8AndSize(src.ptr(), nullptr) == nullptr) {
      PyErr_Clear();
      for (const char* errors : {"surrogateescape", "surrogatepass"}) {
        auto raw = reinterpret_steal<object>(PyUnicode_AsEncodedString(src.ptr(), "utf-8", errors));
        if (raw) return load(raw, convert);
        PyErr_Clear();
      }
      return false;
    }
    make_caster<std::string> text;
    if (!text.load(src, convert)) return false;
    value.bytes = cast_op<std::string&&>(std::move(text));
    return true;
  }
  static handle cast(const quarn::bindings::DocumentText& src, return_value_policy, handle) {
    return PyBytes_FromStringAndSize(src.bytes.data(), static_cast<Py_ssize_t>(src.bytes.size()));
  }
};

}  // namespace pybind11::detail

namespace quarn::bindings {
namespace {

// Route costs in ascending agent order, so sums do not depend on hash order.
std::vector<double> CostsByAgent(const Result& result) {
  std::vector<std::pair<int32_t, double>> entries(result.times.begin(), result.times.end());
  std::sort(entries.begin(), entries.end());
  std::vector<double> costs;
  costs.reserve(entries.size());
  for (const auto& entry : entries) costs.push_back(entry.second);
  return costs;
}

py::dict RouteEntry(const Agent& agent, const Result& result, int32_t agent_index) {
  py::dict route;
  route["agent_id"] = agent.id;
  auto path = result.paths.find(agent_index);
  route["path"] = path == result.paths.end() ? std::vector<int32_t>{} : path->second;
  route["cost"] = CostOf(result, agent_index);
  // Both measures, when the document gives distances beside the durations.
  auto distance = result.distances.find(agent_index);
  if (distance != result.distances.end()) {
    auto duration = result.durations.find(agent_index);
    route["duration"] = duration == result.durations.end() ? 0.0 : duration->second;
    route["distance"] = distance->second;
  }
  return route;
}

// `bytes` as text Python can show: bytes that are not UTF-8 become \xNN escapes.
// The JSON library quotes the bytes it stopped at, and a path given as bytes may
// hold any; pybind11 would fail to decode such a message and raise
// UnicodeDecodeError in place of the error itself.
std::string Displayable(const std::string& bytes) {
  auto text = py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "backslashreplace"));
  if (!text) throw py::error_already_set();
  return text.cast<std::string>();
}

[[noreturn]] void CannotOpen(const std::string& path) {
  throw std::runtime_error("Cannot open file: " + Displayable(path));
}

std::string ReadFile(const std::string& path) {
  // The C library stops at an embedded NUL and would open another file than named.
  if (path.find('\0') != std::string::npos) CannotOpen(path);
  std::ifstream in(path);
  // A directory opens without complaint on this platform, so ask explicitly.
  std::error_code ec;
  if (!in || std::filesystem::is_directory(path, ec)) CannotOpen(path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) CannotOpen(path);
  return text.str();
}

// Some target may be left out: a penalty on a node, or one by default.
bool HasOptionalTargets(const Problem& problem) {
  if (problem.options().default_penalty) return true;
  return std::any_of(problem.nodes().begin(), problem.nodes().end(),
                     [](const Node& node) { return node.penalty.has_value(); });
}

// The left-out targets by node id, ascending, each with its reason or None.
void AddUnassigned(const Result& result, const Problem& problem, py::dict& out) {
  std::vector<std::pair<uint64_t, std::string>> left;
  for (size_t i = 0; i < result.unassigned.size(); ++i) {
    const std::string reason = i < result.unassigned_reasons.size() ? result.unassigned_reasons[i] : "";
    left.emplace_back(problem.nodes()[static_cast<size_t>(result.unassigned[i])].id, reason);
  }
  std::sort(left.begin(), left.end());
  py::list ids;
  py::list reasons;
  for (const auto& [id, reason] : left) {
    ids.append(id);
    reasons.append(reason.empty() ? py::object(py::none()) : py::object(py::str(reason)));
  }
  out["unassigned"] = std::move(ids);
  out["unassigned_reasons"] = std::move(reasons);
  out["penalty"] = result.penalty;
}

py::dict build_result_dict(const Result& result, const Problem& problem, double solve_time) {
  py::dict out;
  out["status"] = result.paths.empty() ? "failed" : "success";
  out["timeout"] = result.timeout;
  py::list routes;
  std::vector<double> costs;
  double sum_cost = 0.0;
  int32_t agent_index = 0;
  for (const Agent& agent : problem.agents_ordered()) {
    py::dict route = RouteEntry(agent, result, agent_index++);
    costs.push_back(route["cost"].cast<double>());
    sum_cost += costs.back();
    routes.append(std::move(route));
  }
  out["routes"] = std::move(routes);
  py::dict stats;
  stats["solve_time"] = solve_time;
  stats["max_cost"] = LongestRoute(costs);
  stats["sum_cost"] = sum_cost;
  stats["n_generated"] = result.n_generated;
  stats["n_expanded"] = result.n_expanded;
  stats["last_update_time"] = result.last_update_time;
  out["statistics"] = std::move(stats);
  if (HasOptionalTargets(problem)) AddUnassigned(result, problem, out);
  return out;
}

py::dict AnytimeEntry(double time, double max_cost, double sum_cost) {
  py::dict entry;
  entry["time"] = time;
  entry["max_cost"] = max_cost;
  entry["sum_cost"] = sum_cost;
  return entry;
}

// The last record is the returned solution, so it always closes the list: where it
// only ties the last kept entry in the objective (the post-optimizers may trade the
// other cost), it takes that entry's place.
py::list build_anytime_list(const std::vector<std::pair<double, Result>>& record, bool min_sum,
                            bool optional_targets) {
  py::list out;
  ImprovingSolutions kept(min_sum);
  double last_max = 0.0;
  double last_sum = 0.0;
  for (size_t i = 0; i < record.size(); ++i) {
    const auto& [time, result] = record[i];
    const std::vector<double> costs = CostsByAgent(result);
    double sum_cost = 0.0;
    for (double cost : costs) sum_cost += cost;
    double max_cost = LongestRoute(costs);
    // The objective: the left-out targets' penalties count under either measure.
    if (optional_targets) {
      max_cost += result.penalty;
      sum_cost += result.penalty;
    }
    const bool kept_now = kept.Keep(max_cost, sum_cost);
    const bool differs = max_cost != last_max || sum_cost != last_sum;
    if (!kept_now && !(i + 1 == record.size() && !out.empty() && differs)) continue;
    if (!kept_now) out.attr("pop")();
    out.append(AnytimeEntry(time, max_cost, sum_cost));
    last_max = max_cost;
    last_sum = sum_cost;
  }
  return out;
}

// Reading a large document takes seconds: Ctrl-C is acted on while it is read, as
// during the search.
// nlohmann/json takes a document apart with a stack of its own, so a document
// dropped because memory ran out needs memory to be destroyed, and a failure
// there, inside a destructor, ends the process. While a document is read, a
// block is held back and given up when an allocation fails, which still throws
// std::bad_alloc as it would have: the block is the room to take the document apart.
class MemoryReserve {
 public:
  MemoryReserve() {
    // Taking apart a document of 10,000 nodes needs well under a MiB; near the
    // limit already, any smaller block still helps.
    void* block = nullptr;
    for (size_t bytes = size_t{4} << 20; block == nullptr && bytes >= (size_t{64} << 10); bytes /= 2) {
      block = std::malloc(bytes);
    }
    if (block == nullptr) return;
    void* expected = nullptr;
    if (!block_.compare_exchange_strong(expected, block)) {  // one is held already
      std::free(block);
      return;
    }
    owner_ = true;
    previous_ = std::set_new_handler(&GiveUp);
  }
  ~MemoryReserve() {
    if (!owner_) return;
    std::set_new_handler(previous_);
    std::free(block_.exchange(nullptr));
  }
  MemoryReserve(const MemoryReserve&) = delete;
  MemoryReserve& operator=(const MemoryReserve&) = delete;

 private:
  static void GiveUp() {
    std::free(block_.exchange(nullptr));
    throw std::bad_alloc();
  }
  static inline std::atomic<void*> block_{nullptr};
  bool owner_ = false;
  std::new_handler previous_ = nullptr;
};

nlohmann::json ParseDocument(const std::string& text) {
  constexpr uint32_t kValuesPerCheck = 1u << 16;
  uint32_t values = 0;
  using Event = nlohmann::json::parse_event_t;
  const nlohmann::json::parser_callback_t check = [&values](int, Event, nlohmann::json&) {
    if (++values % kValuesPerCheck == 0) CheckSignals();
    return true;
  };
  return nlohmann::json::parse(text, check);
}

// `start`: when the call began, before the document was read; with "improve" the
// time limit counts from there.
py::dict solve_json_document(const std::string& text, double time_limit, const py::object& progress,
                             std::chrono::steady_clock::time_point start) {
  Problem problem;
  try {
    const MemoryReserve reserve;
    load_problem_from_json(ParseDocument(text), problem);
  } catch (const nlohmann::json::exception& error) {
    throw std::runtime_error(Displayable(error.what()));  // RuntimeError either way
  }
  CheckSignals();
  // NaN is not greater than 0 either, so it leaves the document's limit; +inf
  // lifts the limit, and the search then ends on its own or at the memory bound.
  if (time_limit > 0) problem.options().time_limit = time_limit;

  auto t0 = std::chrono::steady_clock::now();
  Options options = problem.options();
  Solver solver(problem, options);
  solver.SetClockOrigin(start);
  CheckSignals();
  InstallInterruptCheck(solver);
  InstallProgress(solver, progress);
  solver.solve();
  auto t1 = std::chrono::steady_clock::now();
  double solve_time =
      std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count() / 1e9;

  Result result = solver.get_result();
  std::vector<std::pair<double, Result>> record = solver.get_result_process();
  py::dict out = build_result_dict(result, problem, solve_time);
  out["anytime"] =
      build_anytime_list(record, problem.options().objective == ObjectiveType::MinSum, HasOptionalTargets(problem));
  return out;
}

py::dict solve_json_file(const std::string& input_path, double time_limit, const py::object& progress) {
  const auto start = std::chrono::steady_clock::now();
  return solve_json_document(ReadFile(input_path), time_limit, progress, start);
}

py::dict solve_json_str(const std::string& json_str, double time_limit, const py::object& progress) {
  return solve_json_document(json_str, time_limit, progress, std::chrono::steady_clock::now());
}

}  // namespace

void BindJsonEntryPoints(py::module_& m) {
  m.def(
      "solve_json_file",
      [](const std::string& input_path, Seconds time_limit, const py::object& progress) {
        return solve_json_file(input_path, time_limit.value, progress);
      },
      py::arg("input_path"), py::arg_v("time_limit", Seconds{-1.0}, "-1"),
      py::arg("progress") = py::none(),
        "Solve an MTSP instance from a JSON file path.\n"
        "Returns a dict with keys: status, routes, statistics, anytime, timeout.\n"
        "progress: None, or a callable given a dict (elapsed, objective, phase, solutions)\n"
        "at most ten times a second; a truthy return stops the solve as its time limit does.");
  m.def(
      "solve_json_str",
      [](const DocumentText& json_str, Seconds time_limit, const py::object& progress) {
        return solve_json_str(json_str.bytes, time_limit.value, progress);
      },
      py::arg("json_str"), py::arg_v("time_limit", Seconds{-1.0}, "-1"),
      py::arg("progress") = py::none(),
        "Solve an MTSP instance from a JSON string.\n"
        "Returns a dict with keys: status, routes, statistics, anytime, timeout.\n"
        "progress: None, or a callable given a dict (elapsed, objective, phase, solutions)\n"
        "at most ten times a second; a truthy return stops the solve as its time limit does.");
}

}  // namespace quarn::bindings

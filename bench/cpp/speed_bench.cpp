// Search speed under a fixed expansion budget, so that two builds can be
// compared on exactly the same work. One line of key=value pairs per instance.
//
//   zel_speed_bench [--budget N] [--agents K] [--min-sum] [--time-limit S] FILE.tsp...
//
// ru_maxrss is the peak of the whole process, so run one file per process when
// the memory figures matter (bench/cpp/run_speed.sh does).

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "solver/solver.h"
#include "tsplib_instance.h"

namespace {

struct Settings {
  uint64_t budget = 200000;
  int agents = 3;
  quarn::ObjectiveType objective = quarn::ObjectiveType::MinMax;
  double time_limit = 3600.0;
  std::vector<std::string> files;
};

Settings ParseArguments(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--budget") {
      settings.budget = std::stoull(value());
    } else if (arg == "--agents") {
      settings.agents = std::stoi(value());
    } else if (arg == "--time-limit") {
      settings.time_limit = std::stod(value());
    } else if (arg == "--min-sum") {
      settings.objective = quarn::ObjectiveType::MinSum;
    } else {
      settings.files.push_back(arg);
    }
  }
  if (settings.files.empty()) throw std::invalid_argument("no TSPLIB file given");
  return settings;
}

uint64_t PeakRssBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

uint64_t CurrentRssBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  uint64_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<uint64_t>(sysconf(_SC_PAGE_SIZE));
}

std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.substr(0, name.find('.'));
}

double SolutionCost(const quarn::Result& result, quarn::ObjectiveType objective) {
  double largest = 0.0;
  double sum = 0.0;
  for (const auto& entry : result.times) {
    largest = std::max(largest, entry.second);
    sum += entry.second;
  }
  return objective == quarn::ObjectiveType::MinMax ? largest : sum;
}

void RunOne(const Settings& settings, const std::string& path) {
  quarn::Options options;
  options.objective = settings.objective;
  options.return_to_end = true;
  options.time_limit = settings.time_limit;
  quarn::Solver solver(quarn::bench::ReadTsplibInstance(path, settings.agents), options);
  solver.SetExpansionBudget(settings.budget);

  const uint64_t rss_before = CurrentRssBytes();
  const auto start = std::chrono::steady_clock::now();
  const int32_t status = solver.solve();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const uint64_t peak = PeakRssBytes();

  const quarn::Result result = solver.get_result();
  const double generated = result.n_generated;
  const double expanded = result.n_expanded;
  std::ostringstream anytime;
  for (const auto& entry : solver.get_result_process()) {
    char cost[32];
    std::snprintf(cost, sizeof(cost), "%.17g", SolutionCost(entry.second, settings.objective));
    anytime << (anytime.tellp() > 0 ? "," : "") << cost;
  }
  std::cout << "instance=" << BaseName(path) << " agents=" << settings.agents
            << " budget=" << settings.budget << " status=" << status
            << " timeout=" << result.timeout << " generated=" << result.n_generated
            << " expanded=" << result.n_expanded << " seconds=" << seconds
            << " labels_per_s=" << static_cast<uint64_t>(generated / seconds)
            << " ns_per_expansion=" << static_cast<uint64_t>(seconds * 1e9 / expanded)
            << " peak_rss_kb=" << peak / 1024
            << " bytes_per_label=" << static_cast<uint64_t>(static_cast<double>(peak) / generated)
            << " search_bytes_per_label="
            << static_cast<int64_t>(static_cast<double>(peak) - static_cast<double>(rss_before)) /
                   static_cast<int64_t>(std::max(1.0, generated))
            << " anytime=" << anytime.str() << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Settings settings = ParseArguments(argc, argv);
    for (const std::string& file : settings.files) RunOne(settings, file);
  } catch (const std::exception& error) {
    std::cerr << "zel_speed_bench: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}

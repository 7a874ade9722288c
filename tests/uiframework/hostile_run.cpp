// Runs hostile skins (hostile_skins.h) and prints, for each, whether it was
// built or refused, how long that took and the process's peak memory.
// Peak memory is the process's, so bench/uiframework_hostile.sh runs one
// skin per process.
//   uiframework_hostile_run [--lift-budget] [--log] [name...]   (no name: all)
//   uiframework_hostile_run --list                              (the names)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include "basekit/log/log.h"
#include "tests/uiframework/hostile_skins.h"

namespace {

double PeakMiB() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return -1;
  return static_cast<double>(std::max(counters.PeakWorkingSetSize, counters.PeakPagefileUsage)) / (1 << 20);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  bool lift_budget = false;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--list") == 0) {
      for (const auto& skin : Veneer::test::HostileSkins()) std::printf("%s\n", skin.name);
      return 0;
    }
    if (std::strcmp(argv[i], "--lift-budget") == 0) {
      lift_budget = true;
    } else if (std::strcmp(argv[i], "--log") == 0) {
      basekit::GetLog()->SetLogDescriptor(2);
      basekit::GetLog()->SetLevel(12);
    } else {
      names.push_back(argv[i]);
    }
  }
  if (names.empty()) {
    for (const auto& skin : Veneer::test::HostileSkins()) names.push_back(skin.name);
  }
  int status = 0;
  for (const std::string& name : names) {
    const Veneer::test::HostileSkin* skin = Veneer::test::FindHostileSkin(name);
    if (skin == nullptr) {
      std::printf("%s: no such hostile skin\n", name.c_str());
      status = 2;
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    const Veneer::test::HostileOutcome outcome = skin->run(lift_budget);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %s in %.0f ms (%.0f ms with making the input), peak %.0f MiB; %s%s\n", name.c_str(),
                outcome.built ? "built" : "refused", outcome.ms, ms, PeakMiB(), outcome.detail.c_str(),
                outcome.sound ? "" : " (UNSOUND)");
    std::fflush(stdout);
    if (!outcome.sound) status = 1;
  }
  return status;
}

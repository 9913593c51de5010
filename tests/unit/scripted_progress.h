#pragma once

// Long work run on the test's own thread, one step at a time: a step is one
// question whether to stop (counted from 1). At a chosen step the work
// pauses while the test changes the machine, and from a chosen step on it is
// told to stop. Everything the work reported is recorded.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "presenter/progress.h"

namespace cu::testing {

class ScriptedProgress : public Progress {
 public:
  bool StopRequested() override {
    ++steps;
    if (auto pause = pauses.find(steps); pause != pauses.end()) pause->second();
    return stop_from > 0 && steps >= stop_from;
  }
  void SetAction(const std::string& action) override { actions.push_back(action); }
  void Report(uint64_t done, uint64_t bytes) override { reports.emplace_back(done, bytes); }

  int stop_from = 0;                           // 0: never
  std::map<int, std::function<void()>> pauses;  // step -> the change made there
  int steps = 0;                               // questions asked so far
  std::vector<std::string> actions;            // every SetAction
  std::vector<std::pair<uint64_t, uint64_t>> reports;  // every Report: done, bytes
};

}  // namespace cu::testing

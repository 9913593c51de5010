#pragma once

// The Ui the benchmarks hand to presenters: no window, fixed answers. The
// loads ask nothing; Clear is answered Yes, Save with a fixed path. Long
// work runs on a thread of its own with the progress the window uses, so
// its cost is measured as the window pays it.

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "presenter/ui.h"

namespace cu::bench {

class QuietUi : public Ui {
 public:
  bool confirm = true;
  std::optional<std::string> save_path;
  std::optional<std::string> input;

  bool Confirm(const std::string&) override { return confirm; }
  std::optional<std::string> InputBox(const std::string&, const std::string&,
                                      std::size_t) override {
    return input;
  }
  std::optional<std::string> ChooseSaveFile() override { return save_path; }
  int ShowInfo(const InfoRequest&) override { return kResultCancel; }
  void ShowMessage(const std::string&) override {}
  void Repaint() override {}
  void RefreshPageSoon(Page) override {}
  void CloseWindow() override {}
  void SetBusyCursor(bool) override {}
  void RunWork(const WorkRequest& request, const std::function<void(Progress&)>& work) override {
    SharedProgress progress(request.action);
    std::exception_ptr failure;
    std::thread worker([&] {
      try {
        work(progress);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    worker.join();
    if (failure) std::rethrow_exception(failure);
  }
};

}  // namespace cu::bench

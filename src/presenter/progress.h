#pragma once

// Long work (clearing a tree, waiting for a service, writing a report over
// many files) runs off the window's thread. It tells how far it got through
// Progress and asks it, between two units of work, whether to stop; a unit
// is done whole or not at all (one entry deleted or untouched, one row
// written, one status query).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace cu {

class Progress {
 public:
  virtual ~Progress() = default;
  // True once the user asked to stop; the work ends before its next unit.
  [[nodiscard]] virtual bool StopRequested() = 0;
  // What is being done now ("Starting <name>"), when it changes mid-way.
  virtual void SetAction(const std::string& action) = 0;
  // Units done so far and the bytes they freed.
  virtual void Report(uint64_t done, uint64_t bytes) = 0;
};

// How the progress dialog shows the counts.
enum class WorkKind {
  kClearing,  // "Removed <n> entries (<size>)", a marquee
  kRows,      // "<n> of <total>", a bar filling towards the total
  kWaiting,   // no counts, a marquee
};

struct WorkRequest {
  std::string action;  // the dialog's first line: "Clearing C:\...\Temp"
  WorkKind kind = WorkKind::kWaiting;
  uint64_t total = 0;  // for kRows
};

// Progress shared between the thread doing the work and the thread showing
// it: the worker writes, the window reads a snapshot now and then and sets
// the stop flag. Cheap enough to report every single entry.
class SharedProgress : public Progress {
 public:
  struct Snapshot {
    std::string action;
    uint64_t done = 0;
    uint64_t bytes = 0;
  };

  explicit SharedProgress(std::string action) : action_(std::move(action)) {}

  bool StopRequested() override { return stop_.load(std::memory_order_relaxed); }
  void SetAction(const std::string& action) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    action_ = action;
  }
  void Report(uint64_t done, uint64_t bytes) override {
    done_.store(done, std::memory_order_relaxed);
    bytes_.store(bytes, std::memory_order_relaxed);
  }

  void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
  [[nodiscard]] Snapshot Take() {
    Snapshot snapshot;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      snapshot.action = action_;
    }
    snapshot.done = done_.load(std::memory_order_relaxed);
    snapshot.bytes = bytes_.load(std::memory_order_relaxed);
    return snapshot;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> done_{0};
  std::atomic<uint64_t> bytes_{0};
  std::mutex mutex_;
  std::string action_;
};

// A size as a user reads it: "532 bytes", "1.2 KB", "12.3 MB", "1.2 GB"
// (units of 1024, one decimal, the user's number format).
[[nodiscard]] std::string ByteSizeText(Locale& locale, uint64_t bytes);

// The progress dialog's counts line: "Removed 1,234 entries (12.3 MB)" for
// clearing, "12 of 300" for rows, nothing for a wait.
[[nodiscard]] std::string ProgressCountsText(Locale& locale, const WorkRequest& request,
                                             uint64_t done, uint64_t bytes);

}  // namespace cu

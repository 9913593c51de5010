#pragma once

// What clearing a folder would remove, counted before the question: the
// same walk as the clearing (delete_tree.h), taking nothing away.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "folders/delete_tree.h"
#include "platform/platform.h"
#include "presenter/progress.h"

namespace cu {

// Counts the entries inside an open folder that clearing would remove, by
// its rules: links are neither followed nor counted, a name beginning with
// "." is left with all it holds, a folder that cannot be opened counts
// without its content. Fills files, folders and bytes (the sizes the search
// reports); `left` stays 0. With `progress`, asked before every entry
// whether to stop (the tally then says so).
void CountOpenFolderContents(RemovalFolder& folder, RemovalTally& tally, Progress* progress);

// "12,345 files and 678 folders (1.2 GB) to clear" in the numbers, sizes and
// singular forms of the clearing's result line; "Nothing to clear" when the
// folder holds nothing clearing would remove.
[[nodiscard]] std::string CountResultText(Locale& locale, const RemovalTally& tally);

// Counts one folder at a time on a thread of its own, so that selecting a
// row never waits for its count. A new count or Stop ends the one running
// between two entries; its result is never shown.
class FolderCounter {
 public:
  // Told, on the worker, when a count has ended.
  using Notify = std::function<void()>;

  explicit FolderCounter(FileSystem& files) : files_(files) {}
  ~FolderCounter();  // stops the count and waits for the worker
  FolderCounter(const FolderCounter&) = delete;
  FolderCounter& operator=(const FolderCounter&) = delete;

  // From now on counts run on a thread of its own, which tells `notify`.
  // Until then they run only in RunQueued, on the caller's thread.
  void StartWorker(Notify notify);
  // Counts what clearing `path` would remove (a link at the path itself is
  // followed, as the clearing does), in place of any count before.
  void Count(const std::string& path);
  // Ends the count asked for last; nothing of it is shown.
  void Stop();
  // The line for the count asked for last: "Counting..." until it ends,
  // then CountResultText; "" after Stop, and when the folder did not open.
  [[nodiscard]] std::string ResultText(Locale& locale) const;
  // Runs the count asked for, on the calling thread (without a worker).
  void RunQueued();

 private:
  // The stop flag of one count, asked between two entries.
  class Stopping : public Progress {
   public:
    explicit Stopping(const FolderCounter& counter, uint64_t ticket)
        : counter_(counter), ticket_(ticket) {}
    bool StopRequested() override;
    void SetAction(const std::string&) override {}
    void Report(uint64_t, uint64_t) override {}

   private:
    const FolderCounter& counter_;
    uint64_t ticket_;
  };
  enum class State { kNone, kCounting, kDone };
  void Work();
  void CountNow(const std::string& path, uint64_t ticket);

  FileSystem& files_;
  Notify notify_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  // The count asked for last: written under the mutex, read without it by
  // the running count before every entry.
  std::atomic<uint64_t> ticket_{0};
  std::optional<std::string> queued_;
  State state_ = State::kNone;
  RemovalTally result_;
  bool stop_ = false;
  std::thread worker_;
};

}  // namespace cu

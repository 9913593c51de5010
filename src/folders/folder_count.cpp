#include "folders/folder_count.h"


namespace cu {

void CountOpenFolderContents(RemovalFolder& folder, RemovalTally& tally, Progress* progress) {
  while (std::optional<FindData> entry = folder.Next()) {
    if (progress && progress->StopRequested()) {
      tally.stopped = true;
      return;
    }
    if (entry->long_name.empty() || entry->long_name[0] == '.' ||
        (entry->attributes & kAttrReparsePoint) != 0) {
      continue;
    }
    if ((entry->attributes & kAttrDirectory) != 0) {
      ++tally.folders;
      // Gone, refused, or a link by now: counted, with nothing inside.
      if (std::unique_ptr<RemovalFolder> child = folder.OpenCurrentFolder()) {
        CountOpenFolderContents(*child, tally, progress);
        if (tally.stopped) return;
      }
    } else {
      ++tally.files;
      tally.bytes += entry->size;
    }
  }
}

std::string CountResultText(Locale& locale, const RemovalTally& tally) {
  if (tally.files == 0 && tally.folders == 0) return "Nothing to clear";
  const auto counted = [&locale](uint64_t count, const char* one, const char* many) {
    return locale.FormatSize(count) + " " + (count == 1 ? one : many);
  };
  return counted(tally.files, "file", "files") + " and " +
         counted(tally.folders, "folder", "folders") + " (" + ByteSizeText(locale, tally.bytes) +
         ") to clear";
}

FolderCounter::~FolderCounter() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    ++ticket_;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void FolderCounter::StartWorker(Notify notify) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    notify_ = std::move(notify);
  }
  if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
}

void FolderCounter::Count(const std::string& path) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++ticket_;
    queued_ = path;
    state_ = State::kCounting;
  }
  wake_.notify_all();
}

void FolderCounter::Stop() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++ticket_;
  queued_.reset();
  state_ = State::kNone;
}

std::string FolderCounter::ResultText(Locale& locale) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  switch (state_) {
    case State::kCounting:
      return "Counting...";
    case State::kDone:
      return CountResultText(locale, result_);
    case State::kNone:
      break;
  }
  return {};
}

bool FolderCounter::Stopping::StopRequested() {
  return counter_.ticket_.load(std::memory_order_relaxed) != ticket_;
}

void FolderCounter::CountNow(const std::string& path, uint64_t ticket) {
  RemovalTally tally;
  bool opened = false;
  {
    RemovalRoot root = files_.OpenRemovalRoot(path, true);
    if (root.status == RemovalRoot::Status::kOpen) {
      opened = true;
      Stopping stopping(*this, ticket);
      CountOpenFolderContents(*root.folder, tally, &stopping);
    }
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  // A count asked for since, or a Stop, makes this one void.
  if (ticket != ticket_ || tally.stopped) return;
  state_ = opened ? State::kDone : State::kNone;
  result_ = tally;
}

void FolderCounter::RunQueued() {
  std::optional<std::string> path;
  uint64_t ticket = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    path.swap(queued_);
    ticket = ticket_;
  }
  if (path) CountNow(*path, ticket);
}

void FolderCounter::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || queued_.has_value(); });
    if (stop_) return;
    const std::string path = std::move(*queued_);
    queued_.reset();
    const uint64_t ticket = ticket_;
    lock.unlock();
    CountNow(path, ticket);
    lock.lock();
    Notify notify = notify_;
    lock.unlock();
    if (notify) notify();
    lock.lock();
  }
}

}  // namespace cu

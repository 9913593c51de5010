#include "presenter/signatures.h"

#include <exception>

#include "platform/text.h"

namespace cu {

namespace {

// Verdicts told to the window at most this often while the queue is full.
constexpr int kNotifyEvery = 200;

}  // namespace

std::string SignatureText(const Signature& signature) {
  switch (signature.kind) {
    case Signature::Kind::kVerified:
      return "Verified: " + signature.publisher;
    case Signature::Kind::kNotSigned:
      break;
    case Signature::Kind::kInvalid:
      return "Invalid: the file was changed after it was signed";
    case Signature::Kind::kNotTrusted:
      return "Not trusted: " + signature.publisher;
  }
  return "Not signed";
}

Signature VerifyFile(SignatureChecks& checks, const std::string& path) {
  TrustCheck check = checks.Embedded(path);
  // Windows' own files are mostly signed in catalogs, not in themselves.
  if (check.outcome == TrustCheck::Outcome::kNoSignature) check = checks.Catalog(path);
  switch (check.outcome) {
    case TrustCheck::Outcome::kValid:
      if (check.chain_trusted) return {Signature::Kind::kVerified, check.publisher};
      return {Signature::Kind::kNotTrusted, check.publisher};
    case TrustCheck::Outcome::kChanged:
      return {Signature::Kind::kInvalid, {}};
    case TrustCheck::Outcome::kRefused:
      return {Signature::Kind::kNotTrusted, check.publisher};
    case TrustCheck::Outcome::kNoSignature:
    case TrustCheck::Outcome::kFailed:
      break;
  }
  return {};
}

SignatureVerifier::SignatureVerifier(const Platform& platform, Resolve resolve)
    : platform_(platform), resolve_(std::move(resolve)) {}

SignatureVerifier::~SignatureVerifier() {
  Stop();
  if (worker_.joinable()) worker_.join();
}

void SignatureVerifier::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
}

void SignatureVerifier::StartWorker(Notify notify) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    notify_ = std::move(notify);
  }
  if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
}

void SignatureVerifier::Start(std::vector<std::string> keys) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    // A key verified before keeps its verdict until its turn comes again, so
    // a reload does not make the rows' colours flicker.
    queue_.assign(keys.begin(), keys.end());
  }
  wake_.notify_all();
}

std::optional<Signature> SignatureVerifier::ResultOf(const std::string& key) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  auto it = results_.find(key);
  if (it == results_.end()) return std::nullopt;
  return it->second;
}

bool SignatureVerifier::Idle() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return queue_.empty() && !verifying_;
}

int SignatureVerifier::files_checked() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return files_checked_;
}

std::optional<SignatureVerifier::Identity> SignatureVerifier::Identify(const std::string& path) {
  // One attribute query, not a search: a reload looks at every file again.
  const std::optional<FileStamp> stamp = platform_.files.StampOf(path);
  if (!stamp || (stamp->attributes & kAttrDirectory) != 0) return std::nullopt;
  return Identity{AsciiLower(path), stamp->size, stamp->write_time};
}

std::optional<Signature> SignatureVerifier::VerdictOn(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const std::optional<Identity> identity = Identify(path);
  if (!identity) return std::nullopt;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = kept_.find(*identity); it != kept_.end()) return it->second;
  }
  const Signature verdict = VerifyFile(platform_.signatures, path);
  const std::lock_guard<std::mutex> lock(mutex_);
  ++files_checked_;
  kept_[*identity] = verdict;
  return verdict;
}

void SignatureVerifier::Verify(const std::string& key) {
  std::optional<Signature> verdict;
  try {
    if (const std::optional<std::string> path = resolve_(key)) verdict = VerdictOn(*path);
  } catch (const std::exception&) {
    // A row whose file cannot be looked at keeps its plain colours.
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  results_[key] = verdict;
}

void SignatureVerifier::RunQueued() {
  for (;;) {
    std::string key;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) break;
      key = std::move(queue_.front());
      queue_.pop_front();
    }
    Verify(key);
  }
  Notify notify;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    notify = notify_;
  }
  if (notify) notify();
}

void SignatureVerifier::Work() {
  int since_notice = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    const std::string key = std::move(queue_.front());
    queue_.pop_front();
    verifying_ = true;
    lock.unlock();
    Verify(key);
    lock.lock();
    verifying_ = false;
    ++since_notice;
    if (since_notice >= kNotifyEvery || queue_.empty()) {
      since_notice = 0;
      Notify notify = notify_;
      lock.unlock();
      if (notify) notify();
      lock.lock();
    }
  }
}

}  // namespace cu

#pragma once

// Who made a program, verified: a file's Authenticode signature, embedded
// or in a catalog, checked offline against the roots the machine trusts,
// and the worker that verifies a list's programs after each load without
// making the window wait.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace cu {

struct Signature {
  enum class Kind { kVerified, kNotSigned, kInvalid, kNotTrusted };
  Kind kind = Kind::kNotSigned;
  std::string publisher;  // for kVerified and kNotTrusted

  bool operator==(const Signature&) const = default;
};

// "Verified: <publisher>", "Not signed", "Invalid: the file was changed
// after it was signed", "Not trusted: <publisher>".
[[nodiscard]] std::string SignatureText(const Signature& signature);

// The verdict on a file: its embedded signature, else a catalog's. Verified
// only when the system accepted the signature and the program's own look at
// the signer's chain found it ending in a trusted root. A file that cannot
// be read counts as not signed.
[[nodiscard]] Signature VerifyFile(SignatureChecks& checks, const std::string& path);

// The pale red of a row whose program is not verified.
inline constexpr uint32_t kColourUnverifiedRow = 0xD0D0FF;  // RGB(255, 208, 208)

// Verifies the program of each row of a list, on a thread of its own, and
// keeps every verdict for the run by the file's path, size and last write,
// so that a reload verifies only what changed. Rows are named by a key (the
// command of a StartUp row, a service's name) that `resolve` turns into the
// file it runs.
class SignatureVerifier {
 public:
  // The file a row's key runs; nullopt when it names none that exists.
  // Called on the worker.
  using Resolve = std::function<std::optional<std::string>(const std::string& key)>;
  // Told, on the worker, when verdicts have come in since the last time
  // (at most every few hundred rows or when the queue runs dry).
  using Notify = std::function<void()>;

  // Until StartWorker, nothing runs but RunQueued, on the caller's thread
  // (as for a machine that is not to be used from two threads).
  SignatureVerifier(const Platform& platform, Resolve resolve);
  ~SignatureVerifier();  // Stop, then waits for the worker
  SignatureVerifier(const SignatureVerifier&) = delete;
  SignatureVerifier& operator=(const SignatureVerifier&) = delete;

  // From now on the queue is worked through on a thread of its own, which
  // tells `notify` of new verdicts.
  void StartWorker(Notify notify);
  // Ends the worker between two files, for good: nothing more is verified
  // on it.
  void Stop();
  // After a load: the keys of the list, in its order. Whatever was queued
  // before and not yet done is dropped; every key's verdict is looked at
  // again (from the kept verdicts when its file is unchanged), the last one
  // standing until then.
  void Start(std::vector<std::string> keys);
  // The verdict on a row's program; nullopt before its first verdict and
  // when the row runs no file that exists.
  [[nodiscard]] std::optional<Signature> ResultOf(const std::string& key) const;
  // The verdict on a file now, verified at once on the calling thread
  // unless kept for its present size and last write; nullopt when the file
  // is not found. Any thread.
  [[nodiscard]] std::optional<Signature> VerdictOn(const std::string& path);
  // Runs what is queued on the calling thread, then tells the notify (for
  // a verifier without a worker).
  void RunQueued();
  // Nothing queued and nothing being verified.
  [[nodiscard]] bool Idle() const;
  // Files whose signature was checked so far (not served from the kept verdicts).
  [[nodiscard]] int files_checked() const;

 private:
  struct Identity {
    std::string path;  // lower-cased
    uint64_t size = 0;
    uint64_t write_time = 0;
    auto operator<=>(const Identity&) const = default;
  };
  void Work();
  // One key: resolve, identify, verify unless kept. Never throws.
  void Verify(const std::string& key);
  std::optional<Identity> Identify(const std::string& path);

  Platform platform_;
  Resolve resolve_;
  Notify notify_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;
  bool verifying_ = false;  // the worker is between taking a key and its verdict
  std::map<std::string, std::optional<Signature>> results_;  // by key
  std::map<Identity, Signature> kept_;
  int files_checked_ = 0;
  bool stop_ = false;
  std::thread worker_;
};

}  // namespace cu

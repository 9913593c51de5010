// Verifying programs' signatures: a raw WinVerifyTrust loop over the seeded
// signed and unsigned copies, the program's SignatureVerifier verifying the
// same files on its worker thread the first time, and again after a reload
// of the same unchanged files (served from the verdicts it keeps).

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "bench/windows/bench_support.h"
#include "bench/windows/benchmarks.h"
#include "bench/windows/raw_signatures.h"
#include "bench/windows/seed.h"
#include "platform/win32/win32_platform.h"
#include "presenter/signatures.h"

namespace cu::bench::win {

namespace {

using Verdicts = std::map<std::string, int>;  // verdict text -> files

std::string Describe(const Verdicts& verdicts) {
  std::string text;
  for (const auto& [verdict, files] : verdicts) {
    text += (text.empty() ? "" : ", ") + Grouped(files) + " \"" + verdict + "\"";
  }
  return text;
}

// A verifier on the real machine whose keys are the files themselves, with
// its worker started as the window starts it; Verify() queues every file
// and waits until the worker has gone through them all.
class WorkerRun {
 public:
  explicit WorkerRun(const Platform& platform)
      : verifier_(platform, [](const std::string& key) { return std::optional<std::string>(key); }) {
    verifier_.StartWorker([this] {
      // Taken so that a waiter between its look and its wait is not missed.
      { const std::lock_guard<std::mutex> lock(mutex_); }
      told_.notify_all();
    });
  }

  void Verify(const std::vector<std::string>& files) {
    verifier_.Start(files);
    // The worker tells when its queue runs dry; a file's verdict from an
    // earlier round stands until its new one is in, so the verifier's own
    // word that it is idle ends the wait.
    std::unique_lock<std::mutex> lock(mutex_);
    const bool done = told_.wait_for(lock, std::chrono::minutes(10), [&] {
      return verifier_.Idle() && verifier_.ResultOf(files.back()).has_value();
    });
    if (!done) throw std::runtime_error("the verifier's worker gave no verdict in 10 minutes");
  }

  Verdicts VerdictsOn(const std::vector<std::string>& files) const {
    Verdicts verdicts;
    for (const std::string& file : files) {
      const std::optional<Signature> verdict = verifier_.ResultOf(file);
      ++verdicts[verdict ? SignatureText(*verdict) : "(none)"];
    }
    return verdicts;
  }

  int files_checked() const { return verifier_.files_checked(); }

 private:
  std::mutex mutex_;
  std::condition_variable told_;
  SignatureVerifier verifier_;  // last: its worker stops before the rest goes
};

}  // namespace

bool RunSignaturesBenchmark(const Sizes& sizes, int runs) {
  const std::vector<std::string> files = SignatureFiles(SandboxRoot(), sizes.signature_copies);
  for (const std::string& file : files) {
    Check(::GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES,
          file + " (run seed-signatures first)");
  }
  cu::win32::Win32Machine machine;
  const Platform platform = machine.platform();

  Timings raw;
  Timings first;
  Timings reload;
  Verdicts raw_verdicts;
  Verdicts first_verdicts;
  Verdicts reload_verdicts;
  int checked_first = 0;
  int checked_reload = 0;
  // One untimed warm-up round, then `runs` rounds: each the raw loop, a
  // fresh verifier's first pass, and its reload. Making and dropping the
  // verifiers is left out of the times.
  for (int round = -1; round < runs; ++round) {
    raw_verdicts.clear();
    Stopwatch raw_watch;
    for (const std::string& file : files) ++raw_verdicts[RawSignatureText(file)];
    const double raw_ms = raw_watch.ElapsedMs();

    auto run = std::make_unique<WorkerRun>(platform);
    Stopwatch first_watch;
    run->Verify(files);
    const double first_ms = first_watch.ElapsedMs();
    first_verdicts = run->VerdictsOn(files);
    checked_first = run->files_checked();

    Stopwatch reload_watch;
    run->Verify(files);
    const double reload_ms = reload_watch.ElapsedMs();
    reload_verdicts = run->VerdictsOn(files);
    checked_reload = run->files_checked() - checked_first;
    run.reset();

    if (round < 0) continue;
    raw.ms.push_back(raw_ms);
    first.ms.push_back(first_ms);
    reload.ms.push_back(reload_ms);
  }

  PrintTitle("Signatures: " + Grouped(files.size()) + " programs (" +
             Grouped(sizes.signature_copies) + " signed by a trusted publisher, " +
             Grouped(sizes.signature_copies) + " unsigned), verified offline");
  PrintHeader();
  PrintTimingRow("raw WinVerifyTrust loop (baseline)", raw, Describe(raw_verdicts));
  PrintTimingRow("SignatureVerifier, first (worker)", first,
                 Grouped(checked_first) + " files checked");
  PrintTimingRow("SignatureVerifier, reload (unchanged)", reload,
                 Grouped(checked_reload) + " files checked again");

  // Where the time goes: the program's verification alone (no look at the
  // files' identities, no worker); the look at each file's size and last
  // write that keeps a verdict (a search per file), next to the system's
  // one-call attribute read; an open of each file (the catalog check opens
  // the file again); and the reload without the worker's hand-offs.
  SignatureVerifier on_caller(platform,
                              [](const std::string& key) { return std::optional<std::string>(key); });
  on_caller.Start(files);
  on_caller.RunQueued();
  const std::vector<Timings> parts = Alternate(
      runs, {[&] {
               for (const std::string& file : files) (void)VerifyFile(platform.signatures, file);
             },
             [&] {
               for (const std::string& file : files) {
                 WIN32_FIND_DATAA data{};
                 const UniqueFind search(::FindFirstFileA(file.c_str(), &data));
                 Check(static_cast<bool>(search), "FindFirstFileA " + file);
               }
             },
             [&] {
               for (const std::string& file : files) {
                 WIN32_FILE_ATTRIBUTE_DATA data{};
                 Check(::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) != FALSE,
                       "GetFileAttributesExA " + file);
               }
             },
             [&] {
               for (const std::string& file : files) {
                 const UniqueFile opened(::CreateFileW(
                     ToWide(file).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
                 Check(static_cast<bool>(opened), "CreateFileW " + file);
               }
             },
             [&] {
               on_caller.Start(files);
               on_caller.RunQueued();
             }});
  PrintNote("where the time goes:");
  PrintTimingRow("  VerifyFile per file, on the calling thread", parts[0],
                 "no identity look, no worker");
  PrintTimingRow("  FindFirstFileA + FindClose per file", parts[1], "the identity look");
  PrintTimingRow("  GetFileAttributesExA per file", parts[2], "");
  PrintTimingRow("  CreateFileW + CloseHandle per file", parts[3], "");
  PrintTimingRow("  reload on the calling thread (RunQueued)", parts[4],
                 Grouped(on_caller.files_checked() - static_cast<int>(files.size())) +
                     " files checked again");

  bool met = true;
  if (first_verdicts != raw_verdicts || reload_verdicts != raw_verdicts) {
    PrintNote("verdicts differ from the raw loop's: first " + Describe(first_verdicts) +
              "; reload " + Describe(reload_verdicts));
    met = false;
  }
  met &= PrintRatio("first / raw loop", first.Median() / raw.Median(), 1.1);
  met &= PrintRatio("reload / first", reload.Median() / first.Median(), 0.05);
  return met;
}

}  // namespace cu::bench::win

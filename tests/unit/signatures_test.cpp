// The verifier's own thread: verdicts come in behind the caller, the window
// is told, and the thread ends between two files when the verifier goes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory/memory_machine.h"
#include "presenter/signatures.h"

namespace cu {
namespace {

TEST(SignatureVerifierTest, TheWorkerVerifiesBehindTheCallerAndStopsWithIt) {
  memory::MemoryMachine m;
  std::vector<std::string> files;
  for (int i = 0; i < 400; ++i) {
    files.push_back("C:\\p\\" + std::to_string(i) + ".exe");
    m.files.AddFile(files.back(), "MZ");
  }
  m.signatures.SetEmbedded(files[7], {TrustCheck::Outcome::kValid, "Maker", true});
  std::atomic<int> notices{0};
  {
    // The caller only waits while the worker runs: the memory machine is
    // not for two threads at once.
    SignatureVerifier verifier(m.platform(), [](const std::string& key) { return key; });
    verifier.StartWorker([&notices] { ++notices; });
    verifier.Start(files);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!verifier.Idle() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(verifier.Idle());
    ASSERT_TRUE(verifier.ResultOf(files.back()));
    EXPECT_EQ(verifier.ResultOf(files[7]), (Signature{Signature::Kind::kVerified, "Maker"}));
    EXPECT_EQ(verifier.ResultOf(files[8]), Signature{});
    EXPECT_GE(notices.load(), 2) << "told every couple of hundred verdicts and at the end";
    EXPECT_EQ(verifier.files_checked(), 400);
    // A second round of new files, stopped while its first file is checked:
    // the worker checks no other.
    for (std::string& file : files) {
      file += "x";
      m.files.AddFile(file, "MZ");
    }
    std::promise<void> reached;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    m.signatures.before_embedded = [&reached, released, first = true](const std::string&) mutable {
      if (!std::exchange(first, false)) return;
      reached.set_value();
      released.wait();
    };
    verifier.Start(files);
    reached.get_future().wait();
    verifier.Stop();
    release.set_value();
  }
  EXPECT_EQ(m.signatures.embedded_checks, 401) << "the worker stopped between two files";
}

}  // namespace
}  // namespace cu

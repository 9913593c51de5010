// The verifier's own thread: verdicts come in behind the caller, the window
// is told, and the thread ends between two files when the verifier goes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
    // A second round of new files, left running: the verifier's end stops it.
    for (std::string& file : files) {
      file += "x";
      m.files.AddFile(file, "MZ");
    }
    verifier.Start(files);
  }
  EXPECT_LT(m.signatures.embedded_checks, 800) << "the worker stopped before the end of its queue";
}

}  // namespace
}  // namespace cu

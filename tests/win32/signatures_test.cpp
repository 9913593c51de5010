// Signature checks of programs signed at build time (scripts/sign-fixtures.sh),
// with the test root among the machine's trusted roots.
#include <gtest/gtest.h>

#include "platform/win32/win32_platform.h"
#include "test_support.h"

namespace cu::win32 {
namespace {

using Outcome = TrustCheck::Outcome;

TEST(Win32Signatures, EachFileIsJudgedByItsDigestSignerAndChain) {
  ASSERT_EQ(test_kit::TrustTestRoot(), static_cast<DWORD>(ERROR_SUCCESS));
  const test_kit::SignatureFixtures fixtures = test_kit::SignatureFixturePaths();
  test::Sandbox box("Signatures");
  ASSERT_TRUE(box.WriteFile("notes.txt", "no program, only text\r\n"));

  // Windows refuses a self-signed signer (CERT_E_UNTRUSTEDROOT); Wine's
  // WinVerifyTrust accepts it. Either way the chain is not trusted.
  const Outcome self_signed = test::RunningUnderWine() ? Outcome::kValid : Outcome::kRefused;
  struct Case {
    std::string path;
    Outcome embedded;
    std::string publisher;
    bool chain_trusted;
    Outcome catalog;  // none of these is in a catalog
  };
  const Case cases[] = {
      {fixtures.signed_by_trusted, Outcome::kValid, test_kit::kTestPublisher, true,
       Outcome::kNoSignature},
      {fixtures.self_signed, self_signed, test_kit::kSelfSignedPublisher, false,
       Outcome::kNoSignature},
      // The signer is still named when the content no longer matches.
      {fixtures.tampered, Outcome::kChanged, test_kit::kTestPublisher, true,
       Outcome::kNoSignature},
      {fixtures.unsigned_program, Outcome::kNoSignature, "", false, Outcome::kNoSignature},
      {box.Path("notes.txt"), Outcome::kNoSignature, "", false, Outcome::kNoSignature},
      {box.Path("absent.exe"), Outcome::kFailed, "", false, Outcome::kFailed},
      {box.folder(), Outcome::kFailed, "", false, Outcome::kFailed},
  };

  Win32SignatureChecks checks;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const TrustCheck embedded = checks.Embedded(c.path);
    EXPECT_EQ(embedded.outcome, c.embedded);
    EXPECT_EQ(embedded.publisher, c.publisher);
    EXPECT_EQ(embedded.chain_trusted, c.chain_trusted);
    const TrustCheck catalog = checks.Catalog(c.path);
    EXPECT_EQ(catalog.outcome, c.catalog);
    EXPECT_EQ(catalog.publisher, "");
  }
}

}  // namespace
}  // namespace cu::win32

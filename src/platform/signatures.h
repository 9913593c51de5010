#pragma once

// Authenticode signatures of program files, checked offline by the system.
// Part of the seam (see platform.h).

#include <string>

namespace cu {

// What the system says of one way a file can be signed.
struct TrustCheck {
  enum class Outcome {
    // No signature of this kind: the file has no embedded one, or no
    // catalog holds its hash; also a file that cannot carry a signature.
    kNoSignature,
    // The system accepted the signature and its digest.
    kValid,
    // The file's digest is not the one that was signed: changed after signing.
    kChanged,
    // The system refused the signer: an untrusted or distrusted root, an
    // incomplete chain, an expired certificate without a timestamp.
    kRefused,
    // The file could not be checked (missing, unreadable).
    kFailed,
  };
  Outcome outcome = Outcome::kNoSignature;
  // The signing certificate's subject common name; "" when unknown.
  std::string publisher;
  // The program's own look at the signer's chain: it reaches a root the
  // machine trusts, with no error on the way. Windows' answer is not taken
  // alone for it (Wine's accepts chains that end in an untrusted root).
  bool chain_trusted = false;
};

class SignatureChecks {
 public:
  virtual ~SignatureChecks() = default;
  // The file's embedded signature (WinVerifyTrust, no UI, no revocation
  // check, nothing fetched from the network).
  [[nodiscard]] virtual TrustCheck Embedded(const std::string& path) = 0;
  // A signature of the file's hash in one of the system's catalogs;
  // kNoSignature when no catalog holds it.
  [[nodiscard]] virtual TrustCheck Catalog(const std::string& path) = 0;
};

}  // namespace cu

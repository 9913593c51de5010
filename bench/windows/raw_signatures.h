#pragma once

// The raw baseline of the signature checks: the verdict on a file in the
// program's words, made with the fewest Win32 calls and the program's flags
// (WINTRUST_ACTION_GENERIC_VERIFY_V2, no window, no revocation, nothing
// fetched, the state closed after reading the signer).

#include <string>

namespace cu::bench::win {

// "Verified: <publisher>", "Not trusted: <publisher>", "Invalid: the file
// was changed after it was signed" or "Not signed": the file's embedded
// signature, else the catalog that holds its SHA-1 hash (the only catalog
// hash Wine computes). A file that does not open is not signed.
[[nodiscard]] std::string RawSignatureText(const std::string& path);

}  // namespace cu::bench::win

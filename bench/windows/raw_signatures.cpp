#include "bench/windows/raw_signatures.h"

// First: <windows.h> with the names the platform interfaces need.
#include "bench/windows/bench_support.h"

#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include "platform/cleanup.h"

namespace cu::bench::win {

namespace {

struct RawCheck {
  LONG status = 0;
  std::string publisher;
  bool chain_trusted = false;
};

// WinVerifyTrust on the subject in `data`; the signer's common name and its
// chain's trust are read before the state is closed.
RawCheck RawVerify(WINTRUST_DATA& data) {
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const auto no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
  RawCheck check;
  check.status = ::WinVerifyTrust(no_window, &action, &data);
  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer =
      provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  if (signer && signer->csCertChain > 0 && signer->pasCertChain[0].pCert) {
    char name[256] = {};
    if (::CertGetNameStringA(signer->pasCertChain[0].pCert, CERT_NAME_ATTR_TYPE, 0,
                             const_cast<char*>(szOID_COMMON_NAME), name, sizeof name) > 1) {
      check.publisher = name;
    }
    // Revocation is never checked, so its status is unknown by design.
    constexpr DWORD kRevocationUnknown =
        CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    check.chain_trusted =
        signer->pChainContext &&
        (signer->pChainContext->TrustStatus.dwErrorStatus & ~kRevocationUnknown) == 0;
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  (void)::WinVerifyTrust(no_window, &action, &data);
  return check;
}

bool NoSignature(LONG status) {
  const auto code = static_cast<HRESULT>(status);
  return code == TRUST_E_NOSIGNATURE || code == TRUST_E_SUBJECT_FORM_UNKNOWN ||
         code == TRUST_E_PROVIDER_UNKNOWN;
}

std::string TextOf(const RawCheck& check) {
  if (check.status == ERROR_SUCCESS) {
    return (check.chain_trusted ? "Verified: " : "Not trusted: ") + check.publisher;
  }
  if (static_cast<HRESULT>(check.status) == TRUST_E_BAD_DIGEST) {
    return "Invalid: the file was changed after it was signed";
  }
  const auto code = static_cast<uint32_t>(check.status);
  const bool system_error = code < 0x10000 || HRESULT_FACILITY(check.status) == FACILITY_WIN32 ||
                            static_cast<HRESULT>(check.status) == CRYPT_E_FILE_ERROR;
  return system_error || NoSignature(check.status) ? "Not signed"
                                                   : "Not trusted: " + check.publisher;
}

// The catalog that holds the file's SHA-1 hash, verified for the file;
// "Not signed" when none does.
std::string CatalogText(const std::wstring& path, HANDLE file) {
  HCATADMIN admin = nullptr;
  if (!::CryptCATAdminAcquireContext(&admin, nullptr, 0)) return "Not signed";
  const ScopeExit release_admin([&] { (void)::CryptCATAdminReleaseContext(admin, 0); });
  // WinVerifyTrust has read the file: the hash reads it from its start.
  const LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return "Not signed";
  BYTE hash[64] = {};
  DWORD size = sizeof hash;
  if (!::CryptCATAdminCalcHashFromFileHandle(file, &size, hash, 0)) return "Not signed";
  HCATINFO catalog = ::CryptCATAdminEnumCatalogFromHash(admin, hash, size, 0, nullptr);
  if (!catalog) return "Not signed";
  const ScopeExit release_catalog(
      [&] { (void)::CryptCATAdminReleaseCatalogContext(admin, catalog, 0); });
  CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  if (!::CryptCATCatalogInfoFromContext(catalog, &info, 0)) return "Not signed";
  std::wstring tag;
  for (DWORD i = 0; i < size; ++i) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    tag += kDigits[hash[i] >> 4];
    tag += kDigits[hash[i] & 0x0F];
  }
  WINTRUST_CATALOG_INFO member{};
  member.cbStruct = sizeof member;
  member.pcwszCatalogFilePath = info.wszCatalogFile;
  member.pcwszMemberTag = tag.c_str();
  member.pcwszMemberFilePath = path.c_str();
  member.hMemberFile = file;
  member.pbCalculatedFileHash = hash;
  member.cbCalculatedFileHash = size;
  member.hCatAdmin = admin;
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_CATALOG;
  data.pCatalog = &member;
  return TextOf(RawVerify(data));
}

}  // namespace

std::string RawSignatureText(const std::string& path) {
  const std::wstring wide = ToWide(path);
  const UniqueFile file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "Not signed";
  WINTRUST_FILE_INFO subject{};
  subject.cbStruct = sizeof subject;
  subject.pcwszFilePath = wide.c_str();
  subject.hFile = file.get();
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &subject;
  const RawCheck check = RawVerify(data);
  return NoSignature(check.status) ? CatalogText(wide, file.get()) : TextOf(check);
}

}  // namespace cu::bench::win

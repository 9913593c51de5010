#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <bcrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cu::win32 {

namespace {

using Outcome = TrustCheck::Outcome;

BOOL ReleaseCatAdmin(HCATADMIN admin) { return ::CryptCATAdminReleaseContext(admin, 0); }

using UniqueCertificate = UniqueHandle<CloseWith<PCCERT_CONTEXT, &::CertFreeCertificateContext>>;
using UniqueChain = UniqueHandle<CloseWith<PCCERT_CHAIN_CONTEXT, &::CertFreeCertificateChain>>;
using UniqueCatAdmin = UniqueHandle<CloseWith<HCATADMIN, &ReleaseCatAdmin>>;

TrustCheck Unsigned() { return TrustCheck{Outcome::kNoSignature, "", false}; }
TrustCheck Failed() { return TrustCheck{Outcome::kFailed, "", false}; }

// Opened by this program rather than by path inside WinVerifyTrust, so a
// file that cannot be read is told apart from one without a signature, and
// the hash and the check read the same file. Every kind of sharing is
// allowed: a running program or an open log is still checked.
UniqueFile OpenToRead(const std::wstring& path) {
  if (path.empty()) return UniqueFile();
  return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Outcome OutcomeOf(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case ERROR_SUCCESS:
      return Outcome::kValid;
    // No signature at all, or a kind of file that cannot carry one (Wine
    // answers a text file with TRUST_E_SUBJECT_FORM_UNKNOWN).
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case TRUST_E_PROVIDER_UNKNOWN:
      return Outcome::kNoSignature;
    case TRUST_E_BAD_DIGEST:
      return Outcome::kChanged;
    case CRYPT_E_FILE_ERROR:
      return Outcome::kFailed;
    default:
      break;
  }
  // A system error (a read that failed, memory) says nothing of the signer;
  // Wine gives some of them bare rather than as HRESULTs. Every other answer
  // is a signature the system looked at and did not accept: an untrusted,
  // distrusted or test root, a broken chain, an expired certificate, a
  // signature that does not decode.
  const auto code = static_cast<uint32_t>(status);
  if (code < 0x10000 || HRESULT_FACILITY(status) == FACILITY_WIN32) return Outcome::kFailed;
  return Outcome::kRefused;
}

std::string CommonName(PCCERT_CONTEXT certificate) {
  void* oid = const_cast<char*>(szOID_COMMON_NAME);
  const DWORD size = ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, nullptr, 0);
  if (size <= 1) return {};
  std::wstring name(size, L'\0');
  const DWORD written =
      ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, name.data(), size);
  return written > 1 ? ToCodePage(name.c_str(), written - 1) : std::string();
}

bool ChainTrusted(const CERT_CHAIN_CONTEXT& chain) {
  // Revocation is never checked, so its status is unknown by design.
  constexpr DWORD kRevocationUnknown =
      CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
  return (chain.TrustStatus.dwErrorStatus & ~kRevocationUnknown) == CERT_TRUST_NO_ERROR;
}

// Every store the signature brought (its own certificates among them), as one.
UniqueCertStore SignatureStores(const CRYPT_PROVIDER_DATA& provider) {
  UniqueCertStore all(::CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
  if (!all) return all;
  for (DWORD i = 0; i < provider.chStores; ++i) {
    (void)::CertAddStoreToCollection(all.get(), provider.pahStores[i], 0, 0);
  }
  return all;
}

bool BuiltChainTrusted(PCCERT_CONTEXT certificate, HCERTSTORE extra) {
  LPSTR usage[] = {const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING)};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
  UniqueChain chain;
  // Nothing fetched: no issuer from the network, no root from Windows Update.
  const DWORD offline =
      CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE;
  if (!::CertGetCertificateChain(nullptr, certificate, nullptr, extra, &para, offline, nullptr,
                                 chain.receive())) {
    return false;
  }
  return ChainTrusted(*chain.get());
}

// The signer certificate the signed message names, found among the
// signature's own certificates.
UniqueCertificate MessageSigner(const CRYPT_PROVIDER_DATA& provider, HCERTSTORE stores) {
  if (!provider.hMsg || !stores) return UniqueCertificate();
  DWORD size = 0;
  if (!::CryptMsgGetParam(provider.hMsg, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) ||
      size < sizeof(CERT_INFO)) {
    return UniqueCertificate();
  }
  // CERT_INFO holds pointers: the buffer must be aligned for them.
  std::vector<uint64_t> buffer((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
  if (!::CryptMsgGetParam(provider.hMsg, CMSG_SIGNER_CERT_INFO_PARAM, 0, buffer.data(), &size)) {
    return UniqueCertificate();
  }
  auto* signer = reinterpret_cast<CERT_INFO*>(buffer.data());
  return UniqueCertificate(::CertGetSubjectCertificateFromStore(
      stores, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, signer));
}

// The publisher and the chain's trust, from what the verification found.
void ReadSigner(HANDLE state, TrustCheck& check) {
  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state);
  if (!provider) return;
  CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (signer && signer->csCertChain > 0 && signer->pasCertChain[0].pCert) {
    PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    check.publisher = CommonName(certificate);
    if (signer->pChainContext) {
      check.chain_trusted = ChainTrusted(*signer->pChainContext);
    } else {
      const UniqueCertStore stores = SignatureStores(*provider);
      check.chain_trusted = BuiltChainTrusted(certificate, stores.get());
    }
    return;
  }
  // The provider stops before reading the signers when the digest does not
  // match; the signed message still names its signer.
  const UniqueCertStore stores = SignatureStores(*provider);
  const UniqueCertificate certificate = MessageSigner(*provider, stores.get());
  if (!certificate) return;
  check.publisher = CommonName(certificate.get());
  check.chain_trusted = BuiltChainTrusted(certificate.get(), stores.get());
}

// WinVerifyTrust on a subject the caller has put in `data`; the verification
// state is read for the signer and closed on every way out.
TrustCheck Verify(WINTRUST_DATA& data) {
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const auto no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG status = ::WinVerifyTrust(no_window, &action, &data);
  ScopeExit close([&] {
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    (void)::WinVerifyTrust(no_window, &action, &data);
  });
  TrustCheck check;
  check.outcome = OutcomeOf(status);
  if (check.outcome != Outcome::kNoSignature && check.outcome != Outcome::kFailed) {
    ReadSigner(data.hWVTStateData, check);
  }
  return check;
}

// ------------------------------------------------------------- catalogs

using AcquireContext2Call = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR,
                                          PCCERT_STRONG_SIGN_PARA, DWORD);
using CalcHash2Call = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

// A catalog context for one hash algorithm and the file's hash under it.
struct CatalogLookup {
  UniqueCatAdmin admin;
  std::vector<BYTE> hash;
};

// Both calls are resolved at run time: older systems (and Wine, which has
// no CryptCATAdminCalcHashFromFileHandle2) lack them. A SHA-256 context is
// only of use with a SHA-256 hash, so the pair is taken together.
std::optional<CatalogLookup> Sha256Lookup(HANDLE file) {
  const HMODULE wintrust = ::GetModuleHandleW(L"wintrust.dll");
  if (!wintrust) return std::nullopt;
  const auto acquire = reinterpret_cast<AcquireContext2Call>(
      reinterpret_cast<void*>(::GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")));
  const auto calc_hash = reinterpret_cast<CalcHash2Call>(
      reinterpret_cast<void*>(::GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")));
  if (!acquire || !calc_hash) return std::nullopt;
  CatalogLookup lookup;
  if (!acquire(lookup.admin.receive(), nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) {
    return std::nullopt;
  }
  DWORD size = 0;
  (void)calc_hash(lookup.admin.get(), file, &size, nullptr, 0);  // sizing: fails by design
  if (size == 0) return std::nullopt;
  lookup.hash.resize(size);
  if (!calc_hash(lookup.admin.get(), file, &size, lookup.hash.data(), 0)) return std::nullopt;
  lookup.hash.resize(size);
  return lookup;
}

std::optional<CatalogLookup> Sha1Lookup(HANDLE file) {
  CatalogLookup lookup;
  if (!::CryptCATAdminAcquireContext(lookup.admin.receive(), nullptr, 0)) return std::nullopt;
  DWORD size = 0;
  (void)::CryptCATAdminCalcHashFromFileHandle(file, &size, nullptr, 0);  // sizing
  if (size == 0) return std::nullopt;
  lookup.hash.resize(size);
  if (!::CryptCATAdminCalcHashFromFileHandle(file, &size, lookup.hash.data(), 0)) {
    return std::nullopt;
  }
  lookup.hash.resize(size);
  return lookup;
}

// The tag a catalog files its member under: the hash in upper-case hex.
std::wstring MemberTag(const std::vector<BYTE>& hash) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring tag;
  for (const BYTE b : hash) {
    tag += kDigits[b >> 4];
    tag += kDigits[b & 0x0F];
  }
  return tag;
}

// The catalog that holds the lookup's hash, verified for the file; nullopt
// when no catalog holds it.
std::optional<TrustCheck> VerifyInCatalog(CatalogLookup& lookup, const std::wstring& path,
                                          HANDLE file) {
  HCATINFO catalog = ::CryptCATAdminEnumCatalogFromHash(
      lookup.admin.get(), lookup.hash.data(), static_cast<DWORD>(lookup.hash.size()), 0, nullptr);
  if (!catalog) return std::nullopt;
  ScopeExit release(
      [&] { (void)::CryptCATAdminReleaseCatalogContext(lookup.admin.get(), catalog, 0); });
  CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  if (!::CryptCATCatalogInfoFromContext(catalog, &info, 0)) return Failed();

  const std::wstring tag = MemberTag(lookup.hash);
  WINTRUST_CATALOG_INFO member{};
  member.cbStruct = sizeof member;
  member.pcwszCatalogFilePath = info.wszCatalogFile;
  member.pcwszMemberTag = tag.c_str();
  member.pcwszMemberFilePath = path.c_str();
  member.hMemberFile = file;
  member.pbCalculatedFileHash = lookup.hash.data();
  member.cbCalculatedFileHash = static_cast<DWORD>(lookup.hash.size());
  member.hCatAdmin = lookup.admin.get();
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_CATALOG;
  data.pCatalog = &member;
  return Verify(data);
}

}  // namespace

TrustCheck Win32SignatureChecks::Embedded(const std::string& path) {
  const std::wstring wide = ToWide(path);
  const UniqueFile file = OpenToRead(wide);
  if (!file) return Failed();
  WINTRUST_FILE_INFO subject{};
  subject.cbStruct = sizeof subject;
  subject.pcwszFilePath = wide.c_str();
  subject.hFile = file.get();
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &subject;
  return Verify(data);
}

TrustCheck Win32SignatureChecks::Catalog(const std::string& path) {
  const std::wstring wide = ToWide(path);
  const UniqueFile file = OpenToRead(wide);
  if (!file) return Failed();
  bool looked_up = false;
  for (auto* lookup_of : {&Sha256Lookup, &Sha1Lookup}) {
    // Each hash reads the file from its start.
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) return Failed();
    std::optional<CatalogLookup> lookup = lookup_of(file.get());
    if (!lookup) continue;
    looked_up = true;
    if (std::optional<TrustCheck> check = VerifyInCatalog(*lookup, wide, file.get())) {
      return *check;
    }
  }
  return looked_up ? Unsigned() : Failed();
}

}  // namespace cu::win32

// The Authenticode check of the programs the installer runs. wintrust.dll and crypt32.dll are
// loaded at run time, from the system folder only: a static import would be resolved before
// prepareProcess restricts the DLL search, from the folder the program was started in.
// windows.h must come before the other Windows headers.
#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/files_win32.h"
#include "platform/platform.h"

namespace platform {

namespace {

using WinVerifyTrustCall = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProviderDataCall = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProviderSignerCall = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using CertNameCall = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

struct TrustFunctions {
  WinVerifyTrustCall verify = nullptr;
  ProviderDataCall providerData = nullptr;
  ProviderSignerCall providerSigner = nullptr;
  CertNameCall certName = nullptr;
};

template <typename Call>
Call function(HMODULE library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

const TrustFunctions& trustFunctions() {
  static const TrustFunctions functions = [] {
    HMODULE wintrust = LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE crypt32 = LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    TrustFunctions loaded;
    loaded.verify = function<WinVerifyTrustCall>(wintrust, "WinVerifyTrust");
    loaded.providerData = function<ProviderDataCall>(wintrust, "WTHelperProvDataFromStateData");
    loaded.providerSigner =
        function<ProviderSignerCall>(wintrust, "WTHelperGetProvSignerFromChain");
    loaded.certName = function<CertNameCall>(crypt32, "CertGetNameStringW");
    return loaded;
  }();
  return functions;
}

std::string hexCode(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", code);
  return text;
}

Signature uncheckable(unsigned long code) {
  return {SignatureState::uncheckable, "", hexCode(code)};
}

// The name goes into messages and logs: nothing in it may move the cursor or end a line.
std::string printableName(const std::wstring& name) {
  std::string text;
  for (wchar_t c : name) {
    if (text.size() >= 128) {
      break;
    }
    text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  return text;
}

std::string signerName(const TrustFunctions& trust, HANDLE state) {
  if (trust.providerData == nullptr || trust.providerSigner == nullptr ||
      trust.certName == nullptr) {
    return "";
  }
  CRYPT_PROVIDER_DATA* data = trust.providerData(state);
  CRYPT_PROVIDER_SGNR* signer = data ? trust.providerSigner(data, 0, FALSE, 0) : nullptr;
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
      signer->pasCertChain[0].pCert == nullptr) {
    return "";
  }
  PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
  char oid[] = szOID_COMMON_NAME;
  wchar_t name[256];
  DWORD length = trust.certName(certificate, CERT_NAME_ATTR_TYPE, 0, oid, name, 256);
  return length > 1 ? printableName(std::wstring(name, length - 1)) : "";
}

struct Verification {
  LONG result = 0;
  // Why a signature was reported missing: the file may have none, or one that is broken.
  DWORD reason = 0;
  std::string signer;
};

Verification verify(const TrustFunctions& trust, const std::wstring& path, HANDLE file,
                    DWORD revocationChecks) {
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = path.c_str();
  // Read through the handle held open: the bytes checked are the bytes that will run.
  fileInfo.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = revocationChecks;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  // An offline machine must never wait on the network for a revocation list.
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE: there is no user to ask, whatever the policy says.
  HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
  Verification outcome;
  outcome.result = trust.verify(noUser, &action, &data);
  outcome.reason = GetLastError();
  if (outcome.result == 0) outcome.signer = signerName(trust, data.hWVTStateData);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  trust.verify(noUser, &action, &data);
  return outcome;
}

// A revocation list that the cache does not hold says nothing about the certificate; one that
// it holds and that names the certificate still refuses it (CERT_E_REVOKED).
bool revocationUnknown(LONG result) {
  return result == static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE) ||
         result == static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK) ||
         result == static_cast<LONG>(CERT_E_REVOCATION_FAILURE);
}

// A file without any signature, as opposed to one whose signature is present but broken, which
// WinVerifyTrust reports with the same result and tells apart only in the last error.
bool hasNoSignature(DWORD reason) {
  return reason == static_cast<DWORD>(TRUST_E_NOSIGNATURE) ||
         reason == static_cast<DWORD>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
         reason == static_cast<DWORD>(TRUST_E_PROVIDER_UNKNOWN);
}

}  // namespace

Signature checkProgramSignature(const std::string& path) {
  int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (length <= 0) return uncheckable(GetLastError());
  std::wstring widePath(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath.data(), length);
  widePath.resize(static_cast<std::size_t>(length - 1));
  // Reading shared, writing and deleting (renaming) denied, until the process ends.
  HANDLE file = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return uncheckable(HRESULT_FROM_WIN32(GetLastError()));
  holdFile(file);
  const TrustFunctions& trust = trustFunctions();
  if (trust.verify == nullptr) return uncheckable(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  Verification outcome = verify(trust, widePath, file, WTD_REVOKE_WHOLECHAIN);
  if (revocationUnknown(outcome.result)) outcome = verify(trust, widePath, file, WTD_REVOKE_NONE);
  unsigned long result = static_cast<unsigned long>(outcome.result);
  if (result == 0) {
    if (outcome.signer.empty()) return uncheckable(static_cast<unsigned long>(CRYPT_E_NOT_FOUND));
    return {SignatureState::valid, outcome.signer, ""};
  }
  if (result == static_cast<unsigned long>(TRUST_E_NOSIGNATURE)) {
    if (hasNoSignature(outcome.reason)) return {SignatureState::none, "", ""};
    return uncheckable(outcome.reason);
  }
  if (result == static_cast<unsigned long>(TRUST_E_BAD_DIGEST)) {
    return {SignatureState::altered, "", ""};
  }
  return uncheckable(result);
}

}  // namespace platform

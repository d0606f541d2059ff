// The signature over a signer's attributes, through the system's crypt32 (loaded from
// System32 as every system DLL is): the message decoded from the catalog's bytes, the
// signer's certificate found in the message's own store, and CryptMsgControl's check.
// Windows also compares the message digest with the content there; Wine 8 does not,
// which is why the portable part makes that comparison itself first.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

#include "base/win32/system_dll.h"
#include "catalog_signature.h"

namespace qelvaro {
namespace {

using base::DllEntry;

struct Crypt32 {
  decltype(&CryptMsgOpenToDecode) open = nullptr;
  decltype(&CryptMsgUpdate) update = nullptr;
  decltype(&CryptMsgGetParam) getParam = nullptr;
  decltype(&CryptMsgControl) control = nullptr;
  decltype(&CryptMsgClose) close = nullptr;
  decltype(&CertOpenStore) openStore = nullptr;
  decltype(&CertGetSubjectCertificateFromStore) findCertificate = nullptr;
  decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
  decltype(&CertCloseStore) closeStore = nullptr;
};

const Crypt32* crypt32() {
  static const Crypt32 loaded = [] {
    Crypt32 c;
    HMODULE module = base::LoadSystemDll(L"crypt32.dll");
    if (!module) return c;
    c.open = DllEntry<decltype(c.open)>(module, "CryptMsgOpenToDecode");
    c.update = DllEntry<decltype(c.update)>(module, "CryptMsgUpdate");
    c.getParam = DllEntry<decltype(c.getParam)>(module, "CryptMsgGetParam");
    c.control = DllEntry<decltype(c.control)>(module, "CryptMsgControl");
    c.close = DllEntry<decltype(c.close)>(module, "CryptMsgClose");
    c.openStore = DllEntry<decltype(c.openStore)>(module, "CertOpenStore");
    c.findCertificate = DllEntry<decltype(c.findCertificate)>(module, "CertGetSubjectCertificateFromStore");
    c.freeCertificate = DllEntry<decltype(c.freeCertificate)>(module, "CertFreeCertificateContext");
    c.closeStore = DllEntry<decltype(c.closeStore)>(module, "CertCloseStore");
    return c;
  }();
  const Crypt32& c = loaded;
  return c.open && c.update && c.getParam && c.control && c.close && c.openStore && c.findCertificate &&
                 c.freeCertificate && c.closeStore
             ? &c
             : nullptr;
}

std::string systemError(const char* what, DWORD code) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (0x%08lX)", what, static_cast<unsigned long>(code));
  return text;
}

}  // namespace

bool VerifySignerSignature(std::string_view bytes, const Catalog&, std::size_t signerIndex, std::string& why) {
  const Crypt32* c = crypt32();
  if (!c) {
    why = "crypt32.dll cannot be loaded from System32";
    return false;
  }
  constexpr DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  HCRYPTMSG msg = c->open(encoding, 0, 0, 0, nullptr, nullptr);
  if (!msg) {
    why = systemError("CryptMsgOpenToDecode", GetLastError());
    return false;
  }
  bool ok = false;
  HCERTSTORE store = nullptr;
  PCCERT_CONTEXT certificate = nullptr;
  DWORD size = 0;
  std::vector<BYTE> info;
  if (!c->update(msg, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), TRUE)) {
    why = systemError("CryptMsgUpdate", GetLastError());
  } else if (!c->getParam(msg, CMSG_SIGNER_CERT_INFO_PARAM, static_cast<DWORD>(signerIndex), nullptr, &size) ||
             (info.resize(size), !c->getParam(msg, CMSG_SIGNER_CERT_INFO_PARAM, static_cast<DWORD>(signerIndex),
                                              info.data(), &size))) {
    why = systemError("CryptMsgGetParam", GetLastError());
  } else if (!(store = c->openStore(CERT_STORE_PROV_MSG, encoding, 0, 0, msg))) {
    why = systemError("CertOpenStore", GetLastError());
  } else if (!(certificate = c->findCertificate(store, encoding, reinterpret_cast<PCERT_INFO>(info.data())))) {
    why = "the signer's certificate is not in the catalog";
  } else if (!c->control(msg, 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate->pCertInfo)) {
    why = systemError("the signature check", GetLastError());
  } else {
    ok = true;
  }
  if (certificate) c->freeCertificate(certificate);
  if (store) c->closeStore(store, 0);
  c->close(msg);
  return ok;
}

}  // namespace qelvaro

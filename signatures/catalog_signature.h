#pragma once
// Whether a catalog's own signature holds: its content hashes to the digest the signer
// signed, and the signature over the signed attributes verifies with the signer's
// certificate. Trust in that certificate (its chain, revocation, test signing) is not
// decided here: Windows decides it when it installs the package.

#include <cstddef>
#include <string>
#include <string_view>

#include "catalog.h"

namespace qelvaro {

enum class CatalogSignatureStatus {
  Valid,             // the content is what was signed, and the signature holds
  Unsigned,          // no signer at all
  NoCertificate,     // the signer's certificate is not in the catalog
  UnknownAlgorithm,  // a digest or signature algorithm no catalog of Windows uses
  ContentAltered,    // the content does not hash to the signed message digest
  BadSignature,      // the signature over the signed attributes does not verify
};

struct CatalogSignatureCheck {
  CatalogSignatureStatus status = CatalogSignatureStatus::Unsigned;
  std::string detail;                        // why, in English, when not Valid
  const CatalogCertificate* signer = nullptr;  // the first signer's certificate, when found
};

// Checks the first signer (the one Windows checks) of `catalog`, read from `bytes`.
CatalogSignatureCheck CheckCatalogSignature(std::string_view bytes, const Catalog& catalog);

// The platform's check of the signature over the signed attributes of signer
// `signerIndex` (crypt32 on Windows, libcrypto natively): true when it holds; false
// with `why` set otherwise. The content digest is not its concern.
bool VerifySignerSignature(std::string_view bytes, const Catalog& catalog, std::size_t signerIndex, std::string& why);

}  // namespace qelvaro

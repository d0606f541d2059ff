#include "catalog_signature.h"

#include <optional>

#include "base/digest.h"

namespace qelvaro {
namespace {

CatalogSignatureCheck fails(CatalogSignatureStatus status, std::string detail, const CatalogCertificate* signer) {
  return {status, std::move(detail), signer};
}

}  // namespace

CatalogSignatureCheck CheckCatalogSignature(std::string_view bytes, const Catalog& catalog) {
  if (catalog.signers.empty()) return fails(CatalogSignatureStatus::Unsigned, "the catalog has no signer", nullptr);
  const CatalogSigner& signer = catalog.signers.front();
  const CatalogCertificate* certificate = SignerCertificate(catalog, signer);
  if (!certificate) {
    return fails(CatalogSignatureStatus::NoCertificate, "the signer's certificate is not in the catalog", nullptr);
  }
  if (signer.signedAttributesDer.empty()) {
    return fails(CatalogSignatureStatus::UnknownAlgorithm, "the signer signs no attributes", certificate);
  }
  // Our own check that the list is what was signed: Wine's crypt32 never compares the
  // message digest with the content, so a catalog changed after signing would pass it.
  const std::optional<DigestAlgorithm> algorithm = DigestAlgorithmOfOid(signer.digestAlgorithm);
  if (!algorithm) {
    return fails(CatalogSignatureStatus::UnknownAlgorithm, "digest algorithm " + signer.digestAlgorithm, certificate);
  }
  Digest hash(*algorithm);
  hash.update(catalog.content.data(), catalog.content.size());
  const std::string digest = hash.digestBytes();
  if (digest.empty()) {
    return fails(CatalogSignatureStatus::UnknownAlgorithm, "the system offers no " + signer.digestAlgorithm, certificate);
  }
  if (digest != signer.messageDigest) {
    return fails(CatalogSignatureStatus::ContentAltered, "the list was changed after it was signed", certificate);
  }
  std::string why;
  if (!VerifySignerSignature(bytes, catalog, 0, why)) {
    return fails(CatalogSignatureStatus::BadSignature, why.empty() ? "the signature does not verify" : why,
                 certificate);
  }
  return {CatalogSignatureStatus::Valid, {}, certificate};
}

}  // namespace qelvaro

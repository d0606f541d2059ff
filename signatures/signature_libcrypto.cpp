// The signature over a signer's attributes, through OpenSSL's libcrypto: the signer's
// certificate gives the public key (RSA or elliptic curve), the signer names the digest.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

#include "catalog_signature.h"

namespace qelvaro {
namespace {

struct FreeX509 {
  void operator()(X509* x) const { X509_free(x); }
};
struct FreeMdCtx {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

const EVP_MD* digestOf(const std::string& oid) {
  if (oid == "1.3.14.3.2.26") return EVP_sha1();
  if (oid == "2.16.840.1.101.3.4.2.1") return EVP_sha256();
  if (oid == "2.16.840.1.101.3.4.2.2") return EVP_sha384();
  if (oid == "2.16.840.1.101.3.4.2.3") return EVP_sha512();
  return nullptr;
}

}  // namespace

bool VerifySignerSignature(std::string_view, const Catalog& catalog, std::size_t signerIndex, std::string& why) {
  if (signerIndex >= catalog.signers.size()) {
    why = "no such signer";
    return false;
  }
  const CatalogSigner& signer = catalog.signers[signerIndex];
  const CatalogCertificate* certificate = SignerCertificate(catalog, signer);
  if (!certificate) {
    why = "the signer's certificate is not in the catalog";
    return false;
  }
  const EVP_MD* md = digestOf(signer.digestAlgorithm);
  if (!md) {
    why = "digest algorithm " + signer.digestAlgorithm;
    return false;
  }
  const auto* der = reinterpret_cast<const unsigned char*>(certificate->der.data());
  std::unique_ptr<X509, FreeX509> x509(d2i_X509(nullptr, &der, static_cast<long>(certificate->der.size())));
  EVP_PKEY* key = x509 ? X509_get0_pubkey(x509.get()) : nullptr;
  if (!key) {
    why = "the signer's certificate has no public key that can be read";
    return false;
  }
  std::unique_ptr<EVP_MD_CTX, FreeMdCtx> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) != 1) {
    why = "the signer's key cannot check a signature";
    return false;
  }
  const int ok = EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signer.signature.data()),
                                  signer.signature.size(),
                                  reinterpret_cast<const unsigned char*>(signer.signedAttributesDer.data()),
                                  signer.signedAttributesDer.size());
  if (ok != 1) {
    why = "the signature does not verify with the signer's certificate";
    return false;
  }
  return true;
}

}  // namespace qelvaro

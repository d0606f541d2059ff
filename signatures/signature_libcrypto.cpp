// The signature over a signer's attributes, through OpenSSL's libcrypto: the signer's
// certificate gives the public key (RSA or elliptic curve), the signer names the digest.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <map>
#include <memory>
#include <mutex>

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

// Signers' certificates as libcrypto reads them, kept by their bytes: reading one
// costs several times its signature check, and the catalogs of a system share a few
// signers. Bounded, for a listing of catalogs that each bring their own.
class CertificateCache {
 public:
  // The certificate read from `der`, or null when it cannot be read; valid until the
  // next call.
  X509* get(const std::string& der) {
    std::lock_guard<std::mutex> hold(mutex_);
    auto found = certificates_.find(der);
    if (found != certificates_.end()) return found->second.get();
    if (certificates_.size() >= kMaxKept) certificates_.clear();
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    std::unique_ptr<X509, FreeX509> read(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
    if (!read) return nullptr;
    return certificates_.emplace(der, std::move(read)).first->second.get();
  }

 private:
  static constexpr std::size_t kMaxKept = 64;
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<X509, FreeX509>> certificates_;
};

CertificateCache& certificateCache() {
  static CertificateCache cache;
  return cache;
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
  X509* x509 = certificateCache().get(certificate->der);
  EVP_PKEY* key = x509 ? X509_get0_pubkey(x509) : nullptr;
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

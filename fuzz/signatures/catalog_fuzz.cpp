// Feeds arbitrary bytes to the catalog reader and checks what its callers rely on: no
// crash, an error exactly when no catalog comes back, member digests of the size their
// algorithm gives, text in valid UTF-8, signed attributes re-tagged as a SET, and the
// signer's certificate looked up without a crash. It runs under a memory limit
// (fuzz/signatures/CMakeLists.txt), so that a reader whose memory grows far beyond
// its input fails.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "catalog.h"

using namespace qelvaro;

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

void requireText(const CatalogAttribute& a) {
  require(base::isValidUtf8(a.name));
  require(base::isValidUtf8(a.value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto catalog = ParseCatalog(bytes, error);
  require(catalog.has_value() == error.empty());
  if (!catalog) return 0;
  require(catalog->content.size() < size);
  require(catalog->members.size() <= kMaxCatalogMembers);
  for (const auto& a : catalog->attributes) requireText(a);
  for (const auto& m : catalog->members) {
    require(base::isValidUtf8(m.tag));
    require(m.digest.size() == (m.algorithm == HashAlgorithm::Sha1 ? 20u : 32u));
    for (const auto& a : m.attributes) requireText(a);
    if (m.memberInfoGuid) require(base::isValidUtf8(*m.memberInfoGuid));
  }
  for (const auto& c : catalog->certificates) {
    require(!c.der.empty() && c.der[0] == 0x30);
    require(base::isValidUtf8(c.subjectCommonName) && base::isValidUtf8(c.subjectOrganization) &&
            base::isValidUtf8(c.issuerCommonName));
    require(c.extendedKeyUsages.size() <= kMaxExtendedKeyUsages);
  }
  for (const auto& s : catalog->signers) {
    require(s.signedAttributesDer.empty() || s.signedAttributesDer[0] == 0x31);
    if (const CatalogCertificate* cert = SignerCertificate(*catalog, s)) require(cert->issuerDer == s.issuerDer);
  }
  return 0;
}

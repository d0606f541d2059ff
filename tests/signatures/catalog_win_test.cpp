// The catalog signature through the system's crypt32, on catalogs the build made and
// signed with osslsigncode: what Windows' own check gives, with our content check
// before it (Wine 8's crypt32 never compares the content with the signed digest).

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "catalog.h"
#include "catalog_signature.h"
#include "e2e_support.h"

using namespace qelvaro;

namespace {

std::string ReadCatalog(const char* name) {
  std::ifstream in(e2e::dosPath(std::string(QELVARO_TEST_CATALOGS) + "/" + name).c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Flipped(std::string bytes, const std::string& part) {
  const std::size_t at = bytes.find(part);
  if (at != std::string::npos) bytes[at + part.size() / 2] ^= 0x01;
  return at == std::string::npos ? std::string() : bytes;
}

TEST(CatalogSignatureWin, Crypt32ChecksTheSignatureAndWeTheContent) {
  const std::string rsa = ReadCatalog("rsa.cat");
  std::string error;
  const auto cat = ParseCatalog(rsa, error);
  ASSERT_TRUE(cat) << error;
  const CatalogSignatureCheck intact = CheckCatalogSignature(rsa, *cat);
  EXPECT_EQ(intact.status, CatalogSignatureStatus::Valid) << intact.detail;
  ASSERT_FALSE(cat->members.empty());

  const struct {
    const char* what;
    std::string bytes;
    CatalogSignatureStatus expected;
  } cases[] = {
      {"a member's digest", Flipped(rsa, cat->members[0].digest), CatalogSignatureStatus::ContentAltered},
      {"the signature", Flipped(rsa, cat->signers[0].signature), CatalogSignatureStatus::BadSignature},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto changed = ParseCatalog(c.bytes, error);
    ASSERT_TRUE(changed) << error;
    const CatalogSignatureCheck check = CheckCatalogSignature(c.bytes, *changed);
    EXPECT_EQ(check.status, c.expected) << check.detail;
  }

  // Windows checks ECDSA signatures; Wine 8 refuses them with NTE_BAD_SIGNATURE.
  const std::string ecdsa = ReadCatalog("ecdsa.cat");
  const auto ec = ParseCatalog(ecdsa, error);
  ASSERT_TRUE(ec) << error;
  const CatalogSignatureCheck ecCheck = CheckCatalogSignature(ecdsa, *ec);
  if (ecCheck.status != CatalogSignatureStatus::Valid) {
    EXPECT_EQ(ecCheck.status, CatalogSignatureStatus::BadSignature);
    EXPECT_NE(ecCheck.detail.find("0x8009"), std::string::npos) << ecCheck.detail;
  }
  std::printf("ECDSA catalog through crypt32: %s\n", ecCheck.detail.empty() ? "valid" : ecCheck.detail.c_str());
}

}  // namespace

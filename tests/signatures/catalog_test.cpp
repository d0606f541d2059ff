// The catalog reader against catalogs made by tests/signatures/make_catalog.py and
// signed by osslsigncode with throwaway certificates (RSA and ECDSA P-256), and against
// damaged, cut, oversized and member-bomb inputs, which must end in an error quickly.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "catalog.h"
#include "catalog_signature.h"
#include "der.h"
#include "file_hashes.h"
#include "package_signature.h"
#include "pe_test_image.h"

using namespace qelvaro;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Hex(const std::string& bytes) {
  return HexOf(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Tlv(unsigned char tag, const std::string& body) {
  std::string out(1, static_cast<char>(tag));
  const std::size_t n = body.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else {
    std::string len;
    for (std::size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<char>(v & 0xFF));
    out += static_cast<char>(0x80 | len.size());
    out += len;
  }
  return out + body;
}

// OIDs as DER, for the hand-made inputs.
const std::string kSignedDataOid = Tlv(0x06, FromHex("2a864886f70d010702"));
const std::string kDataOid = Tlv(0x06, FromHex("2a864886f70d010701"));
const std::string kCtlOid = Tlv(0x06, FromHex("2b0601040182370a01"));

// A SignedData around `content` of the given type, without signers.
std::string SignedData(const std::string& typeOid, const std::string& content) {
  const std::string encap = Tlv(0x30, typeOid + Tlv(0xA0, content));
  return Tlv(0x30, kSignedDataOid + Tlv(0xA0, Tlv(0x30, Tlv(0x02, "\x01") + Tlv(0x31, "") + encap + Tlv(0x31, ""))));
}

struct MemberCase {
  std::string file, kind, alg, hex;
};

struct CatalogCase {
  const char* name;
  const char* keyArgs;  // how openssl makes the key
  const char* commonName;
  std::vector<MemberCase> members;
  std::vector<CatalogAttribute> attributes;
};

const std::vector<CatalogCase> kCases = {
    {"rsa_sha256", "-newkey rsa:2048", "Qelvaro Test Signer",
     {{"drv.sys", "pe", "sha256", "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"},
      {"drv.inf", "flat", "sha256", "ffeeddccbbaa99887766554433221100ffeeddccbbaa99887766554433221100"}},
     {{"OSAttr", "2:6.1,2:10.0"}, {"HWID1", "pci\\ven_1234&dev_5678"}}},
    {"ecdsa_sha1", "-newkey ec -pkeyopt ec_paramgen_curve:P-256", "Qelvaro Prüfung",
     {{"drv.sys", "pe", "sha1", "0123456789abcdef0123456789abcdef01234567"},
      {"drv.cat.txt", "flat", "sha1", "fedcba9876543210fedcba9876543210fedcba98"}},
     {{"OSAttr", "2:10.0"}}},
};

// The catalogs, made once for the whole run.
struct Made {
  std::string skip;
  fs::path dir;
  std::vector<std::string> signedCats, unsignedCats;
  std::string flatFileSha256;  // the hash of the file given with --flat to the first case
};

Made& Catalogs() {
  static Made made = [] {
    Made m;
    if (std::system("osslsigncode --version >/dev/null 2>&1") != 0 ||
        std::system("openssl version >/dev/null 2>&1") != 0 || std::system("python3 --version >/dev/null 2>&1") != 0) {
      m.skip = "osslsigncode, openssl or python3 is not installed: no signed catalogs to read";
      return m;
    }
    std::string tmpl = (fs::temp_directory_path() / "qelvaro-catalog-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
      m.skip = "no temporary folder";
      return m;
    }
    m.dir = tmpl;
    const std::string flat = (m.dir / "hello.txt").string();
    std::ofstream(flat, std::ios::binary) << "hello, catalog\n";
    m.flatFileSha256 = Sha256Hex("hello, catalog\n");
    for (std::size_t i = 0; i < kCases.size(); ++i) {
      const CatalogCase& c = kCases[i];
      const std::string base = (m.dir / c.name).string();
      std::ostringstream make;
      make << "python3 '" << QELVARO_SIGNATURES_TESTS_DIR << "/make_catalog.py' -o '" << base << ".unsigned.cat'";
      for (const auto& member : c.members) make << " --member '" << member.file << ":" << member.kind << ":" << member.alg << ":" << member.hex << "'";
      for (const auto& a : c.attributes) make << " --attr '" << a.name << "=" << a.value << "'";
      if (i == 0) make << " --alg sha256 --flat '" << flat << "'";
      std::ostringstream sign;
      sign << "sh '" << QELVARO_SIGNATURES_TESTS_DIR << "/sign_catalog.sh' '" << base << "' '" << c.keyArgs << "' '"
           << c.commonName << "' '" << base << ".unsigned.cat' '" << base << ".cat'";
      if (std::system(make.str().c_str()) != 0 || std::system(sign.str().c_str()) != 0) {
        m.skip = "making or signing the catalog " + std::string(c.name) + " failed";
        return m;
      }
      m.unsignedCats.push_back(ReadFile(base + ".unsigned.cat"));
      m.signedCats.push_back(ReadFile(base + ".cat"));
    }
    return m;
  }();
  return made;
}

class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Catalogs().skip.empty()) GTEST_SKIP() << Catalogs().skip;
  }
  static void TearDownTestSuite() {
    if (!Catalogs().dir.empty()) fs::remove_all(Catalogs().dir);
  }
};

TEST_F(CatalogTest, MembersAndAttributesReadBack) {
  for (std::size_t i = 0; i < kCases.size(); ++i) {
    const CatalogCase& c = kCases[i];
    SCOPED_TRACE(c.name);
    for (const std::string* bytes : {&Catalogs().signedCats[i], &Catalogs().unsignedCats[i]}) {
      std::string error;
      const auto cat = ParseCatalog(*bytes, error);
      ASSERT_TRUE(cat) << error;
      std::vector<MemberCase> expected = c.members;
      if (i == 0) expected.push_back({"hello.txt", "flat", "sha256", Catalogs().flatFileSha256});
      ASSERT_EQ(cat->members.size(), expected.size());
      for (std::size_t k = 0; k < expected.size(); ++k) {
        const CatalogMember& m = cat->members[k];
        std::string upper = expected[k].hex;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char ch) { return std::toupper(ch); });
        EXPECT_EQ(m.tag, upper);
        EXPECT_EQ(Hex(m.digest), expected[k].hex);
        EXPECT_EQ(m.algorithm, expected[k].alg == "sha1" ? HashAlgorithm::Sha1 : HashAlgorithm::Sha256);
        EXPECT_EQ(m.kind, expected[k].kind == "pe" ? MemberHashKind::PeImage : MemberHashKind::Flat);
        ASSERT_EQ(m.attributes.size(), 1u);
        EXPECT_EQ(m.attributes[0].name, "File");
        EXPECT_EQ(m.attributes[0].value, expected[k].file);
        EXPECT_EQ(m.memberInfoGuid.value_or(""), "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}");
      }
      ASSERT_EQ(cat->attributes.size(), c.attributes.size());
      for (std::size_t k = 0; k < c.attributes.size(); ++k) {
        EXPECT_EQ(cat->attributes[k].name, c.attributes[k].name);
        EXPECT_EQ(cat->attributes[k].value, c.attributes[k].value);
      }
    }
  }
}

TEST_F(CatalogTest, SignerCertificateAndSignedDigest) {
  for (std::size_t i = 0; i < kCases.size(); ++i) {
    SCOPED_TRACE(kCases[i].name);
    std::string error;
    const auto cat = ParseCatalog(Catalogs().signedCats[i], error);
    ASSERT_TRUE(cat) << error;
    ASSERT_EQ(cat->signers.size(), 1u);
    const CatalogSigner& signer = cat->signers[0];
    const CatalogCertificate* cert = SignerCertificate(*cat, signer);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(cert->subjectCommonName, kCases[i].commonName);
    EXPECT_EQ(cert->subjectOrganization, "Qelvaro Tests");
    EXPECT_EQ(cert->issuerCommonName, kCases[i].commonName);  // self-signed
    EXPECT_EQ(cert->extendedKeyUsages, (std::vector<std::string>{"1.3.6.1.5.5.7.3.3", "1.3.6.1.4.1.311.10.3.5"}));
    EXPECT_EQ(static_cast<unsigned char>(cert->der[0]), 0x30);
    EXPECT_EQ(signer.digestAlgorithm, "2.16.840.1.101.3.4.2.1");
    EXPECT_FALSE(signer.signatureAlgorithm.empty());
    EXPECT_FALSE(signer.signature.empty());
    ASSERT_FALSE(signer.signedAttributesDer.empty());
    EXPECT_EQ(static_cast<unsigned char>(signer.signedAttributesDer[0]), 0x31);
    EXPECT_EQ(Hex(signer.messageDigest), Sha256Hex(cat->content));
  }
}

TEST_F(CatalogTest, EveryTruncationIsAnError) {
  const std::string& whole = Catalogs().signedCats[1];
  for (std::size_t n = 0; n < whole.size(); ++n) {
    std::string error;
    ASSERT_FALSE(ParseCatalog(std::string_view(whole).substr(0, n), error)) << n;
    ASSERT_FALSE(error.empty()) << n;
  }
}

TEST_F(CatalogTest, ByteFlipsGiveACatalogOrAnError) {
  std::mt19937 random(20260101);
  const std::string& whole = Catalogs().signedCats[0];
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = whole;
    for (int flips = 1 + round % 4; flips > 0; --flips) bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
    std::string error;
    const auto cat = ParseCatalog(bytes, error);
    ASSERT_EQ(cat.has_value(), error.empty()) << error;
  }
}

// Inputs whose reason must show in the error.
// A byte of `bytes` changed where `part` (unique in it) stands.
std::string Flipped(std::string bytes, const std::string& part) {
  const std::size_t at = bytes.find(part);
  if (at == std::string::npos || bytes.find(part, at + 1) != std::string::npos) return {};
  bytes[at + part.size() / 2] ^= 0x01;
  return bytes;
}

// The signature check: intact RSA and ECDSA catalogs hold; a list changed after signing,
// a signature changed, and no signer at all are told apart.
TEST_F(CatalogTest, SignatureHoldsOnlyOverWhatWasSigned) {
  for (std::size_t i = 0; i < kCases.size(); ++i) {
    SCOPED_TRACE(kCases[i].name);
    const std::string& bytes = Catalogs().signedCats[i];
    std::string error;
    const auto cat = ParseCatalog(bytes, error);
    ASSERT_TRUE(cat) << error;
    const CatalogSignatureCheck intact = CheckCatalogSignature(bytes, *cat);
    EXPECT_EQ(intact.status, CatalogSignatureStatus::Valid) << intact.detail;
    ASSERT_NE(intact.signer, nullptr);
    EXPECT_EQ(intact.signer->subjectCommonName, kCases[i].commonName);

    const struct {
      const char* what;
      std::string changed;
      CatalogSignatureStatus expected;
    } cases[] = {
        {"a member's digest", Flipped(bytes, FromHex(kCases[i].members[0].hex)), CatalogSignatureStatus::ContentAltered},
        {"the signature", Flipped(bytes, cat->signers[0].signature), CatalogSignatureStatus::BadSignature},
        {"no signer", Catalogs().unsignedCats[i], CatalogSignatureStatus::Unsigned},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      ASSERT_FALSE(c.changed.empty());
      const auto changed = ParseCatalog(c.changed, error);
      ASSERT_TRUE(changed) << error;
      EXPECT_EQ(CheckCatalogSignature(c.changed, *changed).status, c.expected);
      if (c.expected == CatalogSignatureStatus::Unsigned) {
        EXPECT_TRUE(changed->signers.empty());
        EXPECT_TRUE(changed->certificates.empty());
      }
    }
  }
}

FileHashes HashesOf(const std::string& bytes) {
  PackageFileHasher hasher;
  hasher.update(bytes.data(), bytes.size());
  return hasher.finish();
}

// A package against a catalog made for it: covered, a byte changed, a file the catalog
// does not list, no catalog named, the catalog missing or damaged. The PE file's verdict
// is checked against osslsigncode's own reading of the catalog.
TEST_F(CatalogTest, PackageSignatureNamesWhatWindowsWouldRefuse) {
  const fs::path dir = Catalogs().dir / "package";
  fs::create_directories(dir);
  const std::string sys = test::MakePeImage(true, 13), inf = "[Version]\r\nCatalogFile=pkg.cat\r\n";
  std::ofstream(dir / "drv.sys", std::ios::binary) << sys;
  std::ofstream(dir / "drv.inf", std::ios::binary) << inf;
  const FileHashes sysHashes = HashesOf(sys), infHashes = HashesOf(inf);
  ASSERT_TRUE(sysHashes.isPe);
  const std::string key = (Catalogs().dir / "rsa_sha256").string();
  const std::string make = "python3 '" + std::string(QELVARO_SIGNATURES_TESTS_DIR) + "/make_catalog.py' -o '" +
                           (dir / "pkg.unsigned.cat").string() + "' --alg sha256 --member 'drv.sys:pe:sha256:" +
                           Hex(sysHashes.peSha256) + "' --flat '" + (dir / "drv.inf").string() + "' && sh '" +
                           QELVARO_SIGNATURES_TESTS_DIR + "/sign_catalog.sh' '" + key + "' '' '' '" +
                           (dir / "pkg.unsigned.cat").string() + "' '" + (dir / "pkg.cat").string() + "'";
  ASSERT_EQ(std::system(make.c_str()), 0);
  const std::string cat = ReadFile(dir / "pkg.cat");

  std::string changedSys = sys;
  changedSys[0x300] ^= 0x20;
  const struct {
    const char* what;
    std::string catalogName;
    std::optional<std::string> catalog;
    std::vector<PackageFile> files;
    SignatureKind kind;
    std::vector<std::string> notCovered;
  } cases[] = {
      {"intact", "pkg.cat", cat, {{"drv.sys", sysHashes}, {"drv.inf", infHashes}}, SignatureKind::Publisher, {}},
      {"a byte changed", "pkg.cat", cat, {{"drv.sys", HashesOf(changedSys)}, {"drv.inf", infHashes}},
       SignatureKind::Broken, {"drv.sys"}},
      {"a file not listed", "pkg.cat", cat, {{"drv.inf", infHashes}, {"extra.dll", HashesOf("MZ extra")}},
       SignatureKind::Broken, {"extra.dll"}},
      {"no catalog named", "", std::nullopt, {{"drv.inf", infHashes}}, SignatureKind::Unsigned, {}},
      {"catalog missing", "pkg.cat", std::nullopt, {{"drv.inf", infHashes}}, SignatureKind::Broken, {}},
      {"catalog damaged", "pkg.cat", cat.substr(0, cat.size() / 2), {{"drv.inf", infHashes}}, SignatureKind::Broken, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const PackageSignature got = CheckPackageSignature(c.catalogName, c.catalog, c.files);
    EXPECT_EQ(got.kind, c.kind) << got.problem;
    EXPECT_EQ(got.notCovered, c.notCovered);
    EXPECT_EQ(got.problem.empty(), c.kind != SignatureKind::Broken) << got.problem;
  }
  EXPECT_EQ(CheckPackageSignature("pkg.cat", cat, {{"drv.sys", sysHashes}}).signer, "Qelvaro Test Signer");
  EXPECT_EQ(CheckPackageSignature("pkg.cat", cat, {{"drv.sys", HashesOf(changedSys)}}).problem,
            "drv.sys: not in catalog pkg.cat");

  // osslsigncode reads the catalog on its own and must agree on the PE member.
  std::ofstream(dir / "changed.sys", std::ios::binary) << changedSys;
  for (const auto& [file, covered] : {std::pair{"drv.sys", true}, std::pair{"changed.sys", false}}) {
    const std::string verify = "osslsigncode verify -catalog '" + (dir / "pkg.cat").string() + "' -in '" +
                               (dir / file).string() + "' -CAfile '" + key + ".pem' >/dev/null 2>&1";
    EXPECT_EQ(std::system(verify.c_str()) == 0, covered) << file;
    std::string error;
    EXPECT_EQ(CatalogCovers(*ParseCatalog(cat, error), HashesOf(ReadFile(dir / file))), covered) << file;
  }
}

TEST(SignatureKind, ByTheSignersNameAndUsage) {
  const struct {
    const char* name;
    std::vector<std::string> usages;
    SignatureKind kind;
  } cases[] = {
      {"Microsoft Windows Hardware Compatibility Publisher", {"1.3.6.1.4.1.311.10.3.5"}, SignatureKind::Whql},
      {"Microsoft Windows Hardware Compatibility Publisher", {"1.3.6.1.4.1.311.10.3.5.1"}, SignatureKind::Attestation},
      {"Microsoft Windows Hardware Compatibility Publisher", {"1.3.6.1.5.5.7.3.3"}, SignatureKind::Publisher},
      {"Microsoft Windows", {"1.3.6.1.4.1.311.10.3.6"}, SignatureKind::Windows},
      {"Acme Devices", {"1.3.6.1.4.1.311.10.3.5"}, SignatureKind::Publisher},
  };
  for (const auto& c : cases) {
    CatalogCertificate signer;
    signer.subjectCommonName = c.name;
    signer.extendedKeyUsages = c.usages;
    EXPECT_EQ(KindOfSigner(signer), c.kind) << c.name << " " << c.usages[0];
  }
  EXPECT_EQ(SignatureKindWord(SignatureKind::Broken), "broken");
}

TEST(CatalogErrors, NameTheReason) {
  const std::string ctl = Tlv(0x30, Tlv(0x30, "") + Tlv(0x17, "260101000000Z") + Tlv(0x30, ""));
  struct Case {
    const char* what;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"empty", "", "not a PKCS#7 SignedData"},
      {"text", "[Version]\r\nSignature=\"$Windows NT$\"\r\n", "not a PKCS#7 SignedData"},
      {"plain data", Tlv(0x30, kDataOid), "not a PKCS#7 SignedData: content type 1.2.840.113549.1.7.1"},
      {"signed data", SignedData(kDataOid, Tlv(0x04, "x")), "not a catalog: content type 1.2.840.113549.1.7.1"},
      {"cut", SignedData(kCtlOid, ctl).substr(0, 20), "truncated at byte 20"},
      {"indefinite", "\x30\x80" + kSignedDataOid + std::string(2, '\0'), "indefinite length at byte 0"},
      {"long length", std::string("\x30\x85\x01\x00\x00\x00\x00", 7), "length of more than 4 bytes at byte 0"},
      {"bad oid", Tlv(0x30, Tlv(0x06, "\x80\x01")), "malformed object identifier"},
      {"member without hash",
       SignedData(kCtlOid, Tlv(0x30, Tlv(0x30, "") + Tlv(0x17, "260101000000Z") + Tlv(0x30, "") +
                                         Tlv(0x30, Tlv(0x30, Tlv(0x04, "") + Tlv(0x31, ""))))),
       "catalog member without a file hash"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseCatalog(c.bytes, error)) << c.what;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
  // The smallest catalog reads.
  std::string error;
  const auto cat = ParseCatalog(SignedData(kCtlOid, ctl), error);
  ASSERT_TRUE(cat) << error;
  EXPECT_TRUE(cat->members.empty());
}

TEST(CatalogErrors, OversizedInputEndsAtOnce) {
  const std::string big(100u << 20, '\x30');
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  EXPECT_FALSE(ParseCatalog(big, error));
  EXPECT_NE(error.find("larger than"), std::string::npos) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// A member list of empty entries past the limit is refused while counting, before a
// member is kept (each would cost far more memory than its two bytes).
TEST(CatalogErrors, MemberCountBombEndsQuickly) {
  std::string members;
  for (std::size_t i = 0; i <= kMaxCatalogMembers; ++i) members += std::string("\x30\x00", 2);
  const std::string ctl = Tlv(0x30, Tlv(0x30, "") + Tlv(0x17, "260101000000Z") + Tlv(0x30, "") + Tlv(0x30, members));
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  EXPECT_FALSE(ParseCatalog(SignedData(kCtlOid, ctl), error));
  EXPECT_NE(error.find("more than 1000000 catalog members"), std::string::npos) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Der, ObjectIdentifiers) {
  const struct {
    const char* hex;
    const char* text;  // null: malformed
  } cases[] = {
      {"2a864886f70d010702", "1.2.840.113549.1.7.2"},
      {"2b0601040182370a0305", "1.3.6.1.4.1.311.10.3.5"},
      {"608648016503040201", "2.16.840.1.101.3.4.2.1"},
      {"8837", "2.999"},
      {"", nullptr},
      {"2a86", nullptr},                      // cut inside an arc
      {"2a8001", nullptr},                    // a padded arc
      {"2a8180808080808080808001", nullptr},  // an arc past 64 bits
  };
  for (const auto& c : cases) {
    const auto text = der::OidText(FromHex(c.hex));
    EXPECT_EQ(text.has_value(), c.text != nullptr) << c.hex;
    if (text && c.text) {
      EXPECT_EQ(*text, c.text);
    }
  }
}

TEST(Der, NestingDeeperThanTheBoundIsAnError) {
  std::string nested = Tlv(0x05, "");
  for (int i = 0; i < der::kMaxDerDepth + 2; ++i) nested = Tlv(0x30, nested);
  der::Input input{nested, {}};
  der::Reader r(input);
  der::Element e;
  while (r.next(e)) r = r.enter(e);
  EXPECT_NE(input.error.find("nested more than"), std::string::npos) << input.error;
}

}  // namespace

#pragma once
// Driver catalogs (.cat): PKCS#7 SignedData whose content is a certificate trust list
// (1.3.6.1.4.1.311.10.1) naming the hash of every file of a driver package. The reader
// is portable and bounded: it reads bytes already in memory, never more than the input,
// never deeper than a catalog nests, and a member or certificate count past what any
// catalog holds is damage.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/digest.h"

namespace qelvaro {

// Catalogs are small (Windows' largest in-box ones are a few MB); larger is damage.
inline constexpr std::size_t kMaxCatalogBytes = 64u << 20;
// Windows' in-box catalogs name tens of thousands of files and carry a handful of
// certificates and one or two signers; counts far past these are damage. The member
// count is checked before any member is kept, so that a list of empty members costs
// no memory, and a member without a file hash is damage, so that every member kept
// took dozens of bytes of input.
inline constexpr std::size_t kMaxCatalogMembers = 1'000'000;
inline constexpr std::size_t kMaxCatalogCertificates = 1'000;
inline constexpr std::size_t kMaxCatalogSigners = 64;
inline constexpr std::size_t kMaxExtendedKeyUsages = 256;  // per certificate

// A member's hash is one of the digests the platform takes (base/digest.h).
using HashAlgorithm = DigestAlgorithm;

// The digest a dotted algorithm OID names (SHA-1 1.3.14.3.2.26, SHA-256
// 2.16.840.1.101.3.4.2.1); none for any other.
std::optional<DigestAlgorithm> DigestAlgorithmOfOid(std::string_view oid);

// How a member's file is hashed: a PE image by its Authenticode hash (SPC_PE_IMAGE_DATA,
// 1.3.6.1.4.1.311.2.1.15), anything else over all its bytes (1.3.6.1.4.1.311.2.1.25).
enum class MemberHashKind { PeImage, Flat };

struct CatalogAttribute {
  std::string name;   // "File", "OSAttr", ... (UTF-8)
  std::string value;  // UTF-8
};

struct CatalogMember {
  std::string tag;                // the subject identifier as written (usually hex of the hash); never used to match
  HashAlgorithm algorithm = HashAlgorithm::Sha1;
  std::string digest;             // the raw digest bytes from SPC_INDIRECT_DATA (every member has one)
  MemberHashKind kind = MemberHashKind::Flat;
  std::vector<CatalogAttribute> attributes;  // name/value attributes (1.3.6.1.4.1.311.12.2.1)
  std::optional<std::string> memberInfoGuid;  // CAT_MEMBERINFO's subject GUID, when present
};

struct CatalogCertificate {
  std::string der;                  // the whole certificate
  std::string subjectCommonName;    // UTF-8; empty when it has none
  std::string subjectOrganization;  // UTF-8
  std::string issuerCommonName;     // UTF-8
  std::string issuerDer;            // the issuer Name, as encoded (to match a signer)
  std::string serialNumber;         // the serial's content bytes, as encoded
  std::vector<std::string> extendedKeyUsages;  // dotted OIDs ("1.3.6.1.4.1.311.10.3.5")
};

struct CatalogSigner {
  std::string issuerDer;     // issuerAndSerialNumber: the certificate that signed
  std::string serialNumber;
  std::string digestAlgorithm;     // dotted OID ("2.16.840.1.101.3.4.2.1" for SHA-256)
  std::string signatureAlgorithm;  // dotted OID (rsaEncryption, ecdsa-with-SHA256, ...)
  // The signed attributes re-tagged as a SET (0x31), as the signature covers them; empty
  // when the signer signs the content directly (no catalog is signed that way).
  std::string signedAttributesDer;
  std::string messageDigest;  // the message-digest signed attribute's bytes
  std::string signature;      // the signature value's bytes
};

struct Catalog {
  // The bytes the message digest covers: the CTL inside the encapsulated content's
  // [0] EXPLICIT field, without the CTL's own tag and length (PKCS#7 version 1.5
  // hashes the contents octets of content that is not plain data).
  std::string content;
  std::vector<CatalogAttribute> attributes;  // the catalog's own ("OSAttr", "HWID1", ...)
  std::vector<CatalogMember> members;
  std::vector<CatalogCertificate> certificates;
  std::vector<CatalogSigner> signers;
};

// Reads a catalog from its bytes; none, with `error` set to a short English reason
// ("not a PKCS#7 SignedData", "truncated at byte 1234", "not a catalog: content type
// 1.2.840.113549.1.7.1"), when it is not one or is damaged.
std::optional<Catalog> ParseCatalog(std::string_view bytes, std::string& error);

// The signer's certificate among the catalog's (matched by issuer and serial), or null.
const CatalogCertificate* SignerCertificate(const Catalog& catalog, const CatalogSigner& signer);

}  // namespace qelvaro

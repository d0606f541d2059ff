#include "catalog.h"

#include <cctype>

#include "base/digest.h"
#include "der.h"

namespace qelvaro {
namespace {

using der::Element;
using der::Reader;

constexpr std::string_view kOidSignedData = "1.2.840.113549.1.7.2";
constexpr std::string_view kOidCtl = "1.3.6.1.4.1.311.10.1";
constexpr std::string_view kOidIndirectData = "1.3.6.1.4.1.311.2.1.4";
constexpr std::string_view kOidPeImageData = "1.3.6.1.4.1.311.2.1.15";
constexpr std::string_view kOidNameValue = "1.3.6.1.4.1.311.12.2.1";
constexpr std::string_view kOidMemberInfo = "1.3.6.1.4.1.311.12.2.2";
constexpr std::string_view kOidSha1 = "1.3.14.3.2.26";
constexpr std::string_view kOidSha256 = "2.16.840.1.101.3.4.2.1";
constexpr std::string_view kOidMessageDigest = "1.2.840.113549.1.9.4";
constexpr std::string_view kOidCommonName = "2.5.4.3";
constexpr std::string_view kOidOrganization = "2.5.4.10";
constexpr std::string_view kOidExtendedKeyUsage = "2.5.29.37";

// "more than <limit> <what>", the error of every count past its bound.
std::string MoreThan(std::size_t limit, std::string_view what) {
  std::string message = "more than ";
  message += std::to_string(limit);
  message += ' ';
  message += what;
  return message;
}

// An OBJECT IDENTIFIER as dotted text.
bool ReadOid(Reader& r, std::string& out, std::string_view what) {
  Element e;
  if (!r.expect(der::kOid, e, what)) return false;
  const auto text = der::OidText(e.contents);
  if (!text) return r.failAt(e.offset, "malformed object identifier");
  out = *text;
  return true;
}

// An AlgorithmIdentifier's algorithm; its parameters are not needed.
bool ReadAlgorithm(Reader& r, std::string& oid, std::string_view what) {
  Element e;
  if (!r.expect(der::kSequence, e, what)) return false;
  Reader in = r.enter(e);
  return ReadOid(in, oid, what);
}

// The first common name and organization of a Name.
void ReadName(Reader r, std::string* commonName, std::string* organization) {
  Element rdn;
  while (r.next(rdn)) {
    if (rdn.tag != der::kSet) continue;
    Reader atvs = r.enter(rdn);
    Element atv;
    while (atvs.next(atv)) {
      if (atv.tag != der::kSequence) continue;
      Reader in = atvs.enter(atv);
      std::string type;
      Element value;
      if (!ReadOid(in, type, "an attribute type") || !in.next(value)) continue;
      std::string* target = type == kOidCommonName ? commonName : type == kOidOrganization ? organization : nullptr;
      if (target && target->empty()) {
        if (auto text = der::StringText(value)) *target = std::move(*text);
      }
    }
  }
}

// The extended key usages among a certificate's extensions.
bool ReadExtensions(Reader r, std::vector<std::string>& usages) {
  Element ext;
  while (r.next(ext)) {
    if (ext.tag != der::kSequence) continue;
    Reader in = r.enter(ext);
    std::string id;
    if (!ReadOid(in, id, "an extension id")) return false;
    Element critical, value;
    in.optional(der::kBoolean, critical);
    if (!in.expect(der::kOctetString, value, "an extension value")) return false;
    if (id != kOidExtendedKeyUsage) continue;
    Reader ekuValue = in.enter(value);
    Element list;
    if (!ekuValue.expect(der::kSequence, list, "a list of key usages")) return false;
    Reader oids = ekuValue.enter(list);
    while (!oids.atEnd() && oids.ok()) {
      if (usages.size() == kMaxExtendedKeyUsages) {
        return oids.fail(MoreThan(kMaxExtendedKeyUsages, "extended key usages"));
      }
      std::string usage;
      if (!ReadOid(oids, usage, "a key usage")) return false;
      usages.push_back(std::move(usage));
    }
  }
  return r.ok();
}

bool ReadCertificate(Reader& outer, const Element& cert, CatalogCertificate& out) {
  out.der = std::string(cert.whole);
  Reader r = outer.enter(cert);
  Element tbs;
  if (!r.expect(der::kSequence, tbs, "a certificate's signed part")) return false;
  Reader in = r.enter(tbs);
  Element version, serial, signature, issuer, validity, subject, key, field;
  in.optional(der::ContextConstructed(0), version);
  if (!in.expect(der::kInteger, serial, "a certificate serial number") ||
      !in.expect(der::kSequence, signature, "a certificate's signature algorithm") ||
      !in.expect(der::kSequence, issuer, "a certificate issuer") ||
      !in.expect(der::kSequence, validity, "a certificate's validity") ||
      !in.expect(der::kSequence, subject, "a certificate subject") ||
      !in.expect(der::kSequence, key, "a certificate's public key")) {
    return false;
  }
  out.serialNumber = std::string(serial.contents);
  out.issuerDer = std::string(issuer.whole);
  ReadName(in.enter(issuer), &out.issuerCommonName, nullptr);
  ReadName(in.enter(subject), &out.subjectCommonName, &out.subjectOrganization);
  while (in.next(field)) {
    if (field.tag != der::ContextConstructed(3)) continue;
    Reader wrapper = in.enter(field);
    Element list;
    if (!wrapper.expect(der::kSequence, list, "a certificate's extensions")) return false;
    if (!ReadExtensions(wrapper.enter(list), out.extendedKeyUsages)) return false;
  }
  return in.ok();
}

// CAT_NAMEVALUE: SEQUENCE { name BMPString, flags INTEGER, value OCTET STRING (UTF-16LE) }.
bool ReadNameValue(Reader& outer, const Element& e, CatalogAttribute& out) {
  if (e.tag != der::kSequence) return outer.failAt(e.offset, "expected a name/value attribute");
  Reader in = outer.enter(e);
  Element name, flags, value;
  if (!in.next(name)) return in.fail("expected an attribute name");
  const auto text = der::StringText(name);
  if (!text) return in.failAt(name.offset, "expected an attribute name");
  if (!in.expect(der::kInteger, flags, "attribute flags") ||
      !in.expect(der::kOctetString, value, "an attribute value")) {
    return false;
  }
  out.name = *text;
  out.value = der::Utf16LeText(value.contents);
  return true;
}

// SPC_INDIRECT_DATA: SEQUENCE { data SEQUENCE { type OID, value ANY OPTIONAL },
// messageDigest SEQUENCE { AlgorithmIdentifier, digest OCTET STRING } }.
bool ReadIndirectData(Reader& outer, const Element& e, CatalogMember& member) {
  if (e.tag != der::kSequence) return outer.failAt(e.offset, "expected a file hash");
  Reader in = outer.enter(e);
  Element data, digestInfo, digest;
  if (!in.expect(der::kSequence, data, "a file hash's data")) return false;
  Reader dataIn = in.enter(data);
  std::string type;
  if (!ReadOid(dataIn, type, "a file hash's data type")) return false;
  if (!in.expect(der::kSequence, digestInfo, "a file hash's digest")) return false;
  Reader digestIn = in.enter(digestInfo);
  std::string algorithm;
  if (!ReadAlgorithm(digestIn, algorithm, "a file hash's algorithm")) return false;
  if (!digestIn.expect(der::kOctetString, digest, "a file hash's digest bytes")) return false;
  const std::optional<DigestAlgorithm> known = DigestAlgorithmOfOid(algorithm);
  if (!known) return in.failAt(digestInfo.offset, "unsupported file hash algorithm " + algorithm);
  member.algorithm = *known;
  const std::size_t size = *known == DigestAlgorithm::Sha1 ? 20 : 32;
  if (digest.contents.size() != size) return in.failAt(digest.offset, "file hash of the wrong length");
  member.digest = std::string(digest.contents);
  member.kind = type == kOidPeImageData ? MemberHashKind::PeImage : MemberHashKind::Flat;
  return true;
}

// CAT_MEMBERINFO: SEQUENCE { subjectGuid BMPString, certVersion INTEGER }.
bool ReadMemberInfo(Reader& outer, const Element& e, CatalogMember& member) {
  if (e.tag != der::kSequence) return outer.failAt(e.offset, "expected member information");
  Reader in = outer.enter(e);
  Element guid;
  if (!in.next(guid)) return in.fail("expected a member GUID");
  auto text = der::StringText(guid);
  if (!text) return in.failAt(guid.offset, "expected a member GUID");
  member.memberInfoGuid = std::move(*text);
  return true;
}

// The subject identifier is UTF-16LE text (the hash in hex) in every catalog Windows
// writes; an odd-sized one cannot be, and is shown in hex.
std::string MemberTag(std::string_view bytes) {
  if (bytes.size() % 2 == 0) return der::Utf16LeText(bytes);
  std::string hex = HexOf(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

// One trusted subject: SEQUENCE { subjectIdentifier OCTET STRING, attributes SET OF Attribute }.
bool ReadMember(Reader& list, const Element& e, CatalogMember& member) {
  if (e.tag != der::kSequence) return list.failAt(e.offset, "expected a catalog member");
  Reader in = list.enter(e);
  Element tag, attributes, attribute;
  if (!in.expect(der::kOctetString, tag, "a member tag")) return false;
  member.tag = MemberTag(tag.contents);
  if (!in.expect(der::kSet, attributes, "a member's attributes")) return false;
  Reader attrs = in.enter(attributes);
  bool haveHash = false;
  while (attrs.next(attribute)) {
    if (attribute.tag != der::kSequence) return attrs.failAt(attribute.offset, "expected a member attribute");
    Reader a = attrs.enter(attribute);
    std::string type;
    Element values, value;
    if (!ReadOid(a, type, "a member attribute type")) return false;
    if (!a.expect(der::kSet, values, "member attribute values")) return false;
    Reader v = a.enter(values);
    if (!v.next(value)) {
      if (!v.ok()) return false;
      continue;  // an attribute without a value says nothing
    }
    if (type == kOidIndirectData && !haveHash) {
      if (!ReadIndirectData(v, value, member)) return false;
      haveHash = true;
    } else if (type == kOidNameValue) {
      CatalogAttribute attr;
      if (!ReadNameValue(v, value, attr)) return false;
      member.attributes.push_back(std::move(attr));
    } else if (type == kOidMemberInfo && !member.memberInfoGuid) {
      if (!ReadMemberInfo(v, value, member)) return false;
    }
  }
  // A member vouches for a file by its hash; one without is damage. Requiring it also
  // keeps memory in proportion: every member kept took dozens of bytes of input.
  if (attrs.ok() && !haveHash) return list.failAt(e.offset, "catalog member without a file hash");
  return attrs.ok();
}

// The catalog's own attributes: CTL extensions whose id is CAT_NAMEVALUE, each value
// the encoded name/value.
bool ReadCatalogAttributes(Reader r, std::vector<CatalogAttribute>& out) {
  Element list, ext;
  if (!r.expect(der::kSequence, list, "catalog extensions")) return false;
  Reader exts = r.enter(list);
  while (exts.next(ext)) {
    if (ext.tag != der::kSequence) return exts.failAt(ext.offset, "expected a catalog extension");
    Reader in = exts.enter(ext);
    std::string id;
    Element critical, value, nameValue;
    if (!ReadOid(in, id, "a catalog extension id")) return false;
    in.optional(der::kBoolean, critical);
    if (!in.expect(der::kOctetString, value, "a catalog extension value")) return false;
    if (id != kOidNameValue) continue;
    Reader inner = in.enter(value);
    if (!inner.next(nameValue)) return inner.fail("expected a name/value attribute");
    CatalogAttribute attr;
    if (!ReadNameValue(inner, nameValue, attr)) return false;
    out.push_back(std::move(attr));
  }
  return exts.ok();
}

// The certificate trust list: SEQUENCE { version INTEGER OPTIONAL, subjectUsage,
// listIdentifier OPTIONAL, sequenceNumber OPTIONAL, thisUpdate, nextUpdate OPTIONAL,
// subjectAlgorithm, trustedSubjects OPTIONAL, extensions [0] OPTIONAL }.
bool ReadTrustList(Reader& outer, const Element& ctl, Catalog& catalog) {
  Reader in = outer.enter(ctl);
  Element e, subjects;
  in.optional(der::kInteger, e);
  if (!in.expect(der::kSequence, e, "the catalog's subject usage")) return false;
  in.optional(der::kOctetString, e);
  in.optional(der::kInteger, e);
  if (!in.optional(der::kUtcTime, e) && !in.optional(der::kGeneralizedTime, e)) {
    return in.fail("expected the catalog's time");
  }
  if (!in.optional(der::kUtcTime, e)) in.optional(der::kGeneralizedTime, e);  // nextUpdate
  if (!in.expect(der::kSequence, e, "the catalog's subject algorithm")) return false;
  if (in.optional(der::kSequence, subjects)) {
    // Counted before any is kept: a list of millions of empty members is refused
    // before it costs memory.
    Reader count = in.enter(subjects);
    std::size_t members = 0;
    while (count.next(e)) {
      if (++members > kMaxCatalogMembers) {
        return count.failAt(e.offset, MoreThan(kMaxCatalogMembers, "catalog members"));
      }
    }
    if (!count.ok()) return false;
    catalog.members.reserve(members);
    Reader list = in.enter(subjects);
    while (list.next(e)) {
      CatalogMember member;
      if (!ReadMember(list, e, member)) return false;
      catalog.members.push_back(std::move(member));
    }
    if (!list.ok()) return false;
  }
  if (in.optional(der::ContextConstructed(0), e)) {
    if (!ReadCatalogAttributes(in.enter(e), catalog.attributes)) return false;
  }
  if (!in.atEnd() && in.ok()) return in.fail("unexpected data in the catalog");
  return in.ok();
}

// SignerInfo: SEQUENCE { version, sid, digestAlgorithm, signedAttrs [0] IMPLICIT OPTIONAL,
// signatureAlgorithm, signature OCTET STRING, unsignedAttrs [1] IMPLICIT OPTIONAL }.
bool ReadSigner(Reader& outer, const Element& e, CatalogSigner& signer) {
  if (e.tag != der::kSequence) return outer.failAt(e.offset, "expected a signer");
  Reader in = outer.enter(e);
  Element version, sid, attrs, signature;
  if (!in.expect(der::kInteger, version, "a signer's version")) return false;
  if (!in.next(sid)) return in.fail("expected a signer's certificate");
  if (sid.tag == der::kSequence) {
    Reader ias = in.enter(sid);
    Element issuer, serial;
    if (!ias.expect(der::kSequence, issuer, "a signer's issuer") ||
        !ias.expect(der::kInteger, serial, "a signer's serial number")) {
      return false;
    }
    signer.issuerDer = std::string(issuer.whole);
    signer.serialNumber = std::string(serial.contents);
  } else if (sid.tag != der::ContextPrimitive(0)) {
    return in.failAt(sid.offset, "expected a signer's certificate");
  }
  if (!ReadAlgorithm(in, signer.digestAlgorithm, "a signer's digest algorithm")) return false;
  if (in.optional(der::ContextConstructed(0), attrs)) {
    // The signature covers the attributes as a SET, not as the [0] they are stored as.
    signer.signedAttributesDer = std::string(attrs.whole);
    signer.signedAttributesDer[0] = static_cast<char>(der::kSet);
    Reader list = in.enter(attrs);
    Element attribute;
    while (list.next(attribute)) {
      if (attribute.tag != der::kSequence) return list.failAt(attribute.offset, "expected a signed attribute");
      Reader a = list.enter(attribute);
      std::string type;
      Element values, value;
      if (!ReadOid(a, type, "a signed attribute type") || !a.expect(der::kSet, values, "signed attribute values")) {
        return false;
      }
      if (type != kOidMessageDigest) continue;
      Reader v = a.enter(values);
      if (!v.expect(der::kOctetString, value, "the message digest")) return false;
      signer.messageDigest = std::string(value.contents);
    }
    if (!list.ok()) return false;
  }
  if (!ReadAlgorithm(in, signer.signatureAlgorithm, "a signer's signature algorithm")) return false;
  if (!in.expect(der::kOctetString, signature, "a signature")) return false;
  signer.signature = std::string(signature.contents);
  return true;
}

bool ReadSignedData(Reader& outer, const Element& e, Catalog& catalog) {
  Reader in = outer.enter(e);
  Element version, digests, encap, wrapper, ctl, certs, crls, signers, item;
  if (!in.expect(der::kInteger, version, "the SignedData version") ||
      !in.expect(der::kSet, digests, "the SignedData digest algorithms") ||
      !in.expect(der::kSequence, encap, "the signed content")) {
    return false;
  }
  Reader content = in.enter(encap);
  std::string type;
  if (!ReadOid(content, type, "the signed content type")) return false;
  if (type != kOidCtl) return content.failAt(encap.offset, "not a catalog: content type " + type);
  if (!content.expect(der::ContextConstructed(0), wrapper, "the catalog's content")) return false;
  Reader ctlReader = content.enter(wrapper);
  if (!ctlReader.expect(der::kSequence, ctl, "the catalog's trust list")) return false;
  catalog.content = std::string(ctl.contents);
  if (!ReadTrustList(ctlReader, ctl, catalog)) return false;

  if (in.optional(der::ContextConstructed(0), certs)) {
    Reader list = in.enter(certs);
    while (list.next(item)) {
      if (item.tag != der::kSequence) continue;  // other certificate kinds are not read
      if (catalog.certificates.size() == kMaxCatalogCertificates) {
        return list.failAt(item.offset, MoreThan(kMaxCatalogCertificates, "certificates"));
      }
      CatalogCertificate cert;
      if (!ReadCertificate(list, item, cert)) return false;
      catalog.certificates.push_back(std::move(cert));
    }
    if (!list.ok()) return false;
  }
  in.optional(der::ContextConstructed(1), crls);
  if (!in.expect(der::kSet, signers, "the signers")) return false;
  Reader list = in.enter(signers);
  while (list.next(item)) {
    if (catalog.signers.size() == kMaxCatalogSigners) {
      return list.failAt(item.offset, MoreThan(kMaxCatalogSigners, "signers"));
    }
    CatalogSigner signer;
    if (!ReadSigner(list, item, signer)) return false;
    catalog.signers.push_back(std::move(signer));
  }
  return list.ok();
}

}  // namespace

std::optional<Catalog> ParseCatalog(std::string_view bytes, std::string& error) {
  error.clear();
  if (bytes.size() > kMaxCatalogBytes) {
    error = "larger than 64 MB, which no catalog is";
    static_assert(kMaxCatalogBytes == 64u << 20);
    return std::nullopt;
  }
  der::Input input{bytes, {}};
  Reader top(input);
  Element info, wrapper, signedData;
  std::uint8_t tag = 0;
  if (!top.peek(tag) || tag != der::kSequence) {
    error = "not a PKCS#7 SignedData";
    return std::nullopt;
  }
  Catalog catalog;
  if (top.next(info)) {
    Reader in = top.enter(info);
    std::string type;
    if (ReadOid(in, type, "a content type")) {
      if (type != kOidSignedData) {
        in.failAt(info.offset, "not a PKCS#7 SignedData: content type " + type);
      } else if (in.expect(der::ContextConstructed(0), wrapper, "the SignedData")) {
        Reader holder = in.enter(wrapper);
        if (holder.expect(der::kSequence, signedData, "the SignedData")) ReadSignedData(holder, signedData, catalog);
      }
    }
  }
  if (!input.error.empty()) {
    error = std::move(input.error);
    return std::nullopt;
  }
  return catalog;
}

std::optional<DigestAlgorithm> DigestAlgorithmOfOid(std::string_view oid) {
  if (oid == kOidSha1) return DigestAlgorithm::Sha1;
  if (oid == kOidSha256) return DigestAlgorithm::Sha256;
  return std::nullopt;
}

const CatalogCertificate* SignerCertificate(const Catalog& catalog, const CatalogSigner& signer) {
  if (signer.issuerDer.empty()) return nullptr;
  for (const auto& cert : catalog.certificates) {
    if (cert.issuerDer == signer.issuerDer && cert.serialNumber == signer.serialNumber) return &cert;
  }
  return nullptr;
}

}  // namespace qelvaro

#include "package_signature.h"

#include <algorithm>

#include "base/text_encoding.h"
#include "catalog_signature.h"
#include "file_name_fold.h"
#include "inf_backup_view.h"

namespace qelvaro {
namespace {

constexpr char kWhqlUsage[] = "1.3.6.1.4.1.311.10.3.5";
constexpr char kAttestationUsage[] = "1.3.6.1.4.1.311.10.3.5.1";

bool endsWith(std::string_view name, std::string_view suffix) {
  return name.size() > suffix.size() && iequalsAscii(name.substr(name.size() - suffix.size()), suffix);
}

bool isTopLevel(std::string_view name) { return name.find('/') == std::string_view::npos; }

bool hasUsage(const CatalogCertificate& c, const char* oid) {
  return std::find(c.extendedKeyUsages.begin(), c.extendedKeyUsages.end(), oid) != c.extendedKeyUsages.end();
}

}  // namespace

std::string_view SignatureKindWord(SignatureKind kind) {
  switch (kind) {
    case SignatureKind::Whql: return "whql";
    case SignatureKind::Attestation: return "attestation";
    case SignatureKind::Windows: return "windows";
    case SignatureKind::Publisher: return "publisher";
    case SignatureKind::Unsigned: return "unsigned";
    case SignatureKind::Broken: return "broken";
  }
  return "broken";
}

SignatureKind KindOfSigner(const CatalogCertificate& signer) {
  if (signer.subjectCommonName == "Microsoft Windows Hardware Compatibility Publisher") {
    if (hasUsage(signer, kWhqlUsage)) return SignatureKind::Whql;
    if (hasUsage(signer, kAttestationUsage)) return SignatureKind::Attestation;
  }
  if (signer.subjectCommonName == "Microsoft Windows") return SignatureKind::Windows;
  return SignatureKind::Publisher;
}

std::string SignerName(const CatalogCertificate& signer) {
  return signer.subjectCommonName.empty() ? signer.subjectOrganization : signer.subjectCommonName;
}

bool CatalogCovers(const Catalog& catalog, const FileHashes& hashes) {
  for (const CatalogMember& m : catalog.members) {
    const bool sha1 = m.algorithm == HashAlgorithm::Sha1;
    const std::string& mine = hashes.isPe ? (sha1 ? hashes.peSha1 : hashes.peSha256)
                                          : (sha1 ? hashes.flatSha1 : hashes.flatSha256);
    if (!mine.empty() && m.digest == mine) return true;
  }
  return false;
}

PackageSignature CheckPackageSignature(const std::string& catalogName, const std::optional<std::string>& catalogBytes,
                                       const std::vector<PackageFile>& files) {
  PackageSignature out;
  out.catalog = catalogName;
  if (catalogName.empty()) {
    out.kind = SignatureKind::Unsigned;
    return out;
  }
  out.kind = SignatureKind::Broken;
  if (!catalogBytes) {
    out.problem = "catalog " + catalogName + " is missing";
    return out;
  }
  std::string error;
  const std::optional<Catalog> catalog = ParseCatalog(*catalogBytes, error);
  if (!catalog) {
    out.problem = "catalog " + catalogName + " is damaged: " + error;
    return out;
  }
  const CatalogSignatureCheck check = CheckCatalogSignature(*catalogBytes, *catalog);
  if (check.signer) out.signer = SignerName(*check.signer);
  if (check.status != CatalogSignatureStatus::Valid) {
    out.problem = "catalog " + catalogName + ": " + check.detail;
    return out;
  }
  for (const PackageFile& f : files) {
    if (!CatalogCovers(*catalog, f.hashes)) out.notCovered.push_back(f.name);
  }
  if (!out.notCovered.empty()) {
    out.problem = out.notCovered.front() + ": not in catalog " + catalogName;
    return out;
  }
  out.kind = KindOfSigner(*check.signer);
  return out;
}

std::optional<PackageSignature> CheckFolderPackageSignature(
    const std::vector<PackageFile>& files, const std::function<std::optional<std::string>(const std::string&)>& read,
    MachineArch arch, const AnsiDecoder& decodeAnsi) {
  const PackageFile* inf = nullptr;
  for (const PackageFile& f : files) {
    if (isTopLevel(f.name) && endsWith(f.name, ".inf") && (!inf || FoldFileName(f.name) < FoldFileName(inf->name))) {
      inf = &f;
    }
  }
  if (!inf) return std::nullopt;
  const std::optional<std::string> infBytes = read(inf->name);
  if (!infBytes) {
    PackageSignature out;
    out.kind = SignatureKind::Broken;
    out.problem = inf->name + ": cannot be read";
    return out;
  }
  const std::string catalogName =
      ReadInfForBackup(IniDocument::parse(decodeProfileText(*infBytes, decodeAnsi)), arch).catalog;
  std::optional<std::string> catalogBytes;
  std::vector<PackageFile> checked;
  const std::string catalogKey = FoldFileName(catalogName);
  for (const PackageFile& f : files) {
    if (!catalogName.empty() && FoldFileName(f.name) == catalogKey) catalogBytes = read(f.name);
    if (isTopLevel(f.name) && (endsWith(f.name, ".cat") || endsWith(f.name, ".pnf"))) continue;
    checked.push_back(f);
  }
  return CheckPackageSignature(catalogName, catalogBytes, checked);
}

}  // namespace qelvaro

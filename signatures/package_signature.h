#pragma once
// What Windows will say of a driver package's signature: the catalog its INF names must
// be sound, signed, and list every file of the package by the hash Windows takes of it
// (the Authenticode hash of a PE image, the hash of all bytes of anything else). Whether
// Windows trusts the signer is its own decision at install; this tells who signed, and
// which of the kinds Windows ranks apart.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog.h"
#include "file_hashes.h"
#include "inf_values.h"
#include "ini_reader.h"

namespace qelvaro {

enum class SignatureKind {
  Whql,         // Microsoft Windows Hardware Compatibility Publisher, WHQL usage
  Attestation,  // Microsoft's attestation signing
  Windows,      // Microsoft Windows: a driver that comes with Windows
  Publisher,    // any other signer
  Unsigned,     // the INF names no catalog
  Broken,       // the catalog is missing, damaged, not validly signed, or leaves a file out
};

// "whql", "attestation", "windows", "publisher", "unsigned", "broken".
std::string_view SignatureKindWord(SignatureKind kind);

// The kind a valid signature by `signer` has.
SignatureKind KindOfSigner(const CatalogCertificate& signer);

// The signer's name as a list shows it: the common name, else the organization.
std::string SignerName(const CatalogCertificate& signer);

struct PackageFile {
  std::string name;  // as the package names it ("x.sys", "sub\\y.dll")
  FileHashes hashes;
};

struct PackageSignature {
  SignatureKind kind = SignatureKind::Unsigned;
  std::string signer;                   // who signed, when a catalog was read and verified
  std::string catalog;                  // the catalog's name as the INF gives it
  std::vector<std::string> notCovered;  // files the catalog does not list
  std::string problem;                  // why it is broken, in English
};

// The package's signature from its catalog (`catalogName` empty: the INF names none;
// `catalogBytes` none: the named catalog could not be read) and the hashes of its files.
PackageSignature CheckPackageSignature(const std::string& catalogName,
                                       const std::optional<std::string>& catalogBytes,
                                       const std::vector<PackageFile>& files);

// The signature of the driver package laid out in one folder, as a backup keeps each
// driver: `files` are every file below the folder by its path there ("x.inf",
// "amd64/x.sys", "/" between the parts) with its hashes; `read` gives the bytes of one
// of them (the INF and the catalog), none when it cannot be read. The package's INF is
// the first *.inf directly in the folder (by name); its catalog is the one it names for
// `arch`. Every file is checked but the catalogs and the INF caches (*.cat, *.pnf)
// directly in the folder: Windows checks each file of a package against the catalog
// when it stages it. None when the folder holds no INF (no driver).
std::optional<PackageSignature> CheckFolderPackageSignature(
    const std::vector<PackageFile>& files, const std::function<std::optional<std::string>(const std::string&)>& read,
    MachineArch arch, const AnsiDecoder& decodeAnsi);

// Whether `catalog` lists a file with these hashes (a PE image by its Authenticode
// hash, anything else by the hash of all its bytes, in the member's own algorithm).
bool CatalogCovers(const Catalog& catalog, const FileHashes& hashes);

}  // namespace qelvaro

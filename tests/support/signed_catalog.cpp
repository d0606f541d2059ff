#include "signed_catalog.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/digest.h"
#include "file_hashes.h"

namespace qelvaro::testing {
namespace {

namespace stdfs = std::filesystem;

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string slurp(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The folder of the one key of this program, removed when it ends.
struct KeyFolder {
  KeyFolder() {
    std::string pattern = (stdfs::temp_directory_path() / "qelvaro-signer.XXXXXX").string();
    if (::mkdtemp(pattern.data())) path = pattern;
  }
  ~KeyFolder() {
    std::error_code ec;
    if (!path.empty()) stdfs::remove_all(path, ec);
  }
  std::string path;
};

}  // namespace

std::string SignedCatalogOf(const std::string& folder) {
  static KeyFolder keys;
  static int made = 0;
  const std::string tools = std::string(QELVARO_FIXTURES_DIR) + "/../signatures/";
  const std::string unsignedCat = keys.path + "/" + std::to_string(++made) + ".unsigned.cat";
  const std::string signedCat = keys.path + "/" + std::to_string(made) + ".cat";
  std::string command = "python3 " + quoted(tools + "make_catalog.py") + " -o " + quoted(unsignedCat) +
                        " --alg sha256 --attr OSAttr=2:6.1,2:10.0";
  for (const auto& e : stdfs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file() || e.path().extension() == ".cat") continue;
    PackageFileHasher hasher;
    const std::string bytes = slurp(e.path());
    hasher.update(bytes.data(), bytes.size());
    const FileHashes h = hasher.finish();
    const std::string& digest = h.isPe ? h.peSha256 : h.flatSha256;
    command += " --member " + quoted(e.path().filename().string() + (h.isPe ? ":pe:sha256:" : ":flat:sha256:") +
                                     HexOf(reinterpret_cast<const unsigned char*>(digest.data()), digest.size()));
  }
  command += " && sh " + quoted(tools + "sign_catalog.sh") + " " + quoted(keys.path + "/key") +
             " '-newkey rsa:2048' " + quoted(kTestSigner) + " " + quoted(unsignedCat) + " " + quoted(signedCat);
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return slurp(signedCat);
}

}  // namespace qelvaro::testing

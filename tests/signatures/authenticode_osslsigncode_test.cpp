// The Authenticode hashes of PE images checked against osslsigncode's: of an image it
// signs (the digest it puts in the signature) and of the signed image (the digest it
// works out when it verifies).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/sha256.h"
#include "file_hashes.h"
#include "pe_test_image.h"

namespace qelvaro {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

// The hex after "`label`:" in osslsigncode's output, lower-cased; empty when absent.
std::string DigestAfter(const std::string& output, const std::string& label) {
  const std::size_t at = output.find(label);
  if (at == std::string::npos) return {};
  std::size_t from = output.find(':', at);
  if (from == std::string::npos) return {};
  std::string hex;
  for (std::size_t i = from + 1; i < output.size() && output[i] != '\n'; ++i) {
    if (std::isxdigit(static_cast<unsigned char>(output[i]))) hex.push_back(static_cast<char>(std::tolower(output[i])));
  }
  return hex;
}

FileHashes HashOf(const std::string& file) {
  PackageFileHasher hasher;
  hasher.update(file.data(), file.size());
  return hasher.finish();
}

std::string Hex(const std::string& bytes) {
  return HexOf(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

class AuthenticodeAgainstOsslsigncode : public testing::Test {
 protected:
  void SetUp() override {
    if (Shell("command -v osslsigncode >/dev/null 2>&1") != 0) GTEST_SKIP() << "osslsigncode is not installed";
    if (Shell("command -v openssl >/dev/null 2>&1") != 0) GTEST_SKIP() << "openssl is not installed";
    char name[] = "/tmp/qelvaro-authenticode-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    ASSERT_EQ(Shell("cd '" + dir_.string() +
                  "' && openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Test -days 2 -keyout key.pem -out cert.pem"
                  " >openssl.log 2>&1"),
              0)
        << Read(dir_ / "openssl.log");
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  fs::path dir_;
};

TEST_F(AuthenticodeAgainstOsslsigncode, HashesOfUnsignedAndSignedImagesMatch) {
  struct Case {
    const char* name;
    bool pe32plus;
    std::size_t trailing;
  };
  const Case images[] = {
      {"PE32, a multiple of 8", false, 0},
      {"PE32, padded", false, 5},
      {"PE32+, a multiple of 8", true, 0},
      {"PE32+, padded", true, 3},
  };
  for (const Case& c : images) {
    for (const char* algorithm : {"sha1", "sha256"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + algorithm);
      const std::string unsignedImage = test::MakePeImage(c.pe32plus, c.trailing);
      Write(dir_ / "a.exe", unsignedImage);
      fs::remove(dir_ / "s.exe");
      const std::string in = "cd '" + dir_.string() + "' && ";
      ASSERT_EQ(Shell(in + "osslsigncode sign -certs cert.pem -key key.pem -h " + algorithm +
                    " -in a.exe -out s.exe >sign.log 2>&1"),
                0)
          << Read(dir_ / "sign.log");
      Shell(in + "osslsigncode verify -in s.exe >verify.log 2>&1");
      const std::string verify = Read(dir_ / "verify.log");
      const std::string signedImage = Read(dir_ / "s.exe");

      const FileHashes before = HashOf(unsignedImage);
      const FileHashes after = HashOf(signedImage);
      ASSERT_TRUE(before.isPe);
      ASSERT_TRUE(after.isPe);
      const bool sha1 = std::string(algorithm) == "sha1";
      // The digest the signature carries is that of the image as it was given.
      EXPECT_EQ(Hex(sha1 ? before.peSha1 : before.peSha256), DigestAfter(verify, "Current message digest")) << verify;
      EXPECT_EQ(Hex(sha1 ? after.peSha1 : after.peSha256), DigestAfter(verify, "Calculated message digest")) << verify;
    }
  }
}

}  // namespace
}  // namespace qelvaro

// Packing through the zip component's DLL, as the window does, against the component
// linked into the program: the same Zip file byte for byte, the same package, the
// same errors; a DLL that cannot be loaded says why and is never searched for.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e_support.h"
#include "qzip_runner.h"
#include "sfx_packaging.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

std::string readAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A small backup tree below `root`, its files' times fixed so that two trees pack alike.
void layTree(const std::wstring& root) {
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW((root + L"\\Net").c_str(), nullptr);
  CreateDirectoryW((root + L"\\Net\\Demo").c_str(), nullptr);
  const FILETIME when{0x2a1b3c00u, 0x01d9a0b0u};
  for (const auto& [name, bytes] : {std::pair<std::wstring, std::string>{L"\\Net\\Demo\\demo.inf", "[Version]\r\n"},
                                    {L"\\Net\\Demo\\demo.sys", std::string(70000, 'q')},
                                    {L"\\SHA256SUMS", "0000  Net/Demo/demo.inf\n"}}) {
    std::ofstream(std::filesystem::path(root + name), std::ios::binary) << bytes;
    HANDLE h = CreateFileW((root + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, &when, &when, &when);
    CloseHandle(h);
  }
}

TEST(QzipLibrary, PacksAsTheLinkedComponentDoes) {
  const QzipLibrary dll(base::narrow(e2e::dosPath(QELVARO_QZIP_DLL)));
  ASSERT_TRUE(dll.loaded()) << dll.why();
  const std::wstring base = L"C:\\qzip-runner";
  CreateDirectoryW(base.c_str(), nullptr);
  int heard = 0;
  const BytesPercent progress = [&heard](std::int16_t) { ++heard; };
  // The same tree packed by each: a Zip file, then a package.
  for (const bool package : {false, true}) {
    std::string packed[2];
    for (int way = 0; way < 2; ++way) {
      const std::wstring tree = base + L"\\tree" + std::to_wstring(way);
      layTree(tree);
      const std::wstring target = base + L"\\out" + std::to_wstring(way) + (package ? L".exe" : L".zip");
      DeleteFileW(target.c_str());
      PackSettings settings;
      if (package) {
        settings = SfxPackSettings(base::narrow(tree), base::narrow(target), base::narrow(e2e::dosPath(QELVARO_SFX_STUB)), "");
      } else {
        settings.folder = base::narrow(tree);
        settings.target = base::narrow(target);
      }
      const ZipOutcome outcome = way == 0 ? RunLinkedZipComponent(settings, progress, nullptr) : dll.run(settings, progress);
      ASSERT_TRUE(outcome.ok()) << outcome.code << " " << outcome.description;
      EXPECT_EQ(GetFileAttributesW((tree + L"\\SHA256SUMS").c_str()), INVALID_FILE_ATTRIBUTES);  // packed, then deleted
      packed[way] = readAll(target);
    }
    if (package) {
      // Each entry's encryption header is random: the same stub and the same length.
      EXPECT_EQ(packed[1].size(), packed[0].size());
      EXPECT_EQ(packed[1].substr(0, 2), "MZ");
      EXPECT_EQ(packed[1].compare(0, 64, packed[0], 0, 64), 0);
    } else {
      EXPECT_EQ(packed[1], packed[0]);
    }
  }
  EXPECT_GT(heard, 0);

  // A failure comes back with the component's own description.
  PackSettings missing;
  missing.folder = "C:\\qzip-runner\\no such folder";
  missing.target = "C:\\qzip-runner\\never.zip";
  const ZipOutcome linked = RunLinkedZipComponent(missing, nullptr, nullptr);
  const ZipOutcome viaDll = dll.run(missing, nullptr);
  EXPECT_NE(viaDll.code, 0);
  EXPECT_EQ(viaDll.code, linked.code);
  EXPECT_EQ(viaDll.description, linked.description);
}

TEST(QzipLibrary, OnlyAFullPathThatLoadsIsUsed) {
  // A bare name would be searched for (the program's folder, System32, PATH): never.
  for (const char* path : {"qzip.dll", "C:\\qzip-runner\\absent\\qzip.dll", "C:\\windows\\system32\\kernel32.dll"}) {
    const QzipLibrary dll(path);
    EXPECT_FALSE(dll.loaded()) << path;
    EXPECT_NE(dll.why().find(path), std::string::npos) << dll.why();
  }
}

}  // namespace
}  // namespace qelvaro

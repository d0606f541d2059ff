// qzip.dll as a program that loads it sees it: its exports, its registration for
// the current user, and a Zip call through the C API.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "md_folders.h"
#include "md_reg_dll.h"
#include "qzip_api.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

std::wstring dllPath() {
  std::wstring p = L"Z:" + base::widen(QELVARO_QZIP_DLL);
  for (auto& c : p) if (c == L'/') c = L'\\';
  return p;
}

std::wstring registeredPath() {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, QZIP_REGISTRY_KEY, QZIP_REGISTRY_VALUE, RRF_RT_REG_SZ, nullptr, buffer,
                   &size) != ERROR_SUCCESS)
    return {};
  return buffer;
}

struct Library {
  HMODULE module = LoadLibraryW(dllPath().c_str());
  ~Library() {
    if (module) FreeLibrary(module);
  }
  template <typename F>
  F get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

TEST(QzipDll, RegistersForTheCurrentUserAndUnregisters) {
  Library lib;
  ASSERT_NE(lib.module, nullptr);
  auto reg = lib.get<HRESULT(WINAPI*)()>("DllRegisterServer");
  auto unreg = lib.get<HRESULT(WINAPI*)()>("DllUnregisterServer");
  ASSERT_TRUE(reg && unreg);
  EXPECT_EQ(reg(), S_OK);
  EXPECT_EQ(CompareStringOrdinal(registeredPath().c_str(), -1, dllPath().c_str(), -1, TRUE), CSTR_EQUAL)
      << base::narrow(registeredPath());
  EXPECT_EQ(unreg(), S_OK);
  EXPECT_EQ(registeredPath(), L"");
  EXPECT_EQ(unreg(), S_OK);  // unregistering twice is fine

  // The start-up routine runs the same entry on its worker thread.
  EXPECT_EQ(RegisterServerDll(base::narrow(dllPath())), regdll::kCompleted);
  EXPECT_FALSE(registeredPath().empty());
}

void __stdcall recordStatus(const QzipStatus* status, void* context) {
  *static_cast<QzipStatus*>(context) = *status;
}

TEST(QzipDll, ZipsAFolderThroughTheCApi) {
  Library lib;
  auto zip = lib.get<decltype(&QzipZip)>("QzipZip");
  auto describe = lib.get<decltype(&QzipGetErrorDescription)>("QzipGetErrorDescription");
  ASSERT_TRUE(zip && describe);

  const std::wstring base = base::widen(GetWindowsDir()) + L"\\Temp\\qzip-src";
  CreateDirectoryW(base.c_str(), nullptr);
  CreateDirectoryW((base + L"\\Display").c_str(), nullptr);
  std::ofstream((base + L"\\Display\\a.inf").c_str()) << "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
  std::ofstream((base + L"\\Display\\b.sys").c_str(), std::ios::binary) << std::string(10000, 'b');
  const std::wstring archive = base::widen(GetWindowsDir()) + L"\\Temp\\qzip-out.zip";

  QzipJob job{};
  job.size = sizeof job;
  job.basePath = base.c_str();
  job.zipFilename = archive.c_str();
  job.compressionLevel = 6;
  job.preservePaths = 1;
  job.processSubfolders = 1;
  QzipStatus last{};
  EXPECT_EQ(zip(&job, recordStatus, &last), 0);
  EXPECT_EQ(last.filesTotal, 2);
  EXPECT_EQ(last.filesProcessed, 2);
  EXPECT_EQ(last.bytesPercent, 100);
  std::ifstream in(archive.c_str(), std::ios::binary);
  char magic[2] = {};
  in.read(magic, 2);
  EXPECT_EQ(std::string(magic, 2), "PK");

  // A bad job and the description of its code.
  QzipJob bad = job;
  bad.zipFilename = nullptr;
  const int32_t code = zip(&bad, nullptr, nullptr);
  EXPECT_NE(code, 0);
  wchar_t text[8] = {};
  const int32_t length = describe(0, code, text, 8);
  EXPECT_GT(length, 0);
  EXPECT_LE(wcslen(text), 7u);  // cut to the buffer, NUL-terminated
  EXPECT_NE(zip(nullptr, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace qelvaro

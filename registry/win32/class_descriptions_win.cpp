#include "class_descriptions_win.h"

#include "md_folders.h"
#include "base/win32/system_dll.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

// "{4d36e972-e325-11ce-bfc1-08002be10318}" as a GUID; false for anything else.
bool parseGuid(const std::string& text, GUID& guid) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  unsigned char bytes[16];
  std::size_t n = 0;
  for (std::size_t i = 1; i + 1 < text.size() && n < 16;) {
    if (text[i] == '-') {
      ++i;
      continue;
    }
    int value = 0;
    for (int k = 0; k < 2; ++k, ++i) {
      const char c = text[i];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    bytes[n++] = static_cast<unsigned char>(value);
  }
  if (n != 16) return false;
  guid.Data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
  guid.Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
  guid.Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
  return true;
}

}  // namespace

Win32ClassDescriptions::Win32ClassDescriptions() {
  // From System32: a DLL of the same name beside the program must not be the one loaded.
  setupapi_.reset(base::LoadSystemDll(L"setupapi.dll"));
  classDescription_ = base::DllEntry<ClassDescriptionFn>(setupapi_.get(), "SetupDiGetClassDescriptionW");
  shlwapi_.reset(base::LoadSystemDll(L"shlwapi.dll"));
  indirectString_ = base::DllEntry<IndirectStringFn>(shlwapi_.get(), "SHLoadIndirectString");
}

std::string Win32ClassDescriptions::describe(const std::string& classGuid, const std::string& classDesc) const {
  GUID guid{};
  std::wstring text(512, L'\0');
  if (classDescription_ && parseGuid(classGuid, guid)) {
    DWORD needed = 0;
    if (classDescription_(&guid, text.data(), static_cast<DWORD>(text.size()), &needed)) {
      text.resize(wcsnlen(text.c_str(), text.size()));
      if (!text.empty()) return base::narrow(text);
    }
  }
  if (indirectString_ && !classDesc.empty() && classDesc[0] == '@') {
    text.assign(512, L'\0');
    if (SUCCEEDED(indirectString_(base::widen(classDesc).c_str(), text.data(), static_cast<UINT>(text.size()), nullptr))) {
      text.resize(wcsnlen(text.c_str(), text.size()));
      // An indirect string it could not resolve comes back as it was given.
      if (!text.empty() && text[0] != L'@') return base::narrow(text);
    }
  }
  return {};
}

}  // namespace qelvaro

// qzip.dll: exports the zip component and records (or removes) its location for
// the current user when it is registered (or unregistered).

#define QZIP_BUILDING
#include "qzip_api.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "base/win32/wide_string.h"
#include "zipcomp/zip_component.h"

namespace {

HMODULE g_module = nullptr;

// The caller's strings may be null: empty then.
std::string toUtf8(const wchar_t* text) { return text ? qelvaro::base::narrow(text) : std::string(); }

std::wstring modulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" QZIP_API HRESULT __stdcall DllRegisterServer() {
  const std::wstring path = modulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, QZIP_REGISTRY_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  status = RegSetValueExW(key, QZIP_REGISTRY_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                          static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(status);
}

extern "C" QZIP_API HRESULT __stdcall DllUnregisterServer() {
  const LONG status = RegDeleteKeyW(HKEY_CURRENT_USER, QZIP_REGISTRY_KEY);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

extern "C" QZIP_API int32_t __stdcall QzipZip(const QzipJob* job, QzipStatusProc status, void* context) {
  if (!job || job->size < QZIP_JOB_V1_SIZE) return static_cast<int32_t>(zipcomp::ZipResult::Internal);
  const bool second = job->size >= sizeof(QzipJob);
  if (second && job->errorPath && job->errorPathChars > 0) job->errorPath[0] = L'\0';
  try {
    zipcomp::ZipComponent zip;
    zip.BasePath = toUtf8(job->basePath);
    if (job->filesToProcess && *job->filesToProcess) zip.FilesToProcess = toUtf8(job->filesToProcess);
    zip.ZipFilename = toUtf8(job->zipFilename);
    zip.EncryptionPassword = toUtf8(job->encryptionPassword);
    zip.CompressionLevel = job->compressionLevel;
    zip.PreservePaths = job->preservePaths != 0;
    zip.DeleteZippedFiles = job->deleteZippedFiles != 0;
    zip.ProcessSubfolders = job->processSubfolders != 0;
    if (second && job->sfxBinaryModule && *job->sfxBinaryModule) {
      zip.SfxBinaryModule = toUtf8(job->sfxBinaryModule);
      zip.SfxIconFilename = toUtf8(job->sfxIconFilename);
      zip.SfxDefaultPassword = toUtf8(job->sfxDefaultPassword);
      zip.SfxExecuteAfter = toUtf8(job->sfxExecuteAfter);
      zip.SfxDefaultUnzipToFolder = toUtf8(job->sfxDefaultUnzipToFolder);
      zip.SfxInstallMode = true;
      zip.SfxClearMessages();
    }
    if (status) {
      zip.GlobalStatus = [status, context](const zipcomp::GlobalStatusArgs& a) {
        const QzipStatus s{a.lFilesTotal,     a.lFilesProcessed, a.lFilesSkipped, a.nFilesPercent,
                           a.lBytesTotal,     a.lBytesProcessed, a.lBytesSkipped, a.nBytesPercent,
                           a.lBytesOutput,    a.nCompressionRatio};
        status(&s, context);
      };
    }
    zip.setWaitHost(zipcomp::makeMessagePumpWaitHost());
    const int32_t result = zip.Zip();
    if (second && job->errorPath && job->errorPathChars > 0) {
      const std::wstring path = qelvaro::base::widen(zip.lastErrorPath());
      const std::size_t n = std::min<std::size_t>(path.size(), static_cast<std::size_t>(job->errorPathChars - 1));
      std::memcpy(job->errorPath, path.data(), n * sizeof(wchar_t));
      job->errorPath[n] = L'\0';
    }
    return result;
  } catch (...) {
    // Nothing may unwind across the C boundary.
    return static_cast<int32_t>(zipcomp::ZipResult::Internal);
  }
}

extern "C" QZIP_API int32_t __stdcall QzipGetErrorDescription(int16_t xType, int32_t value, wchar_t* buffer,
                                                               int32_t bufferChars) {
  const std::wstring text = qelvaro::base::widen(zipcomp::errorDescription(xType, value));
  if (buffer && bufferChars > 0) {
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(bufferChars - 1));
    std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
    buffer[n] = L'\0';
  }
  return static_cast<int32_t>(text.size());
}

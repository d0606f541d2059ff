#include "qzip_runner.h"

#include "frm_main_texts.h"
#include "qzip_api.h"
#include "base/format_text.h"
#include "base/win32/wide_string.h"
#include "zipcomp/zip_errors.h"

namespace qelvaro {
namespace {

using ZipProc = int32_t(__stdcall*)(const QzipJob*, QzipStatusProc, void*);
using DescribeProc = int32_t(__stdcall*)(int16_t, int32_t, wchar_t*, int32_t);

void __stdcall passOn(const QzipStatus* status, void* context) {
  const auto& bytesPercent = *static_cast<const BytesPercent*>(context);
  if (status && bytesPercent) bytesPercent(status->bytesPercent);
}

// A null for an empty string: the DLL's default.
const wchar_t* orNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

QzipLibrary::QzipLibrary(const std::string& path) {
  const std::wstring wide = base::widen(path);
  // A full path: the loader looks nowhere else, and the DLL's own imports are system DLLs.
  if (path.size() < 3 || !(path[1] == ':' || (path[0] == '\\' && path[1] == '\\'))) {
    why_ = FormatText(texts::kZipDllNotLoaded, {path, "0"});
    return;
  }
  module_ = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module_) {
    why_ = FormatText(texts::kZipDllNotLoaded, {path, std::to_string(GetLastError())});
    return;
  }
  zip_ = GetProcAddress(module_, "QzipZip");
  describe_ = GetProcAddress(module_, "QzipGetErrorDescription");
  if (!zip_ || !describe_) {
    zip_ = nullptr;
    why_ = FormatText(texts::kZipDllNotComponent, {path});
  }
}

QzipLibrary::~QzipLibrary() {
  if (module_) FreeLibrary(module_);
}

ZipOutcome QzipLibrary::run(const PackSettings& settings, const BytesPercent& bytesPercent) const {
  const std::wstring folder = base::widen(settings.folder), target = base::widen(settings.target),
                     password = base::widen(settings.password), stub = base::widen(settings.sfxStub),
                     icon = base::widen(settings.sfxIcon), stubPassword = base::widen(settings.sfxDefaultPassword),
                     runAfter = base::widen(settings.sfxRunAfter), unzipTo = base::widen(settings.sfxUnzipTo);
  wchar_t errorPath[1024] = {};
  QzipJob job{};
  job.size = sizeof job;
  job.basePath = folder.c_str();
  job.filesToProcess = L"*.*";
  job.zipFilename = target.c_str();
  job.encryptionPassword = orNull(password);
  job.compressionLevel = 6;
  job.preservePaths = 1;
  job.deleteZippedFiles = 1;
  job.processSubfolders = 1;
  job.sfxBinaryModule = orNull(stub);
  job.sfxIconFilename = orNull(icon);
  job.sfxDefaultPassword = orNull(stubPassword);
  job.sfxExecuteAfter = orNull(runAfter);
  job.sfxDefaultUnzipToFolder = orNull(unzipTo);
  job.errorPath = errorPath;
  job.errorPathChars = static_cast<int32_t>(sizeof errorPath / sizeof errorPath[0]);
  ZipOutcome outcome;
  outcome.code = reinterpret_cast<ZipProc>(reinterpret_cast<void*>(zip_))(
      &job, bytesPercent ? passOn : nullptr, const_cast<BytesPercent*>(&bytesPercent));
  if (outcome.code != 0) {
    const auto describe = reinterpret_cast<DescribeProc>(reinterpret_cast<void*>(describe_));
    const int32_t length = describe(0, outcome.code, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    describe(0, outcome.code, text.data(), static_cast<int32_t>(text.size()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    outcome.description = base::narrow(text);
    // A name the package's stub would refuse is about one file: say which.
    const auto why = static_cast<zipcomp::ZipResult>(outcome.code);
    if ((why == zipcomp::ZipResult::SfxNameRefused || why == zipcomp::ZipResult::SfxNameClash) && errorPath[0]) {
      outcome.description += ": " + base::narrow(errorPath);
    }
  }
  return outcome;
}

}  // namespace qelvaro

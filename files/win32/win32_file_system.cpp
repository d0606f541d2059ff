#include "win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/sha256.h"
#include "base/win32/final_path.h"
#include "base/win32/handle.h"
#include "base/win32/wide_string.h"
#include "wow64_redirection.h"

namespace qelvaro {
namespace {

using unique_file = base::UniqueHandle;
using unique_find = base::UniqueFindHandle;

// CreateDirectoryW refuses paths of MAX_PATH - 12 characters and more without the
// \\?\ prefix (room for an 8.3 name inside), so the prefix starts there.
constexpr std::size_t kLongPathFrom = MAX_PATH - 12;

// Not in mingw's headers.
constexpr DWORD kErrorDiskQuotaExceeded = 1295;

FsResult win32Failure(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS:
      return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_READY:
      return FsResult::Failure(FsError::NotFound, static_cast<long>(code));
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
      return FsResult::Failure(FsError::AccessDenied, static_cast<long>(code));
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kErrorDiskQuotaExceeded:
      return FsResult::Failure(FsError::DiskFull, static_cast<long>(code));
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return FsResult::Failure(FsError::InUse, static_cast<long>(code));
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return FsResult::Failure(FsError::AlreadyExists, static_cast<long>(code));
    case ERROR_DIRECTORY:
      return FsResult::Failure(FsError::NotAFolder, static_cast<long>(code));
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return FsResult::Failure(FsError::BadName, static_cast<long>(code));
    default:
      return FsResult::Failure(FsError::Other, static_cast<long>(code));
  }
}

FsResult lastFailure() { return win32Failure(GetLastError()); }

// Attributes with the real System32 in view; INVALID_FILE_ATTRIBUTES when missing.
DWORD attributesOf(const std::wstring& p) {
  Wow64RedirectionOff realSystem32;
  return GetFileAttributesW(p.c_str());
}

// Windows refuses to replace or delete read-only entries, and to overwrite hidden or
// system files with plain ones. The backup owns what it replaces, so it clears them.
bool clearBlockingAttributes(const std::wstring& p) {
  const DWORD attrs = attributesOf(p);
  constexpr DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & kBlocking)) return false;
  Wow64RedirectionOff realSystem32;
  return SetFileAttributesW(p.c_str(), attrs & ~kBlocking) != FALSE;
}

// "C:\x\" and "C:\x" name the same folder; "C:\" keeps its backslash.
std::string withoutTrailingSeparator(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

struct RawEntry {
  std::wstring name;
  DWORD attributes;
};

// The entries of a folder, "." and ".." left out; `result` says why there are none.
std::vector<RawEntry> enumerate(const std::string& dir, FsResult& result) {
  std::vector<RawEntry> entries;
  std::string base = withoutTrailingSeparator(dir);
  if (base.empty() || (base.back() != '\\' && base.back() != '/')) base += '\\';
  const std::wstring pattern = ToWin32Path(base + "*");
  WIN32_FIND_DATAW data{};
  Wow64RedirectionOff realSystem32;
  unique_find find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH));
  if (find.get() == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    // Only an empty drive root has not even "." to give.
    const DWORD attrs = GetFileAttributesW(ToWin32Path(dir).c_str());
    if (err == ERROR_FILE_NOT_FOUND && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      result = {};
    } else if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      result = FsResult::Failure(FsError::NotAFolder, ERROR_DIRECTORY);
    } else {
      result = win32Failure(err);
    }
    return entries;
  }
  do {
    const std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    entries.push_back({std::wstring(name), data.dwFileAttributes});
  } while (FindNextFileW(find.get(), &data));
  const DWORD err = GetLastError();
  result = err == ERROR_NO_MORE_FILES ? FsResult() : win32Failure(err);
  if (!result) entries.clear();
  return entries;
}

FsResult deleteFile(const std::wstring& p) {
  {
    Wow64RedirectionOff realSystem32;
    if (DeleteFileW(p.c_str())) return {};
  }
  const DWORD err = GetLastError();
  if (err == ERROR_ACCESS_DENIED && clearBlockingAttributes(p)) {
    Wow64RedirectionOff realSystem32;
    if (DeleteFileW(p.c_str())) return {};
    return lastFailure();
  }
  return win32Failure(err);
}

FsResult removeFolder(const std::wstring& p) {
  {
    Wow64RedirectionOff realSystem32;
    if (RemoveDirectoryW(p.c_str())) return {};
  }
  const DWORD err = GetLastError();
  if (err == ERROR_ACCESS_DENIED && clearBlockingAttributes(p)) {
    Wow64RedirectionOff realSystem32;
    if (RemoveDirectoryW(p.c_str())) return {};
    return lastFailure();
  }
  return win32Failure(err);
}

FsResult deleteTreeAt(const std::string& dir) {
  FsResult first;
  FsResult listed;
  const std::vector<RawEntry> entries = enumerate(dir, listed);
  if (!listed) first = listed;
  for (const RawEntry& entry : entries) {
    const std::string child = dir + "\\" + base::narrow(entry.name);
    FsResult r;
    if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      r = deleteFile(ToWin32Path(child));
    } else if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      r = removeFolder(ToWin32Path(child));  // a junction: the link goes, its target stays
    } else {
      r = deleteTreeAt(child);
    }
    if (!r && first.ok()) first = r;
  }
  const FsResult removed = removeFolder(ToWin32Path(dir));
  if (!removed && first.ok()) first = removed;
  return first;
}

}  // namespace

std::wstring ToWin32Path(const std::string& path) {
  std::wstring wide = base::widen(path);
  if (wide.size() < kLongPathFrom || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // \\?\ turns off the path parsing, so resolve "..", "." and "/" first.
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return wide;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 2 && full[1] == L':') return L"\\\\?\\" + full;
  return wide;
}

bool Win32FileSystem::exists(const std::string& path, AttrMask mask) const {
  const DWORD attrs = attributesOf(ToWin32Path(path));
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  const EntryKind kind = (attrs & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
  return AttrMaskAdmits(mask, kind, attrs & FILE_ATTRIBUTE_HIDDEN, attrs & FILE_ATTRIBUTE_SYSTEM);
}

std::optional<std::string> Win32FileSystem::readFile(const std::string& path) const {
  std::uint64_t size = 0;
  return readFileHead(path, UINT64_MAX, size);
}

std::optional<std::string> Win32FileSystem::readFileHead(const std::string& path, std::uint64_t limit,
                                                         std::uint64_t& fileSize) const {
  const std::wstring p = ToWin32Path(path);
  unique_file file;
  {
    Wow64RedirectionOff realSystem32;
    file.reset(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return std::nullopt;
  fileSize = static_cast<std::uint64_t>(size.QuadPart);
  // More than 2 GiB in one piece is more than a 32-bit process can hold.
  const std::uint64_t length = std::min(fileSize, limit);
  if (length > 0x7FFFFFFF) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    done += got;
  }
  if (done < bytes.size()) fileSize = done;  // shorter than it was a moment ago
  bytes.resize(done);
  return bytes;
}

DirListing Win32FileSystem::listDir(const std::string& path) const {
  DirListing listing;
  for (const RawEntry& raw : enumerate(path, listing.result)) {
    const DWORD a = raw.attributes;
    // Symbolic links and junctions are reparse points (Wine's Unix links are not: a
    // walk asks isLink of those).
    listing.entries.push_back({base::narrow(raw.name), (a & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File,
                               (a & FILE_ATTRIBUTE_HIDDEN) != 0, (a & FILE_ATTRIBUTE_SYSTEM) != 0,
                               (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  }
  return listing;
}

FsResult Win32FileSystem::createDir(const std::string& path) {
  const std::wstring p = ToWin32Path(withoutTrailingSeparator(path));
  {
    Wow64RedirectionOff realSystem32;
    if (CreateDirectoryW(p.c_str(), nullptr)) return {};
  }
  const DWORD err = GetLastError();
  if (err == ERROR_ALREADY_EXISTS) {
    const DWORD attrs = attributesOf(p);
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return {};
  }
  return win32Failure(err);
}

FsResult Win32FileSystem::copyFile(const std::string& from, const std::string& to) {
  const std::wstring source = ToWin32Path(from);
  const std::wstring target = ToWin32Path(to);
  auto copy = [&] {
    Wow64RedirectionOff realSystem32;
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
  };
  if (copy()) return {};
  DWORD err = GetLastError();
  if (err == ERROR_ACCESS_DENIED) {
    const DWORD attrs = attributesOf(source);
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      return FsResult::Failure(FsError::NotAFile, ERROR_ACCESS_DENIED);
    }
    if (clearBlockingAttributes(target)) {
      if (copy()) return {};
      err = GetLastError();
    }
  }
  if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL || err == kErrorDiskQuotaExceeded) {
    (void)deleteFile(target);  // the partial copy is of no use to anyone
  }
  return win32Failure(err);
}

FsResult Win32FileSystem::copyNewFile(const std::string& from, const std::string& to) {
  const std::wstring source = ToWin32Path(from);
  const std::wstring target = ToWin32Path(to);
  {
    Wow64RedirectionOff realSystem32;
    if (CopyFileW(source.c_str(), target.c_str(), TRUE)) return {};
  }
  const DWORD err = GetLastError();
  if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL || err == kErrorDiskQuotaExceeded) {
    (void)deleteFile(target);  // the partial copy is of no use to anyone
  }
  return win32Failure(err);
}

namespace {

constexpr DWORD kPiece = 1 << 20;

// Reads `in` to its end in pieces, each hashed and (when `out` is given) written.
FsResult pump(HANDLE in, HANDLE out, ByteSink& hash, std::uint64_t& size) {
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, buffer.get(), kPiece, &got, nullptr)) return lastFailure();
    if (got == 0) return {};
    hash.update(buffer.get(), got);
    size += got;
    for (DWORD done = 0; out && done < got;) {
      DWORD wrote = 0;
      if (!WriteFile(out, buffer.get() + done, got - done, &wrote, nullptr) || wrote == 0) return lastFailure();
      done += wrote;
    }
  }
}

unique_file openToRead(const std::wstring& path) {
  Wow64RedirectionOff realSystem32;
  return unique_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The failure of opening `path` to read; a folder is no file.
FsResult openFailure(const std::wstring& path) {
  const DWORD err = GetLastError();
  const DWORD attrs = attributesOf(path);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    return FsResult::Failure(FsError::NotAFile, static_cast<long>(err));
  }
  return win32Failure(err);
}

}  // namespace

FsResult Win32FileSystem::copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) {
  return copyHashed(from, to, sha256, false);
}

FsResult Win32FileSystem::copyNewFileHashed(const std::string& from, const std::string& to, std::string& sha256) {
  return copyHashed(from, to, sha256, true);
}

FsResult Win32FileSystem::copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) {
  return copyThrough(from, to, sink, true);
}

FsResult Win32FileSystem::copyHashed(const std::string& from, const std::string& to, std::string& sha256,
                                     bool createNew) {
  Sha256 hash;
  if (!hash.ok()) return FsResult::Failure(FsError::NotSupported);
  if (FsResult r = copyThrough(from, to, hash, createNew); !r) return r;
  sha256 = hash.hexDigest();
  return sha256.empty() ? FsResult::Failure(FsError::NotSupported) : FsResult{};
}

FsResult Win32FileSystem::copyThrough(const std::string& from, const std::string& to, ByteSink& sink,
                                      bool createNew) {
  const std::wstring source = ToWin32Path(from);
  const std::wstring target = ToWin32Path(to);
  unique_file in = openToRead(source);
  if (in.get() == INVALID_HANDLE_VALUE) return openFailure(source);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(in.get(), &info)) return lastFailure();
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FsResult::Failure(FsError::NotAFile, ERROR_ACCESS_DENIED);
  auto create = [&] {
    Wow64RedirectionOff realSystem32;
    return unique_file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, createNew ? CREATE_NEW : CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  };
  unique_file out = create();
  if (out.get() == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    // An exclusive copy never touches what stands at the name.
    if (createNew || err != ERROR_ACCESS_DENIED || !clearBlockingAttributes(target)) return win32Failure(err);
    out = create();
    if (out.get() == INVALID_HANDLE_VALUE) return lastFailure();
  }
  std::uint64_t size = 0;
  FsResult r = pump(in.get(), out.get(), sink, size);
  if (r && !SetFileTime(out.get(), nullptr, nullptr, &info.ftLastWriteTime)) r = lastFailure();
  if (r && !CloseHandle(out.release())) r = lastFailure();
  if (!r) {
    out.reset();
    (void)deleteFile(target);  // a partial copy is of no use to anyone
    return r;
  }
  constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (const DWORD kept = info.dwFileAttributes & kKept; kept != 0) {
    Wow64RedirectionOff realSystem32;
    SetFileAttributesW(target.c_str(), kept);
  }
  return {};
}

FsResult Win32FileSystem::hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const {
  Sha256 hash;
  if (!hash.ok()) return FsResult::Failure(FsError::NotSupported);
  if (FsResult r = readThrough(path, hash, size); !r) return r;
  sha256 = hash.hexDigest();
  return sha256.empty() ? FsResult::Failure(FsError::NotSupported) : FsResult{};
}

FsResult Win32FileSystem::readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const {
  const std::wstring p = ToWin32Path(path);
  unique_file in = openToRead(p);
  if (in.get() == INVALID_HANDLE_VALUE) return openFailure(p);
  size = 0;
  return pump(in.get(), nullptr, sink, size);
}

FsResult Win32FileSystem::writeFile(const std::string& path, std::string_view bytes) {
  const std::wstring p = ToWin32Path(path);
  auto open = [&] {
    Wow64RedirectionOff realSystem32;
    return unique_file(CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  unique_file file = open();
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err != ERROR_ACCESS_DENIED || !clearBlockingAttributes(p)) return win32Failure(err);
    file = open();
    if (file.get() == INVALID_HANDLE_VALUE) return lastFailure();
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr) || wrote == 0) {
      const FsResult failed = lastFailure();
      file.reset();
      (void)deleteFile(p);
      return failed;
    }
    done += wrote;
  }
  if (!CloseHandle(file.release())) {
    const FsResult failed = lastFailure();
    (void)deleteFile(p);
    return failed;
  }
  return {};
}

FsResult Win32FileSystem::deleteTree(const std::string& path) {
  const std::string dir = withoutTrailingSeparator(path);
  const std::wstring p = ToWin32Path(dir);
  const DWORD attrs = attributesOf(p);
  if (attrs == INVALID_FILE_ATTRIBUTES) return lastFailure();
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return FsResult::Failure(FsError::NotAFolder, ERROR_DIRECTORY);
  if (dir.size() <= 3) return FsResult::Failure(FsError::AccessDenied, ERROR_ACCESS_DENIED);  // never a drive
  if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) return removeFolder(p);
  return deleteTreeAt(dir);
}

std::string Win32FileSystem::decodeAnsi(std::string_view bytes) const {
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return FileSystem::decodeAnsi(bytes);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return base::narrow(wide);
}

FsResult Win32FileSystem::createNewDir(const std::string& path) {
  const std::wstring p = ToWin32Path(withoutTrailingSeparator(path));
  Wow64RedirectionOff realSystem32;
  if (CreateDirectoryW(p.c_str(), nullptr)) return {};
  return win32Failure(GetLastError());
}

namespace {

// The path an opened entry really is ("\\?\C:\x\y"), or empty when it cannot be opened.
std::wstring finalPath(const std::wstring& path) {
  Wow64RedirectionOff realSystem32;
  unique_file handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) return {};
  DWORD n = 0;
  wchar_t* final = base::FinalPathOf(handle.get(), n);
  std::wstring out = final ? std::wstring(final, n) : std::wstring();
  std::free(final);
  return out;
}

std::wstring longForm(const std::wstring& path) {
  Wow64RedirectionOff realSystem32;
  const DWORD need = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (need == 0) return path;
  std::wstring out(need, L'\0');
  const DWORD got = GetLongPathNameW(path.c_str(), out.data(), need);
  if (got == 0 || got >= need) return path;
  out.resize(got);
  return out;
}

}  // namespace

// Symbolic links and junctions are reparse points. Wine shows a Unix link to a file as
// a plain file whose opened handle is its target's, so a path is also a link when the
// entry it opens is not the one its folder holds under its name.
bool Win32FileSystem::isLink(const std::string& path) const {
  const std::wstring full = longForm(ToWin32Path(withoutTrailingSeparator(path)));
  const DWORD attributes = attributesOf(full);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  const auto slash = full.find_last_of(L"\\/");
  if (slash == std::wstring::npos || slash + 1 >= full.size()) return false;
  std::wstring parent = finalPath(full.substr(0, slash + 1));
  const std::wstring self = finalPath(full);
  if (parent.empty() || self.empty()) return false;
  if (parent.back() != L'\\') parent += L'\\';
  const std::wstring expected = parent + full.substr(slash + 1);
  return CompareStringOrdinal(self.c_str(), static_cast<int>(self.size()), expected.c_str(),
                              static_cast<int>(expected.size()), TRUE) != CSTR_EQUAL;
}

}  // namespace qelvaro

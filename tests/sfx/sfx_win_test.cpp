// The real stub under Wine, on packages built by the zip component and on crafted ones:
// what lands in the unpack folder, what is started, and what is refused.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/win32/wide_string.h"
#include "e2e_support.h"
#include "sfx/sfx_exit_codes.h"
#include "zip_builder.h"
#include "zipcomp/zip_component.h"

namespace {

using qelvaro::e2e::dosPath;
using qelvaro::e2e::unixLink;

using qelvaro::base::narrow;
using qelvaro::base::widen;

std::string readAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeAll(const std::wstring& path, const std::string& bytes) {
  for (std::size_t i = 3; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
  std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file below a folder, relative, with its bytes.
void snapshot(const std::wstring& base, const std::wstring& rel, std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((base + rel + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) snapshot(base, rel + L"\\" + name, out);
    else out[narrow((rel + L"\\" + name).substr(1))] = readAll(base + rel + L"\\" + name);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

std::string noisy(std::size_t n, std::uint32_t x) {
  std::string s(n, '\0');
  for (auto& c : s) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// The folders runs made in an unpack folder, by name.
std::vector<std::wstring> runFolders(const std::wstring& unpack) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((unpack + L"\\sfx-*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.push_back(fd.cFileName);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return names;
}

// The one folder a run made, or "" when there is not exactly one.
std::wstring runFolder(const std::wstring& unpack) {
  const auto names = runFolders(unpack);
  return names.size() == 1 ? unpack + L"\\" + names[0] : L"";
}

const std::wstring kTemp = L"C:\\sfx test tmp";  // a space, as in many user names
const std::wstring kRecord = L"C:\\sfxtest\\record.txt";

// Runs a package with the temporary folder above; returns its exit code.
DWORD runPackage(const std::wstring& exe, const std::wstring& args = L" /q") {
  CreateDirectoryW(kTemp.c_str(), nullptr);
  SetEnvironmentVariableW(L"TMP", kTemp.c_str());
  SetEnvironmentVariableW(L"TEMP", kTemp.c_str());
  SetEnvironmentVariableW(L"QSFX_RECORD", kRecord.c_str());
  DeleteFileW(kRecord.c_str());
  HANDLE p = qelvaro::e2e::startProgram(exe, args, L"C:\\sfxtest");
  if (!p) return 0xDEAD;
  WaitForSingleObject(p, 60000);
  DWORD code = 0xDEAD;
  GetExitCodeProcess(p, &code);
  CloseHandle(p);
  return code;
}

// The working folder the recorder saw: the folder its run unpacked into.
std::wstring recordedFolder() {
  std::string record = readAll(kRecord);
  const std::size_t line = record.find('\n');
  if (line == std::string::npos) return L"";
  record = record.substr(line + 1);
  while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
  return widen(record);
}

std::string stubBytes() { return readAll(dosPath(QELVARO_SFX_BIN)); }
std::string recorderBytes() { return readAll(dosPath(QELVARO_RECORD_EXE)); }

// A tiny valid icon: one 16x16 image.
std::string testIcon() {
  std::string ico("\0\0\1\0\1\0", 6);
  std::string image = std::string("\x28\0\0\0\x10\0\0\0\x20\0\0\0\1\0\x20\0", 16) + std::string(24, '\0') +
                      std::string(16 * 16 * 4, '\x5A') + std::string(64, '\0');
  ico += std::string("\x10\x10\0\0\1\0\x20\0", 8);
  const std::uint32_t size = static_cast<std::uint32_t>(image.size()), offset = 22;
  ico.append(reinterpret_cast<const char*>(&size), 4).append(reinterpret_cast<const char*>(&offset), 4);
  return ico + image;
}

struct Built {
  std::wstring exe;
  std::map<std::string, std::string> files;
};

// A package of a small tree (the recorder among it) built by the zip component.
Built buildPackage(const std::wstring& name, const std::string& packPassword, const std::string& icon = {}) {
  Built b;
  const std::wstring src = L"C:\\sfxtest\\src-" + name;
  b.files = {{"Display\\Qelvaro Demo\\oem3.inf", "[Version]\r\n" + std::string(3000, ';')},
             {"Net\\以太网控制器\\qvnet.sys", noisy(3 << 20, 7)},
             {"record.exe", recorderBytes()}};
  for (const auto& [rel, bytes] : b.files) writeAll(src + L"\\" + widen(rel), bytes);
  writeAll(L"C:\\sfxtest\\sfx.bin", stubBytes());
  if (!icon.empty()) writeAll(L"C:\\sfxtest\\icon.ico", icon);
  zipcomp::ZipComponent zip;
  zip.BasePath = narrow(src);
  zip.ZipFilename = narrow(L"C:\\sfxtest\\" + name + L".exe");
  zip.EncryptionPassword = packPassword;
  zip.SfxDefaultPassword = "qorvantelbrix";
  zip.SfxBinaryModule = "C:\\sfxtest\\sfx.bin";
  zip.SfxIconFilename = icon.empty() ? "" : "C:\\sfxtest\\icon.ico";
  zip.SfxExecuteAfter = "%d\\record.exe|%d";
  zip.SfxDefaultUnzipToFolder = "%t\\_sfxTest";
  zip.SfxInstallMode = true;
  zip.SfxClearMessages();
  EXPECT_EQ(zip.Zip(), 0) << zip.GetErrorDescription(0, zip.Zip());
  b.exe = L"C:\\sfxtest\\" + name + L".exe";
  return b;
}

const std::wstring kUnpacked = kTemp + L"\\_sfxTest";

TEST(SfxStub, UnpacksWithoutAPromptAndStartsTheProgramWithTheFolder) {
  const std::string icon = testIcon();
  Built b = buildPackage(L"good", "qorvantelbrix", icon);
  // An unpack folder that a package did not make (an older version's): its files are
  // not the stub's and stay; the run unpacks into a new folder inside it.
  writeAll(kUnpacked + L"\\stale.txt", "old");
  writeAll(kUnpacked + L"\\Old\\old.inf", "old");

  EXPECT_EQ(runPackage(b.exe), 7u) << "install mode returns the program's code";
  const std::wstring run = runFolder(kUnpacked);
  ASSERT_FALSE(run.empty()) << "one new folder for the run";
  std::map<std::string, std::string> unpacked;
  snapshot(run, L"", unpacked);
  EXPECT_EQ(unpacked, b.files);
  EXPECT_EQ(readAll(kUnpacked + L"\\stale.txt"), "old");
  EXPECT_EQ(readAll(kUnpacked + L"\\Old\\old.inf"), "old");

  const std::string record = readAll(kRecord);
  EXPECT_EQ(record, "\"" + narrow(run) + "\\record.exe\" \"" + narrow(run) + "\"\n" + narrow(run) + "\n");

  // The package's icon is the one given to the component.
  HMODULE m = LoadLibraryExW(b.exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(m, nullptr);
  HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), RT_ICON);
  ASSERT_NE(r, nullptr);
  const std::string image(static_cast<const char*>(LockResource(LoadResource(m, r))), SizeofResource(m, r));
  EXPECT_EQ(image, icon.substr(22));
  // The main icon group names that one image only.
  HRSRC g = FindResourceW(m, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_NE(g, nullptr);
  const auto* group = static_cast<const std::uint8_t*>(LockResource(LoadResource(m, g)));
  ASSERT_GE(SizeofResource(m, g), 20u);
  EXPECT_EQ(group[4] | (group[5] << 8), 1);
  EXPECT_EQ(group[18] | (group[19] << 8), 1);
  EXPECT_EQ(FindResourceW(m, MAKEINTRESOURCEW(2), RT_ICON), nullptr) << "the stub's own icons are gone";
  EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr) << "the rest of the stub stays";
  FreeLibrary(m);
}

TEST(SfxStub, ASignatureAppendedAfterTheArchiveChangesNothing) {
  Built b = buildPackage(L"signed", "qorvantelbrix");
  // A certificate table goes after the archive, padded to eight bytes; a long chain
  // with a time stamp takes more room than a Zip comment could.
  const std::string package = sfxtest::withCertificates(readAll(b.exe), {std::string(200 << 10, '\x30')});
  writeAll(b.exe, package);
  const auto before = runFolders(kUnpacked);
  EXPECT_EQ(runPackage(b.exe), 7u);
  std::vector<std::wstring> made;
  for (const auto& name : runFolders(kUnpacked)) {
    if (std::find(before.begin(), before.end(), name) == before.end()) made.push_back(name);
  }
  ASSERT_EQ(made.size(), 1u);
  std::map<std::string, std::string> unpacked;
  snapshot(kUnpacked + L"\\" + made[0], L"", unpacked);
  EXPECT_EQ(unpacked, b.files);

  // A second package hidden in the table, outside what the signature covers, the
  // table's size and its certificate's length grown over it: the stub unpacks neither.
  std::string hidden = package + readAll(buildPackage(L"hidden", "qorvantelbrix").exe);
  hidden.append((8 - hidden.size() % 8) % 8, '\0');
  const std::size_t directory = sfxtest::securityDirectory(hidden);
  std::uint32_t table = 0;
  std::memcpy(&table, &hidden[directory], 4);
  const std::uint32_t grown = static_cast<std::uint32_t>(hidden.size() - table);
  std::memcpy(&hidden[directory + 4], &grown, 4);
  std::memcpy(&hidden[table], &grown, 4);
  writeAll(b.exe, hidden);
  EXPECT_EQ(runPackage(b.exe), qsfx::kExitDamaged);
  EXPECT_FALSE(exists(kRecord)) << "the hidden package's program ran";
  EXPECT_EQ(runFolders(kUnpacked).size(), before.size() + 1) << "nothing more was unpacked";
}

TEST(SfxStub, DamagedTruncatedAndWrongPasswordPackagesStartNothing) {
  Built good = buildPackage(L"base", "qorvantelbrix");
  const std::string bytes = readAll(good.exe);
  std::string flipped = bytes;
  flipped[bytes.size() - (3 << 19)] ^= 0x01;  // inside the large entry's data
  writeAll(L"C:\\sfxtest\\flipped.exe", flipped);
  writeAll(L"C:\\sfxtest\\truncated.exe", bytes.substr(0, bytes.size() - 100));
  Built wrong = buildPackage(L"wrong", "another password");

  struct Case {
    std::wstring exe;
    DWORD code;
  };
  const auto before = runFolders(kUnpacked);
  for (const Case& c : {Case{L"C:\\sfxtest\\flipped.exe", qsfx::kExitDamaged},
                        Case{L"C:\\sfxtest\\truncated.exe", qsfx::kExitDamaged},
                        Case{wrong.exe, qsfx::kExitWrongPassword}}) {
    writeAll(kUnpacked + L"\\stale.txt", "old");
    EXPECT_EQ(runPackage(c.exe), c.code) << narrow(c.exe);
    EXPECT_FALSE(exists(kRecord)) << narrow(c.exe) << " started its program";
    // A package that failed while unpacking leaves no folder (no half-written file,
    // nothing to install by mistake), and nothing else is touched.
    EXPECT_EQ(runFolders(kUnpacked), before) << narrow(c.exe);
    EXPECT_EQ(readAll(kUnpacked + L"\\stale.txt"), "old") << narrow(c.exe);
  }
}

TEST(SfxStub, HostileNamesWriteNothingOutsideTheUnpackFolder) {
  const std::string prefix = stubBytes() + sfxtest::settingsBlock({{"folder", "%t\\_sfxHostile"},
                                                                    {"password", "qorvantelbrix"},
                                                                    {"run", "%d\\record.exe|%d"},
                                                                    {"install", "1"}});
  const std::wstring unpack = kTemp + L"\\_sfxHostile";
  for (const char* name : {"..\\..\\x.txt", "../x.txt", "C:\\x.txt", "C:x.txt", "x:stream", "CON", "sub\\NUL.txt"}) {
    const std::string zip = sfxtest::buildZip(
        {{"record.exe", recorderBytes(), true, "qorvantelbrix"}, {name, "evil", false, "qorvantelbrix"}}, {prefix});
    writeAll(L"C:\\sfxtest\\hostile.exe", zip);
    EXPECT_EQ(runPackage(L"C:\\sfxtest\\hostile.exe"), qsfx::kExitUnsafeName) << name;
    EXPECT_FALSE(exists(kRecord)) << name;
    for (const wchar_t* outside : {L"C:\\x.txt", L"C:\\sfxtest\\x.txt", L"C:\\x", L"C:\\sfx test tmp\\x.txt"})
      EXPECT_FALSE(exists(outside)) << name;
    EXPECT_TRUE(runFolders(unpack).empty()) << name;
  }
}

// A second start of the same package while the first one's program runs from the
// unpack folder (a double click too many) must leave that folder alone.
TEST(SfxStub, ASecondCopyLeavesTheRunningOnesFolderAlone) {
  Built b = buildPackage(L"twice", "qorvantelbrix");
  runPackage(b.exe);  // sets the environment up
  DeleteFileW(kRecord.c_str());
  SetEnvironmentVariableW(L"QSFX_LINGER", L"4000");
  HANDLE first = qelvaro::e2e::startProgram(b.exe, L" /q", L"C:\\sfxtest");
  SetEnvironmentVariableW(L"QSFX_LINGER", nullptr);
  ASSERT_NE(first, nullptr);
  for (int i = 0; i < 300 && !exists(kRecord); ++i) Sleep(100);
  ASSERT_TRUE(exists(kRecord)) << "the first copy did not start its program";
  Sleep(100);  // the record written whole
  const std::wstring firstFolder = recordedFolder();
  EXPECT_EQ(runPackage(b.exe), static_cast<DWORD>(qsfx::kExitBusy));
  std::map<std::string, std::string> unpacked;
  snapshot(firstFolder, L"", unpacked);
  EXPECT_TRUE(unpacked == b.files) << "the running copy's folder was changed: " << unpacked.size() << " files left";
  EXPECT_EQ(WaitForSingleObject(first, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(first, &code);
  CloseHandle(first);
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(runPackage(b.exe), 7u) << "once the first copy has ended, the package runs again";
}

// A copy run as administrator holds a lock that a normal copy may not even open: that is
// "busy" too, never leave to empty the folder. (The lock is the stub's mutex named after
// the upper-cased folder, FNV-1a; here one that nobody may open.)
TEST(SfxStub, ALockItMayNotOpenIsBusyToo) {
  Built b = buildPackage(L"denied", "qorvantelbrix");
  std::wstring folder = kUnpacked;
  CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  std::uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : folder) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
  wchar_t name[64];
  wsprintfW(name, L"Local\\QelvaroSfx.%08lx%08lx", static_cast<unsigned long>(hash >> 32),
            static_cast<unsigned long>(hash & 0xFFFFFFFFu));
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  ACL empty;
  InitializeAcl(&empty, sizeof empty, ACL_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, &empty, FALSE);  // no entry: nobody gets in
  SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
  HANDLE held = CreateMutexW(&sa, FALSE, name);
  ASSERT_NE(held, nullptr);
  writeAll(kUnpacked + L"\\stale.txt", "old");
  EXPECT_EQ(runPackage(b.exe), static_cast<DWORD>(qsfx::kExitBusy));
  EXPECT_EQ(readAll(kUnpacked + L"\\stale.txt"), "old");
  CloseHandle(held);
  EXPECT_EQ(runPackage(b.exe), 7u);
}

// A long unpacking shows its progress, unless the run is quiet.
TEST(SfxStub, ALongUnpackingShowsItsProgress) {
  const std::string prefix =
      stubBytes() + sfxtest::settingsBlock({{"folder", "%t\\_sfxBig"}, {"password", "qorvantelbrix"}});
  const std::size_t size = 128u << 20;
  writeAll(L"C:\\sfxtest\\big.exe",
           sfxtest::buildZip({{"big.bin", noisy(size, 3), false, "qorvantelbrix"}}, {prefix}));
  CreateDirectoryW(kTemp.c_str(), nullptr);
  SetEnvironmentVariableW(L"TMP", kTemp.c_str());
  SetEnvironmentVariableW(L"TEMP", kTemp.c_str());
  const std::wstring title = widen("Qelvaro 自解压文件");
  for (const bool quiet : {false, true}) {
    const DWORD started = GetTickCount();
    HANDLE p = qelvaro::e2e::startProgram(L"C:\\sfxtest\\big.exe", quiet ? L" /q" : L"", L"C:\\sfxtest");
    ASSERT_NE(p, nullptr);
    HWND window = nullptr;
    while (!window && WaitForSingleObject(p, 10) == WAIT_TIMEOUT) window = FindWindowW(L"#32770", title.c_str());
    if (window) {
      wchar_t text[256] = {};
      GetDlgItemTextW(window, 100, text, 256);
      qelvaro::e2e::screenshot("sfx-progress");
      EXPECT_THAT(narrow(text), testing::HasSubstr("正在解压驱动程序, 请稍候..."));
    }
    EXPECT_EQ(window != nullptr, !quiet) << (quiet ? "a quiet run showed a window" : "no progress window");
    EXPECT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    DWORD code = 0xDEAD;
    GetExitCodeProcess(p, &code);
    CloseHandle(p);
    EXPECT_EQ(code, 0u);
    std::printf("unpacking %zu MB took %lu ms\n", size >> 20, static_cast<unsigned long>(GetTickCount() - started));
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW((runFolder(kTemp + L"\\_sfxBig") + L"\\big.bin").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, size);
}

TEST(SfxStub, AnUnpackFolderBelowMissingFoldersIsMadeWithThem) {
  const std::string prefix = stubBytes() + sfxtest::settingsBlock({{"folder", "%t\\deep\\er\\_sfx"}});
  writeAll(L"C:\\sfxtest\\deep.exe", sfxtest::buildZip({{"a\\b.txt", "bee", true}}, {prefix}));
  EXPECT_EQ(runPackage(L"C:\\sfxtest\\deep.exe"), 0u);
  EXPECT_EQ(readAll(runFolder(kTemp + L"\\deep\\er\\_sfx") + L"\\a\\b.txt"), "bee");
  EXPECT_TRUE(exists(kTemp + L"\\deep\\er\\_sfx\\qelvaro-sfx.tag")) << "the marker of a folder the stub made";
}

// One package run again and again (as a user retries a restore): each run unpacks into
// a folder of its own, the earlier runs' folders go, and every run succeeds.
TEST(SfxStub, RunsAgainAndAgainEachInAFreshFolder) {
  const std::string prefix = stubBytes() + sfxtest::settingsBlock({{"folder", "%t\\_sfxDriverSetup"},
                                                                    {"password", "qorvantelbrix"},
                                                                    {"run", "%d\\record.exe|%d"},
                                                                    {"install", "1"}});
  writeAll(L"C:\\sfxtest\\again.exe",
           sfxtest::buildZip({{"record.exe", recorderBytes(), true, "qorvantelbrix"}}, {prefix}));
  SetEnvironmentVariableW(L"QSFX_EXIT", L"0");
  std::set<std::wstring> folders;
  for (int run = 1; run <= 10; ++run) {
    EXPECT_EQ(runPackage(L"C:\\sfxtest\\again.exe"), 0u) << "run " << run;
    folders.insert(recordedFolder());
  }
  SetEnvironmentVariableW(L"QSFX_EXIT", nullptr);
  EXPECT_EQ(folders.size(), 10u) << "each run in a folder of its own";
  EXPECT_EQ(runFolders(kTemp + L"\\_sfxDriverSetup").size(), 1u) << "the earlier runs' folders are removed";
}

// The stub deletes nothing it did not make and nothing through a link: an unpack folder
// that is a link (to a file, to a folder) is refused; a user's own folder keeps its
// files; links that an earlier run's folder holds are never followed by the clean-up.
TEST(SfxStub, DeletesNothingItDidNotMakeNorThroughALink) {
  const std::wstring base = L"C:\\sfxlinks";
  writeAll(base + L"\\victim.txt", "victim");
  writeAll(base + L"\\keep\\keep.txt", "keep");
  writeAll(base + L"\\docs\\letter.txt", "letter");
  if (!unixLink(base + L"\\victim.txt", base + L"\\tofile")) GTEST_SKIP() << "not Wine: no Unix links here";
  ASSERT_TRUE(unixLink(base + L"\\keep", base + L"\\todir"));
  auto package = [&](const std::wstring& folder) {
    const std::string prefix = stubBytes() + sfxtest::settingsBlock({{"folder", narrow(folder)},
                                                                      {"password", "qorvantelbrix"},
                                                                      {"run", "%d\\record.exe|%d"},
                                                                      {"install", "1"}});
    writeAll(L"C:\\sfxtest\\links.exe",
             sfxtest::buildZip({{"record.exe", recorderBytes(), true, "qorvantelbrix"}}, {prefix}));
    return runPackage(L"C:\\sfxtest\\links.exe");
  };
  SetEnvironmentVariableW(L"QSFX_EXIT", L"0");
  // The folder an earlier run unpacked into, holding links to a file and a folder.
  EXPECT_EQ(package(base + L"\\marked"), 0u);
  const std::wstring earlier = recordedFolder();
  EXPECT_TRUE(unixLink(base + L"\\victim.txt", earlier + L"\\link.txt"));
  EXPECT_TRUE(unixLink(base + L"\\keep", earlier + L"\\dirlink"));
  struct Case {
    const wchar_t* folder;
    DWORD code;
  };
  for (const Case& c : {Case{L"\\tofile", qsfx::kExitWriteFailed}, Case{L"\\todir", qsfx::kExitWriteFailed},
                        Case{L"\\docs", 0}, Case{L"\\marked", 0}}) {
    EXPECT_EQ(package(base + c.folder), c.code) << narrow(c.folder);
    EXPECT_EQ(readAll(base + L"\\victim.txt"), "victim") << narrow(c.folder);
    EXPECT_EQ(readAll(base + L"\\keep\\keep.txt"), "keep") << narrow(c.folder);
    EXPECT_EQ(readAll(base + L"\\docs\\letter.txt"), "letter") << narrow(c.folder);
  }
  SetEnvironmentVariableW(L"QSFX_EXIT", nullptr);
  EXPECT_TRUE(runFolders(base + L"\\keep").empty()) << "nothing unpacked through the folder link";
}

// Without the quiet switch a failure is one message box, in Chinese.
TEST(SfxStub, AFailureShowsOneMessage) {
  Built wrong = buildPackage(L"message", "another password");
  CreateDirectoryW(kTemp.c_str(), nullptr);
  SetEnvironmentVariableW(L"TMP", kTemp.c_str());
  HANDLE p = qelvaro::e2e::startProgram(wrong.exe, L"", L"C:\\sfxtest");
  ASSERT_NE(p, nullptr);
  HWND box = nullptr;
  for (int i = 0; i < 200 && !box; ++i) {
    Sleep(100);
    box = FindWindowW(L"#32770", nullptr);
  }
  ASSERT_NE(box, nullptr) << "no message box";
  wchar_t text[1024] = {};
  for (int i = 0; i < 50 && !text[0]; ++i) {
    Sleep(100);
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
  }
  qelvaro::e2e::screenshot("sfx-wrong-password-message");
  EXPECT_THAT(narrow(text), testing::HasSubstr("密码不正确"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(p, &code);
  EXPECT_EQ(code, static_cast<DWORD>(qsfx::kExitWrongPassword));
  CloseHandle(p);
}

}  // namespace

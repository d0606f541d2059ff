// `qelvaro list --image` and `qelvaro backup --image` on the demo image that
// scripts/demo-image.sh lays out (hives built from .reg text with hivexregedit).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "commands.h"
#include "base/sha256.h"

namespace qelvaro {
namespace {

namespace stdfs = std::filesystem;

std::string slurp(const stdfs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// UTF-16LE bytes of `text` with its terminating NUL, as .reg text writes hex(1):.
std::string regHex(const std::string& text) {
  std::string out;
  char byte[8];
  for (const char c : text + '\0') {
    std::snprintf(byte, sizeof byte, "%s%02x,00", out.empty() ? "" : ",", static_cast<unsigned char>(c));
    out += byte;
  }
  return out;
}

struct ImageCommand : ::testing::Test {
  static inline std::string base;
  static inline std::string image;
  // The demo image with a second network adapter of the same model on a newer driver
  // (oem7.inf 3.0 beside oem4.inf 2.1; both store packages qvnet.inf_*), a class whose
  // description holds a tab, a line break and an ESC, and no SOFTWARE hive.
  static inline std::string twins;

  static void SetUpTestSuite() {
    std::string pattern = (stdfs::temp_directory_path() / "qelvaro-image.XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    base = pattern;
    image = base + "/image";
    const std::string command =
        std::string("'") + QELVARO_SOURCE_DIR + "/scripts/demo-image.sh' '" + image + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    twins = base + "/twins";
    const std::string source = QELVARO_SOURCE_DIR, demo = source + "/resources/demo/";
    const std::string net = "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Control\\Class\\";
    std::ofstream(base + "/system.reg", std::ios::binary)
        << slurp(demo + "image/system.reg") << "\r\n"
        << net << "{4d36e972-e325-11ce-bfc1-08002be10318}\\0102]\r\n"
        << "\"DriverDesc\"=\"Qelvaro Demo Ethernet 以太网控制器\"\r\n\"ProviderName\"=\"Qelvaro Demo Networks\"\r\n"
        << "\"InfPath\"=\"oem7.inf\"\r\n\r\n"
        << net << "{a0b1c2d3-0000-4000-8000-000000000001}]\r\n@=hex(1):" << regHex("Forged\tclass\nrow\x1b[2J")
        << "\r\n\"Class\"=\"Forged\"\r\n\r\n"
        << net << "{a0b1c2d3-0000-4000-8000-000000000001}\\0000]\r\n"
        << "\"DriverDesc\"=\"Qelvaro Forged\"\r\n\"ProviderName\"=\"Qelvaro\"\r\n\"InfPath\"=\"oem9.inf\"\r\n";
    std::ofstream(base + "/drivers.reg", std::ios::binary)
        << slurp(demo + "image/drivers.reg") << "\r\n"
        << "[HKEY_LOCAL_MACHINE\\DRIVERS\\DriverDatabase\\DriverInfFiles\\oem7.inf]\r\n"
        << "\"Active\"=\"qvnet.inf_amd64_7e1d4c2b9a308f56\"\r\n";
    const std::string config = twins + "/WINDOWS/system32/config/";
    const std::string package = twins + "/WINDOWS/system32/DriverStore/FileRepository/qvnet.inf_amd64_7e1d4c2b9a308f56";
    const std::string older = image + "/WINDOWS/system32/DriverStore/FileRepository/qvnet.inf_amd64_neutral_3b9e6d0c2f714a85";
    const std::string hive = "python3 '" + source + "/scripts/make-hive.py' '" + config;
    const std::string build =
        "cp -a '" + image + "' '" + twins + "' && rm '" + config + "SOFTWARE' && cp -a '" + older + "' '" + package +
        "' && python3 -c \"import sys; p = sys.argv[1]; t = open(p, 'rb').read().decode('utf-16'); open(p, 'wb')"
        ".write(t.replace('11/02/2023,2.1.7.0', '03/01/2024,3.0.0.0').encode('utf-16'))\" '" + package +
        "/qvnet.inf' && cp '" +
        package + "/qvnet.inf' '" + twins + "/WINDOWS/Inf/oem7.inf' && " +
        // The newer package's catalog signed over its own INF, as its publisher signed it.
        "bash -c '. \"$0/scripts/demo-files.sh\" && demo_keys=$2 && rm \"$1/qvnet.cat\" && demo_catalog \"$1/qvnet.cat\" "
        "$(find \"$1\" -type f ! -name \"*.cat\")' '" + source + "' '" + package + "' '" + base + "' && " + hive +
        "SYSTEM' '" + base +
        "/system.reg' 'HKEY_LOCAL_MACHINE\\SYSTEM' && " + hive + "DRIVERS' '" + base +
        "/drivers.reg' 'HKEY_LOCAL_MACHINE\\DRIVERS'";
    ASSERT_EQ(std::system(build.c_str()), 0) << build;
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    stdfs::remove_all(base, ec);
  }

  std::string out, err;
  int run(const Args& args) {
    std::ostringstream o, e;
    const int code = RunCommandLine(args, o, e);
    out = o.str();
    err = e.str();
    return code;
  }
  std::string freshFolder(const std::string& name) {
    const std::string dir = base + "/" + name;
    stdfs::remove_all(dir);
    stdfs::create_directories(dir);
    return dir;
  }
  static std::string tree(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : stdfs::recursive_directory_iterator(dir)) {
      if (e.is_regular_file()) files.push_back("./" + stdfs::relative(e.path(), dir).string());
    }
    std::sort(files.begin(), files.end());
    std::string text;
    for (const auto& f : files) text += f + "\n";
    return text;
  }
};

TEST_F(ImageCommand, BackupOfTheDemoImageCollectsEveryDriverWhole) {
  const std::string to = freshFolder("backup");
  ASSERT_EQ(run({"backup", "--image", image, "--to", to}), 0) << out << err;
  EXPECT_NE(out.find("5 of 5 drivers backed up, 24 files"), std::string::npos) << out;
  EXPECT_NE(err.find("ControlSet002, AMD64, ANSI code page 936, DRIVERS hive"), std::string::npos) << err;
  EXPECT_NE(out.find("24 files, into " + to + "/Quorvak\n"), std::string::npos) << out;
  // qelvaro.exe under Wine gives the same tree from this image (cli_image_wine), and its
  // backup of the running system with the same drivers gives this tree without the
  // camera (cli_backup_demo_wine, demo-backup-tree.txt).
  const std::string golden = std::string(QELVARO_SOURCE_DIR) + "/tests/cli/golden/";
  EXPECT_EQ(tree(to), slurp(golden + "demo-image-backup-tree.txt"));
  std::string shared;
  std::istringstream lines(tree(to));
  for (std::string line; std::getline(lines, line);) {
    if (line.find("/Quorvak/Image/") == std::string::npos) shared += line + "\n";
  }
  EXPECT_EQ(shared, slurp(golden + "demo-backup-tree.txt"));
  // The board extension goes with the display driver whose device it targets.
  EXPECT_NE(out.find("(oem20.inf): 3 files, the package from the driver store, with \"Qelvaro Demo Graphics Adapter\""),
            std::string::npos);
  // The camera's files come from its driver-store package, which only the DRIVERS hive names.
  const std::string package = image + "/WINDOWS/system32/DriverStore/FileRepository/qvcam.inf_amd64_5c1e2f3a4b6d7e80";
  EXPECT_EQ(slurp(to + "/Quorvak/Image/Qelvaro Demo 摄像头/qvcam64.sys"), slurp(package + "/qvcam64.sys"));
  EXPECT_EQ(slurp(to + "/Quorvak/Printer/Qelvaro Demo LaserJet 3000/qvprintui.dll"),
            slurp(image + "/WINDOWS/system32/spool/DRIVERS/W32X86/3/qvprintui.dll"));
}

TEST_F(ImageCommand, ArchitectureOptionOverridesTheImagesOwn) {
  const std::string to = freshFolder("x86");
  EXPECT_EQ(run({"backup", "--image", image, "--to", to, "--class", "Image", "--arch", "x86"}), 1) << out << err;
  // The store package is copied as it is; the x86 install needs a file it lacks.
  EXPECT_NE(out.find("1 file not found: qvcam32.sys"), std::string::npos) << out;
  EXPECT_NE(out.find("\n0 of 1 drivers backed up, "), std::string::npos) << out;  // its line says FAILED
  EXPECT_TRUE(stdfs::exists(to + "/Quorvak/Image/Qelvaro Demo 摄像头/qvcam.inf"));
}

TEST_F(ImageCommand, ZipOfTheImagesDrivers) {
  const std::string to = freshFolder("zip");
  ASSERT_EQ(run({"backup", "--to", to, "--image", image, "--class", "net", "--format", "zip"}), 0) << out << err;
  EXPECT_FALSE(stdfs::exists(to + "/Quorvak"));
  const std::string zip = slurp(to + "/Quorvak.zip");
  EXPECT_NE(zip.find("qvnetco.dll"), std::string::npos);
}

// From a rescue system: one self-extracting program, on the Windows build's payloads.
TEST_F(ImageCommand, SelfExtractingPackageOnTheWindowsBuildsPayloads) {
  const std::string to = freshFolder("sfx");
  unsetenv("QELVARO_SFX_PAYLOADS");
  EXPECT_EQ(run({"backup", "--image", image, "--to", to, "--format", "sfx"}), 2);
  EXPECT_NE(err.find("set QELVARO_SFX_PAYLOADS to the folder that holds its setup.exe and sfx.bin"),
            std::string::npos) << err;

  // Enough of a Windows program for the zip component: "MZ", and at 60 the offset of "PE".
  std::string stub(512, '\0');
  stub.replace(0, 2, "MZ");
  stub[60] = static_cast<char>(128);
  stub.replace(128, 4, std::string("PE\0\0", 4));
  const std::string payloads = freshFolder("payloads");
  std::ofstream(payloads + "/sfx.bin", std::ios::binary) << stub;
  std::ofstream(payloads + "/setup.exe", std::ios::binary) << "MZ restore program";
  setenv("QELVARO_SFX_PAYLOADS", payloads.c_str(), 1);
  const int code = run({"backup", "--image", image, "--to", to, "--format", "sfx", "--class", "Image"});
  unsetenv("QELVARO_SFX_PAYLOADS");
  ASSERT_EQ(code, 0) << out << err;
  EXPECT_NE(out.find("packed into " + to + "/Quorvak.exe\n"), std::string::npos) << out;
  EXPECT_FALSE(stdfs::exists(to + "/Quorvak"));
  const std::string package = slurp(to + "/Quorvak.exe");
  EXPECT_EQ(package.substr(0, stub.size()), stub);
  for (const char* entry : {"setup.exe", "Image/Qelvaro Demo \xE6\x91\x84\xE5\x83\x8F\xE5\xA4\xB4/qvcam64.sys"}) {
    EXPECT_NE(package.find(entry), std::string::npos) << entry;
  }
}

TEST_F(ImageCommand, ListShowsTheCurrentControlSetsDrivers) {
  ASSERT_EQ(run({"list", "--image", image, "--json"}), 0) << err;
  // qelvaro.exe under Wine must print the same (cli_image_wine).
  EXPECT_EQ(out, slurp(std::string(QELVARO_SOURCE_DIR) + "/tests/cli/golden/demo-image-list.json"));
  EXPECT_EQ(out.find("older control set"), std::string::npos);  // ControlSet001 is not current

  ASSERT_EQ(run({"list", "--all", "--image", image}), 0) << err;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6) << out;  // a header and five drivers
  // The in-box INF names no catalog: it is found in the system catalog that lists it.
  EXPECT_NE(out.find("\tkdnic.inf\tMicrosoft Windows\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Qelvaro Demo 摄像头\t图像设备\tQelvaro 演示影像\t{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\0000"
                     "\tImage\toem6.inf\tQelvaro Demo Publisher\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Microsoft Kernel Debug Network Adapter"), std::string::npos);
}

// backup.json carries the image's Windows version (its SOFTWARE hive) and its ANSI
// code page; a restore checked natively reads the camera's GBK INF in that code page.
TEST_F(ImageCommand, BackupJsonCarriesTheImagesWindowsAndCodePageToTheRestore) {
  const std::string to = freshFolder("origin");
  ASSERT_EQ(run({"backup", "--image", image, "--to", to, "--class", "Image"}), 0) << out << err;
  const std::string manifest = slurp(to + "/Quorvak/backup.json");
  for (const char* field : {"\"windowsVersion\": \"10.0.19045\",", "\"windowsName\": \"Windows 10 Pro 22H2\",",
                            "\"ansiCodePage\": 936,"}) {
    EXPECT_NE(manifest.find(field), std::string::npos) << field << "\n" << manifest;
  }
  ASSERT_EQ(run({"restore", to + "/Quorvak", "--dry-run", "--json"}), 0) << out << err;
  EXPECT_NE(out.find("\"provider\": \"Qelvaro \\u6f14\\u793a\\u5f71\\u50cf\""), std::string::npos) << out;  // 演示影像
}

// Two adapters of one model on two driver versions: each package in a folder of its
// own, both named, and both restorable. The image has no SOFTWARE hive: the Windows
// version stays empty and the backup goes on.
TEST_F(ImageCommand, TwoDriversOfOneDescriptionKeepTheirOwnPackages) {
  const std::string to = freshFolder("twins-backup");
  ASSERT_EQ(run({"backup", "--image", twins, "--to", to, "--class", "Net"}), 0) << out << err;
  const std::string store = twins + "/WINDOWS/system32/DriverStore/FileRepository/qvnet.inf_amd64_";
  const std::string folder = to + "/Quorvak/Net/Qelvaro Demo Ethernet 以太网控制器";
  for (const char* inf : {"(oem4.inf): 5 files, the package", "(oem7.inf): 5 files, the package"}) {
    EXPECT_NE(out.find(inf), std::string::npos) << inf << "\n" << out;
  }
  EXPECT_NE(out.find("2 of 2 drivers backed up"), std::string::npos) << out;
  EXPECT_EQ(slurp(folder + "/qvnet.inf"), slurp(store + "neutral_3b9e6d0c2f714a85/qvnet.inf"));
  EXPECT_EQ(slurp(folder + " (oem7.inf)/qvnet.inf"), slurp(store + "7e1d4c2b9a308f56/qvnet.inf"));
  EXPECT_NE(slurp(folder + "/qvnet.inf"), slurp(folder + " (oem7.inf)/qvnet.inf"));
  EXPECT_NE(slurp(to + "/Quorvak/backup.json").find("\"windowsVersion\": \"\",\n  \"windowsName\": \"\","),
            std::string::npos);

  ASSERT_EQ(run({"restore", to + "/Quorvak", "--dry-run"}), 0) << out << err;
  // The INF has no models: each driver is shown as its folder.
  for (const char* line : {"ready      \"Qelvaro Demo Ethernet 以太网控制器\" (Net\\Qelvaro Demo Ethernet 以太网控制器\\qvnet.inf)",
                           "ready      \"Qelvaro Demo Ethernet 以太网控制器 (oem7.inf)\" (Net\\Qelvaro Demo Ethernet "
                           "以太网控制器 (oem7.inf)\\qvnet.inf)"}) {
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  }
}

// A class description holding a tab, a line break and an ESC stays in its cell.
TEST_F(ImageCommand, ListShowsControlCharactersEscaped) {
  ASSERT_EQ(run({"list", "--image", twins}), 0) << err;
  EXPECT_NE(out.find("\nQelvaro Forged\tForged\\tclass\\nrow\\x1B[2J\tQelvaro\t"
                     "{a0b1c2d3-0000-4000-8000-000000000001}\\0000\tForged\toem9.inf\t"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

TEST_F(ImageCommand, BadImagesAndArgumentsAreRefused) {
  EXPECT_EQ(run({"list", "--image"}), 2);
  EXPECT_NE(err.find("--image needs the root folder"), std::string::npos) << err;
  EXPECT_EQ(run({"list", "--image", image, "--frobnicate"}), 2);
  EXPECT_EQ(run({"list"}), 2);
  EXPECT_NE(err.find("give --image ROOT"), std::string::npos) << err;
  EXPECT_EQ(run({"list", "--allow-dirty"}), 2);
  EXPECT_EQ(run({"list", "--image", base + "/nowhere"}), 1);
  EXPECT_NE(err.find("does not exist"), std::string::npos) << err;
  EXPECT_EQ(run({"backup", "--image", base, "--to", base}), 1);
  EXPECT_NE(err.find("no Windows folder in " + base), std::string::npos) << err;
  EXPECT_EQ(run({"backup", "--image", image, "--to", base, "--present-only"}), 2);
  EXPECT_NE(err.find("--present-only does not go with --image"), std::string::npos) << err;

  // A disk whose hive was not closed cleanly and has no log: refused, naming the file
  // and the way out.
  const std::string dirty = freshFolder("dirty");
  const std::string config = dirty + "/Windows/System32/config";
  stdfs::create_directories(config);
  const std::string hives = std::string(QELVARO_CORPUS_DIR) + "/registry/hives/";
  stdfs::copy_file(hives + "regipy__SYSTEM_B", config + "/SYSTEM");
  EXPECT_EQ(run({"backup", "--image", dirty, "--to", base}), 1);
  EXPECT_NE(err.find(config + "/SYSTEM was not closed cleanly"), std::string::npos) << err;
  EXPECT_NE(err.find("no transaction log found beside it"), std::string::npos) << err;
  EXPECT_NE(err.find("--allow-dirty"), std::string::npos) << err;
  EXPECT_EQ(out, "");
  EXPECT_EQ(run({"list", "--image", dirty, "--allow-dirty"}), 0) << err;
  EXPECT_NE(err.find("read as it is (--allow-dirty)"), std::string::npos) << err;
  EXPECT_NE(out.find("NVIDIA NVS 5200M"), std::string::npos);
  // With its first log beside it, the log's entries are replayed.
  stdfs::copy_file(hives + "regipy__SYSTEM_B.LOG1", config + "/SYSTEM.LOG1");
  EXPECT_EQ(run({"list", "--image", dirty}), 0) << err;
  EXPECT_NE(err.find("(" + config + "/SYSTEM.LOG1); 4 log entries replayed into a private copy"), std::string::npos)
      << err;
}


// A backup that SHA256SUMS vouches for is still checked as Windows checks it: each
// driver folder against the catalog its INF names. The hostile cases rewrite the list
// so that only the catalog can tell.
TEST_F(ImageCommand, VerifyChecksEachDriverAgainstItsCatalog) {
  const std::string to = freshFolder("signed");
  ASSERT_EQ(run({"backup", "--image", image, "--to", to}), 0) << out << err;
  const std::string clean = to + "/clean";
  stdfs::rename(to + "/Quorvak", clean);
  const std::string display = "Display/Qelvaro Demo Graphics Adapter/";
  // The list made to match whatever the folder now holds.
  const auto reseal = [](const std::string& root) {
    std::string list;
    std::vector<std::string> paths;
    for (const auto& e : stdfs::recursive_directory_iterator(root)) {
      const std::string rel = stdfs::relative(e.path(), root).string();
      if (e.is_regular_file() && rel != "SHA256SUMS") paths.push_back(rel);
    }
    std::sort(paths.begin(), paths.end());
    for (const std::string& rel : paths) list += Sha256Hex(slurp(root + "/" + rel)) + "  " + rel + "\n";
    std::ofstream(root + "/SHA256SUMS", std::ios::binary) << list;
  };
  // The extension's INF names a catalog per architecture; only x64's is there.
  const auto decorate = [](const std::string& r) {
    const std::string inf = r + "/Extension/Qelvaro Demo Graphics Board Extension/qvdispx.inf";
    std::string text = slurp(inf);
    const auto at = text.find("CatalogFile");
    text.replace(at, text.find('\n', at) - at, "CatalogFile.NTx86=qvdispx32.cat\r\nCatalogFile.NTamd64=qvdispx.cat\r");
    std::ofstream(inf, std::ios::binary) << text;
  };
  struct Case {
    const char* name;
    std::function<void(const std::string&)> change;
    int code;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"intact", [](const std::string&) {}, 0, "5 drivers' signatures checked against their catalogs: publisher 5\n"},
      {"binary changed",
       [&](const std::string& r) { std::ofstream(r + "/" + display + "qvdisp.sys", std::ios::app) << "x"; }, 1,
       "FAILED Display/Qelvaro Demo Graphics Adapter: qvdisp.sys: not in catalog qvdisp.cat;"},
      {"file added", [&](const std::string& r) { std::ofstream(r + "/" + display + "um/extra.dll") << "MZ"; }, 1,
       "um/extra.dll: not in catalog qvdisp.cat"},
      {"catalog truncated",
       [&](const std::string& r) { stdfs::resize_file(r + "/" + display + "qvdisp.cat", 700); }, 1,
       "catalog qvdisp.cat is damaged"},
      {"catalog gone", [&](const std::string& r) { stdfs::remove(r + "/" + display + "qvdisp.cat"); }, 1,
       "catalog qvdisp.cat is missing"},
      {"catalog of 100 MB",
       [&](const std::string& r) { stdfs::resize_file(r + "/" + display + "qvdisp.cat", 100u << 20); }, 1,
       "catalog qvdisp.cat is damaged"},
      {"catalog content altered after signing",
       [&](const std::string& r) {
         std::string cat = slurp(r + "/" + display + "qvdisp.cat");
         const std::string digest = Sha256Hex(slurp(r + "/" + display + "qvdisp.hlp"));
         // One byte of a member's digest, raw in the catalog.
         std::string raw;
         for (std::size_t i = 0; i < 64; i += 2) raw += static_cast<char>(std::stoi(digest.substr(i, 2), nullptr, 16));
         const auto at = cat.find(raw);
         ASSERT_NE(at, std::string::npos);
         cat[at] ^= 1;
         std::ofstream(r + "/" + display + "qvdisp.cat", std::ios::binary) << cat;
       },
       1, "catalog qvdisp.cat: the list was changed after it was signed"},
      // The changed INF is itself no longer in the catalog; which catalog is named shows
      // which name was read.
      {"decorated catalog names",
       [&](const std::string& r) { decorate(r); }, 1, "qvdispx.inf: not in catalog qvdispx.cat;"},
      {"decorated catalog names, a backup for x86",
       [&](const std::string& r) {
         decorate(r);
         std::string json = slurp(r + "/backup.json");
         json.replace(json.find("\"architecture\": \"amd64\""), 25, "\"architecture\": \"x86\"");
         std::ofstream(r + "/backup.json", std::ios::binary) << json;
       },
       1, "catalog qvdispx32.cat is missing"},
      {"INF names no catalog",
       [&](const std::string& r) {
         const std::string inf = r + "/Extension/Qelvaro Demo Graphics Board Extension/qvdispx.inf";
         std::string text = slurp(inf);
         text.replace(text.find("CatalogFile"), 11, "; atalogFil");
         std::ofstream(inf, std::ios::binary) << text;
       },
       0, "1 unsigned driver will not install there"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string root = to + "/" + c.name;
    stdfs::copy(clean, root, stdfs::copy_options::recursive);
    c.change(root);
    reseal(root);
    EXPECT_EQ(run({"verify", root}), c.code) << out << err;
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
  }
  // The JSON names each driver's signature; a Zip is checked the same way.
  ASSERT_EQ(run({"verify", to + "/binary changed", "--json"}), 1) << out << err;
  EXPECT_NE(out.find("\"driver\": \"Display/Qelvaro Demo Graphics Adapter\",\n      \"signature\": \"broken\",\n"
                     "      \"signer\": \"Qelvaro Demo Publisher\",\n      \"catalog\": \"qvdisp.cat\",\n"
                     "      \"notCovered\": [\n        \"qvdisp.sys\"\n      ]"),
            std::string::npos)
      << out;
  const std::string zip = freshFolder("signed-zip");
  // With Microsoft's in-box driver, which backup.json records as Windows' own.
  ASSERT_EQ(run({"backup", "--image", image, "--to", zip, "--format", "zip", "--all"}), 0) << out << err;
  EXPECT_EQ(run({"verify", zip + "/Quorvak.zip"}), 0) << out << err;
  EXPECT_NE(out.find("6 drivers' signatures checked against their catalogs: publisher 5, windows 1\n"), std::string::npos)
      << out;
}

}  // namespace
}  // namespace qelvaro

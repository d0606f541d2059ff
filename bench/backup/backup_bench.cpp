// Backing up 300 drivers with 3,000 files (200 MB) from a fake Windows tree into a
// folder, against `cp -r` of the same files (hard links to them, laid out as the
// backup lays them out) on the same disk. The two alternate, each run into a fresh
// folder; the report gives min/median/max of both and their ratio. Needs room for
// (runs + 1) x 2 copies of the set.
//
//   backup_bench [--dir DIR] [--runs N] [--drivers N] [--files N] [--mb N]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "backup_collector.h"
#include "backup_root.h"
#include "folder_ids.h"
#include "windows_tree_file_system.h"

namespace stdfs = std::filesystem;
using namespace qelvaro;

namespace {

struct Options {
  std::string dir = stdfs::temp_directory_path().string();
  int runs = 7;
  int drivers = 300;
  int filesPerDriver = 10;  // the INF, its catalog and its source files
  long long megabytes = 200;
};

struct Rows final : DriverRowSource {
  std::vector<DriverRow> rows;
  std::size_t rowCount() const override { return rows.size(); }
  bool rowTicked(std::size_t) const override { return true; }
  DriverRow rowAt(std::size_t i) const override { return rows[i]; }
};

void writeFile(const stdfs::path& p, const std::string& bytes) {
  stdfs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::cerr << "cannot write " << p << "\n";
    std::exit(1);
  }
}

// Builds the tree under `base`/c and the same files, hard-linked, under `base`/cp-src
// in the backup's layout. Returns the driver rows and the bytes written.
long long buildTree(const Options& o, const stdfs::path& base, Rows& rows) {
  const stdfs::path win = base / "c" / "Windows";
  const stdfs::path sys = win / "System32";
  std::mt19937 random(42);
  const int sourceFiles = o.filesPerDriver - 2;
  const long long total = o.megabytes * 1024 * 1024;
  const long long average = total / (static_cast<long long>(o.drivers) * sourceFiles + o.drivers);
  std::uniform_int_distribution<long long> size(average / 8, 2 * average - average / 8);
  std::string block(static_cast<std::size_t>(2 * average), '\0');
  for (auto& c : block) c = static_cast<char>(random());
  long long bytes = 0;
  const char* ids[] = {"12", "11", "66000"};
  for (int d = 0; d < o.drivers; ++d) {
    const std::string name = "drv" + std::to_string(d);
    const std::string cls = "Class" + std::to_string(d % 10);
    const std::string id = ids[d % 3];
    const stdfs::path out = base / "cp-src" / cls / ("Driver " + std::to_string(d));
    std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=" + name + ".cat\r\n"
                      "[DestinationDirs]\r\nDefaultDestDir=" + id + "\r\n[SourceDisksFiles]\r\n";
    std::vector<std::pair<std::string, stdfs::path>> files;
    for (int f = 0; f < sourceFiles; ++f) {
      const bool isSys = f < 2;
      const std::string key = name + "_" + std::to_string(f) + (isSys ? ".sys" : f == sourceFiles - 1 ? ".hlp" : ".dll");
      inf += key + " = 1\r\n";
      stdfs::path where;
      if (f == sourceFiles - 1) {
        where = win / "Help";
      } else if (id == "66000") {
        where = sys / "spool" / "drivers" / "w32x86" / "3";
      } else {
        where = isSys ? sys / "drivers" : sys;
      }
      files.emplace_back(key, where / key);
    }
    writeFile(win / "inf" / (name + ".inf"), inf);
    stdfs::create_directories(out);
    stdfs::create_hard_link(win / "inf" / (name + ".inf"), out / (name + ".inf"));
    files.emplace_back(name + ".cat", sys / "CatRoot" / "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}" / (name + ".cat"));
    for (const auto& [key, path] : files) {
      const auto n = static_cast<std::size_t>(size(random));
      writeFile(path, block.substr(static_cast<std::size_t>(random()) % (block.size() - n), n));
      stdfs::create_hard_link(path, out / key);
      bytes += static_cast<long long>(n);
    }
    rows.rows.push_back({"Driver " + std::to_string(d), cls, name + ".inf"});
  }
  stdfs::create_directories(sys / "CatRoot" / "{127D0A1D-4EF2-11D1-8608-00C04FC295EE}");
  return bytes;
}

struct Stats {
  double min, median, max;
};

Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2], v.back()};
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--dir") o.dir = argv[i + 1];
    else if (a == "--runs") o.runs = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--drivers") o.drivers = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--files") o.filesPerDriver = std::max(3, std::atoi(argv[i + 1]));
    else if (a == "--mb") o.megabytes = std::max(1, std::atoi(argv[i + 1]));
    else {
      std::cerr << "usage: backup_bench [--dir DIR] [--runs N] [--drivers N] [--files N] [--mb N]\n";
      return 2;
    }
  }
  std::string pattern = (stdfs::path(o.dir) / "qelvaro-backup-bench.XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::cerr << "cannot make a folder in " << o.dir << "\n";
    return 1;
  }
  const stdfs::path base = pattern;
  Rows rows;
  const long long bytes = buildTree(o, base, rows);
  stdfs::create_directories(base / "d");
  std::cout << o.drivers << " drivers, " << o.drivers * o.filesPerDriver << " files, " << bytes / (1024 * 1024)
            << " MB in " << base << "\n";

  WindowsTreeFileSystem fs;
  if (auto e = fs.mapDrive('C', (base / "c").string())) return std::cerr << *e << "\n", 1;
  if (auto e = fs.mapDrive('D', (base / "d").string())) return std::cerr << *e << "\n", 1;
  const FixedSystemFolders folders("C:\\Windows");

  // Every run writes a folder of its own and nothing is deleted until the end:
  // ext4 makes new files slow right after many were deleted, which would bill one
  // side for the other's clean-up. The order alternates for the same reason.
  std::vector<double> ours, cp;
  bool ok = true;
  for (int run = 0; run < o.runs + 1 && ok; ++run) {  // the first round warms the caches, untimed
    const std::string target = "run" + std::to_string(run);
    if (auto e = fs.createDir("D:\\" + target); !e) return std::cerr << e.describe() << "\n", 1;
    const std::string cpCommand = "cp -r '" + (base / "cp-src").string() + "' '" +
                                  (base / "d" / target / "cp-out").string() + "'";
    double backupSeconds = 0, cpSeconds = 0;
    auto backup = [&] {
      const auto t0 = std::chrono::steady_clock::now();
      BackupSink sink;
      BackupCollector collector(folders, fs, nullptr, MachineArch::Amd64);
      const BackupResult result = collector.run(rows, BackupRoot("D:\\" + target), sink);
      backupSeconds = seconds(std::chrono::steady_clock::now() - t0);
      std::size_t copied = 0;
      for (const auto& d : result.drivers) copied += d.copied.size();
      if (!result.complete() || copied != static_cast<std::size_t>(o.drivers * o.filesPerDriver)) {
        std::cerr << "run " << run << ": the backup copied " << copied << " files\n";
        ok = false;
      }
    };
    auto copy = [&] {
      const auto t0 = std::chrono::steady_clock::now();
      const int status = std::system(cpCommand.c_str());
      cpSeconds = seconds(std::chrono::steady_clock::now() - t0);
      if (status != 0) {
        std::cerr << "run " << run << ": cp failed with " << status << "\n";
        ok = false;
      }
    };
    if (run % 2) {
      copy();
      ::sync();
      backup();
    } else {
      backup();
      ::sync();
      copy();
    }
    ::sync();
    if (run > 0) {
      ours.push_back(backupSeconds);
      cp.push_back(cpSeconds);
    }
  }
  stdfs::remove_all(base);
  if (!ok) return 1;

  const Stats a = stats(ours), b = stats(cp);
  std::printf("%-10s %8s %8s %8s  (seconds, %d runs)\n", "", "min", "median", "max", o.runs);
  std::printf("%-10s %8.3f %8.3f %8.3f\n", "backup", a.min, a.median, a.max);
  std::printf("%-10s %8.3f %8.3f %8.3f\n", "cp -r", b.min, b.median, b.max);
  std::printf("ratio backup / cp -r: median %.2f, min %.2f (target 1.30)\n", a.median / b.median, a.min / b.min);
  return 0;
}

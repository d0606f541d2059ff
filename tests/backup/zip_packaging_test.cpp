// Packing a backup root: an exception out of the zip component is a failure of the
// run that keeps every source, never an exception out of the packing step.

#include "zip_packaging.h"
#include "zipcomp/zip_errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <stdlib.h>

namespace qelvaro {
namespace {

namespace fs = std::filesystem;

// A wait that fails the way a window's message loop can (a handler that throws).
class ThrowingWaitHost final : public zipcomp::WaitHost {
 public:
  void wait(std::chrono::milliseconds) override { throw std::runtime_error("the wait broke"); }
  void wake() noexcept override {}
};

struct TempFolder {
  fs::path path;
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "qelvaro-pack-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempFolder() { fs::remove_all(path); }
};

TEST(PackBackupAsZip, AnExceptionFromTheComponentIsAFailureThatKeepsTheSources) {
  TempFolder temp;
  const fs::path root = temp.path / "Quorvak";
  // Enough work that the packing is still going when the caller first waits.
  for (int i = 0; i < 200; ++i) {
    fs::create_directories(root / "Net" / ("driver" + std::to_string(i % 10)));
    std::ofstream(root / "Net" / ("driver" + std::to_string(i % 10)) / ("f" + std::to_string(i) + ".sys"))
        << std::string(20000, static_cast<char>('a' + i % 26));
  }
  const ZipOutcome outcome = PackBackupAsZip(root.string(), (temp.path / "Quorvak.zip").string(), nullptr,
                                             std::make_shared<ThrowingWaitHost>());
  EXPECT_FALSE(outcome.ok());
  EXPECT_FALSE(outcome.archiveComplete());
  EXPECT_EQ(outcome.code, static_cast<std::int32_t>(zipcomp::ZipResult::Internal));
  EXPECT_NE(outcome.description.find("the wait broke"), std::string::npos) << outcome.description;
  int left = 0;
  for (const auto& e : fs::recursive_directory_iterator(root)) left += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(left, 200);
}

TEST(PackBackupAsZip, ArchiveCompleteCoversKeptSources) {
  ZipOutcome outcome;
  EXPECT_TRUE(outcome.archiveComplete());
  outcome.code = static_cast<std::int32_t>(zipcomp::ZipResult::SourcesKept);
  EXPECT_TRUE(outcome.archiveComplete());
  outcome.code = static_cast<std::int32_t>(zipcomp::ZipResult::DiskFull);
  EXPECT_FALSE(outcome.archiveComplete());
}

}  // namespace
}  // namespace qelvaro

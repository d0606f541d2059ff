#include "hivex_hive.h"

#include <hivex.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text_encoding.h"

namespace qelvaro {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using CBuffer = std::unique_ptr<T, FreeDeleter>;

// One open hive; keys share it. hivex handles are not safe to use from two threads
// at once, so every call goes through the lock.
struct HivexHandle {
  hive_h* h = nullptr;
  std::mutex lock;
  ~HivexHandle() {
    if (h) hivex_close(h);
  }
};

long lastError() { return errno == ENOENT || errno == 0 ? kRegFileNotFound : kRegInvalidData; }

class HivexKey final : public RegistryKey {
 public:
  HivexKey(std::shared_ptr<HivexHandle> hive, hive_node_h node) : hive_(std::move(hive)), node_(node) {}

  long enumSubKey(std::uint32_t index, std::string& name) const override {
    std::lock_guard guard(hive_->lock);
    if (const long status = loadChildren(); status != kRegSuccess) return status;
    if (index >= children_->size()) return kRegNoMoreItems;
    errno = 0;
    CBuffer<char> text(hivex_node_name(hive_->h, (*children_)[index]));
    if (!text) return kRegInvalidData;
    name = text.get();
    return kRegSuccess;
  }

  long queryValue(const std::string& name, RegistryData& data) const override {
    std::lock_guard guard(hive_->lock);
    errno = 0;
    const hive_value_h value = hivex_node_get_value(hive_->h, node_, name.c_str());
    if (!value) return errno == 0 ? kRegFileNotFound : kRegInvalidData;
    // hivex stores the type as it is in the hive, any 32-bit number, through its enum
    // type, which holds only the numbers it names: it is received as an integer.
    static_assert(sizeof(hive_type) == sizeof(std::uint32_t));
    std::uint32_t type = 0;
    std::size_t len = 0;
    errno = 0;
    CBuffer<char> bytes(hivex_value_value(hive_->h, value, reinterpret_cast<hive_type*>(&type), &len));
    if (!bytes && len != 0) return kRegInvalidData;
    data.type = static_cast<RegistryType>(type);
    data.bytes.assign(bytes.get(), bytes.get() + (bytes ? len : 0));
    return kRegSuccess;
  }

  long openSubKey(const std::string& path, RegistryAccess, std::unique_ptr<RegistryKey>& key) const override {
    key.reset();
    std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names)) return kRegFileNotFound;
    std::lock_guard guard(hive_->lock);
    std::unique_ptr<HivexKey> at;
    for (const std::string_view name : names) {
      hive_node_h next = 0;
      if (const long status = (at ? *at : *this).child(name, next); status != kRegSuccess) return status;
      at = std::make_unique<HivexKey>(hive_, next);
    }
    key = at ? std::move(at) : std::make_unique<HivexKey>(hive_, node_);
    return kRegSuccess;
  }

 private:
  std::shared_ptr<HivexHandle> hive_;
  hive_node_h node_;
  // Read once, under the lock: the inventory walks every index and opens every
  // subkey, and hivex lists the whole key on each call (its own lookup by name too).
  mutable std::optional<std::vector<hive_node_h>> children_;
  mutable std::optional<std::unordered_map<std::string, hive_node_h>> byName_;

  long loadChildren() const {
    if (children_) return kRegSuccess;
    errno = 0;
    CBuffer<hive_node_h> list(hivex_node_children(hive_->h, node_));
    if (!list) return kRegInvalidData;
    children_.emplace();
    for (hive_node_h* c = list.get(); *c; ++c) children_->push_back(*c);
    return kRegSuccess;
  }

  // The subkey named `name`, compared as hivex compares (ASCII letters without
  // regard to case); the first of two with one name, as hivex finds.
  long child(std::string_view name, hive_node_h& out) const {
    if (const long status = loadChildren(); status != kRegSuccess) return status;
    if (!byName_) {
      std::unordered_map<std::string, hive_node_h> map;
      map.reserve(children_->size());
      for (const hive_node_h c : *children_) {
        errno = 0;
        CBuffer<char> text(hivex_node_name(hive_->h, c));
        if (!text) return kRegInvalidData;
        map.try_emplace(asciiLowerCopy(text.get()), c);
      }
      byName_ = std::move(map);
    }
    const auto found = byName_->find(asciiLowerCopy(name));
    if (found == byName_->end()) return kRegFileNotFound;
    out = found->second;
    return kRegSuccess;
  }
};

class HivexHive final : public Hive {
 public:
  explicit HivexHive(std::shared_ptr<HivexHandle> hive) : hive_(std::move(hive)) {}

  long open(const std::string& path, std::unique_ptr<RegistryKey>& key) const override {
    key.reset();
    hive_node_h root = 0;
    {
      std::lock_guard guard(hive_->lock);
      errno = 0;
      root = hivex_root(hive_->h);
    }
    if (!root) return kRegInvalidData;
    return HivexKey(hive_, root).openSubKey(path, RegistryAccess::Read, key);
  }

 private:
  std::shared_ptr<HivexHandle> hive_;
};

}  // namespace

std::unique_ptr<Hive> OpenHivexHive(const std::string& file, std::string& error) {
  auto handle = std::make_shared<HivexHandle>();
  errno = 0;
  handle->h = hivex_open(file.c_str(), 0);
  if (!handle->h) {
    error = std::string("it is damaged (hivex: ") + (errno ? std::strerror(errno) : "refused") + ")";
    return nullptr;
  }
  return std::make_unique<HivexHive>(std::move(handle));
}

std::unique_ptr<Hive> OpenHivexHiveFromBytes(const std::string& bytes, std::string& error) {
  // hivex opens files by name: the bytes go into an anonymous file, named through
  // /proc. hivex holds its own descriptor, so ours closes at once.
  const int fd = memfd_create("qelvaro-hive", MFD_CLOEXEC);
  if (fd < 0) {
    error = std::string("no in-memory copy can be made (") + std::strerror(errno) + ")";
    return nullptr;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      error = std::string("no in-memory copy can be made (") + std::strerror(errno) + ")";
      ::close(fd);
      return nullptr;
    }
    done += static_cast<std::size_t>(n);
  }
  std::unique_ptr<Hive> hive = OpenHivexHive("/proc/self/fd/" + std::to_string(fd), error);
  ::close(fd);
  return hive;
}

}  // namespace qelvaro

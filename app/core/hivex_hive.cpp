#include "hivex_hive.h"

#include <hivex.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

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
    if (!children_) {
      // Read once: the inventory walks every index, and hivex lists the whole key
      // on each call.
      errno = 0;
      CBuffer<hive_node_h> list(hivex_node_children(hive_->h, node_));
      if (!list) return kRegInvalidData;
      children_.emplace();
      for (hive_node_h* c = list.get(); *c; ++c) children_->push_back(*c);
    }
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

 private:
  std::shared_ptr<HivexHandle> hive_;
  hive_node_h node_;
  mutable std::optional<std::vector<hive_node_h>> children_;
};

class HivexHive final : public Hive {
 public:
  explicit HivexHive(std::shared_ptr<HivexHandle> hive) : hive_(std::move(hive)) {}

  long open(const std::string& path, std::unique_ptr<RegistryKey>& key) const override {
    key.reset();
    std::lock_guard guard(hive_->lock);
    errno = 0;
    hive_node_h node = hivex_root(hive_->h);
    if (!node) return kRegInvalidData;
    std::size_t start = 0;
    while (start < path.size()) {
      std::size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      const std::string name = path.substr(start, end - start);
      start = end + 1;
      // A doubled or trailing backslash names nothing.
      if (name.empty()) {
        if (end == path.size()) break;
        return kRegFileNotFound;
      }
      errno = 0;
      node = hivex_node_get_child(hive_->h, node, name.c_str());
      if (!node) return lastError();
    }
    key = std::make_unique<HivexKey>(hive_, node);
    return kRegSuccess;
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

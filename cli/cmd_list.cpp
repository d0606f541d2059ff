// `qelvaro list [--image ROOT] [--all] [--json]`: the driver list the window shows,
// for the running system or an offline image.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "cmd_verify.h"
#include "console_ui.h"
#include "device_index.h"
#include "driver_inventory.h"
#include "image_class_descriptions.h"
#include "image_system.h"
#include "installed_signatures.h"
#include "json_writer.h"
#include "shown_text.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

constexpr std::string_view kUsage =
    "usage: qelvaro list [--image ROOT [--allow-dirty]] [--all] [--json]\n";

// Each driver's device instance, and whether it is plugged in now where that is known
// (on the running system; an offline image cannot tell).
struct DeviceColumns {
  DeviceIndex instances;
  std::optional<std::set<std::string>> present;  // lower-cased instance ids
};

// The signer column: the signer's name, or what the signature is when there is none.
std::string signerColumn(const PackageSignature& s) {
  if (s.kind == SignatureKind::Unsigned) return "unsigned";
  if (s.kind == SignatureKind::Broken) return "broken";
  return s.signer;
}

void writeJson(const std::vector<DriverRecord>& drivers, const std::vector<PackageSignature>& signatures,
               const DeviceColumns& devices, std::ostream& out) {
  JsonWriter json(out);
  json.beginArray();
  for (std::size_t i = 0; i < drivers.size(); ++i) {
    const DriverRecord& d = drivers[i];
    json.beginObject();
    json.key("description");
    json.value(d.description);
    json.key("classDescription");
    json.value(d.classDisplayName);
    json.key("provider");
    json.value(d.provider);
    json.key("class");
    json.value(d.className);
    json.key("classKey");
    json.value(d.keyPath);
    json.key("inf");
    json.value(d.infName);
    if (i < signatures.size()) WriteSignatureJson(json, signatures[i], false);
    const std::string instance = devices.instances.instanceOf(d.keyPath);
    json.key("deviceInstance");
    json.value(instance);
    if (devices.present) {
      json.key("present");
      json.value(!instance.empty() && devices.present->count(asciiLowerCopy(instance)) != 0);
    }
    json.endObject();
  }
  json.endArray();
  out << "\n";
}

// One line per driver, the window's columns in its order, separated by tabs; a tab or
// line break inside a cell is shown escaped, so that every line is one driver.
void writeTable(const std::vector<DriverRecord>& drivers, const std::vector<PackageSignature>& signatures,
                std::ostream& out) {
  out << "description\tclass description\tprovider\tkey\tclass\tinf";
  if (!signatures.empty()) out << "\tsigner";
  out << "\n";
  for (std::size_t i = 0; i < drivers.size(); ++i) {
    const DriverRecord& d = drivers[i];
    out << ShownText(d.description) << '\t' << ShownText(d.classDisplayName) << '\t' << ShownText(d.provider)
        << '\t' << ShownText(d.keyPath) << '\t' << ShownText(d.className) << '\t' << ShownText(d.infName);
    if (i < signatures.size()) out << '\t' << ShownText(signerColumn(signatures[i]));
    out << '\n';
  }
}

}  // namespace

int RunListCommand(const Args& given, std::ostream& out, std::ostream& err) {
  Args args = given;
  std::string root;
  OfflineImageOptions options;
  std::string error;
  if (!TakeImageOptions(args, root, options, error)) {
    err << "qelvaro list: " << error << "\n" << kUsage;
    return 2;
  }
  bool all = false, json = false;
  for (const std::string& a : args) {
    if (a == "--all") {
      all = true;
    } else if (a == "--json") {
      json = true;
    } else {
      err << "qelvaro list: unknown argument '" << a << "'\n" << kUsage;
      return 2;
    }
  }
  if (root.empty() && options.allowDirty) {
    err << "qelvaro list: --allow-dirty goes with --image\n" << kUsage;
    return 2;
  }

  std::unique_ptr<ImageSystem> image;
  std::unique_ptr<Registry> live;
  const Registry* registry = nullptr;
  if (!root.empty()) {
    image = OpenImageForCommand("list", root, options, err);
    if (!image) return 1;
    registry = &image->image->registry();
  } else {
    live = MakePlatformRegistry();
    if (!live) {
      err << "qelvaro list: this build has no Windows registry to read; give --image ROOT, the root of a "
             "Windows volume\n";
      return 2;
    }
    registry = live.get();
  }

  ConsoleUi ui(err, "list");
  std::unique_ptr<ClassDescriptions> classes;
  if (image) {
    classes = std::make_unique<ImageClassDescriptions>(*image->fs, image->image->folders(), image->image->registry());
  }
  else classes = MakePlatformClassDescriptions();
  const DriverInventory inventory = ScanDrivers(*registry, ui, !all, kClassRoot, classes.get());
  // Who signed each driver, from the catalog it was installed with.
  SignatureOfInf signatureOf;
  std::unique_ptr<InstalledSignatures> imageSignatures;
  if (image) {
    imageSignatures = std::make_unique<InstalledSignatures>(
        *image->fs, image->image->folders(), image->store.get(), image->image->arch().value_or(DefaultMachineArch()));
    signatureOf = [&](const std::string& inf) { return imageSignatures->of(inf); };
  } else {
    signatureOf = MakePlatformSignatures();
  }
  std::vector<PackageSignature> signatures;
  if (signatureOf) {
    signatures.reserve(inventory.drivers.size());
    for (const DriverRecord& d : inventory.drivers) signatures.push_back(signatureOf(d.infName));
  }
  if (json) {
    DeviceColumns devices;
    devices.instances = DeviceIndex::Read(*registry, &ui);
    if (!image) {
      if (auto present = PresentDeviceInstances()) {
        devices.present.emplace();
        for (const auto& id : *present) devices.present->insert(asciiLowerCopy(id));
      }
    }
    writeJson(inventory.drivers, signatures, devices, out);
  } else {
    writeTable(inventory.drivers, signatures, out);
  }
  // A key whose subkeys could not be listed (named on stderr) may hide drivers.
  return inventory.unreadableKeys.empty() ? 0 : 1;
}

}  // namespace qelvaro

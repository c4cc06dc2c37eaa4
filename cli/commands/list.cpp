// list: the attached USB printers and the serial and parallel ports present.
#include <cstdio>

#include "cli/commands/command.h"
#include "cli/discovery.h"

namespace krt6::cli {
namespace {

nlohmann::ordered_json PortRecord(const char* kind, const PortEntry& entry) {
  nlohmann::ordered_json record;
  record["kind"] = kind;
  record["uri"] = entry.Uri;
  record["device"] = entry.Device;
  record["name"] = entry.Name;
  return record;
}

nlohmann::ordered_json UsbRecord(const UsbPrinterEntry& usb) {
  nlohmann::ordered_json record;
  char product[8];
  std::snprintf(product, sizeof product, "%04x", usb.ProductId);
  record["kind"] = "usb";
  record["uri"] = usb.Uri;
  record["port_path"] = usb.PortPath;
  record["product_id"] = product;
  record["serial"] = usb.Serial;
  return record;
}

// "URI  product ID[  serial S]" for a USB printer, "URI  DEVICE" for a port.
std::string RecordText(const nlohmann::ordered_json& record) {
  std::string text = record["uri"].get<std::string>();
  if (record["kind"] != "usb") return text + "  " + record["device"].get<std::string>();
  text += "  product " + record["product_id"].get<std::string>();
  if (!record["serial"].get<std::string>().empty()) {
    text += "  serial " + record["serial"].get<std::string>();
  }
  return text;
}

int RunList(const NoOptions&, const CommandContext& context) {
  const AttachedDevices devices = ListAttachedDevices();
  std::vector<nlohmann::ordered_json> records;
  for (const UsbPrinterEntry& usb : devices.Usb) records.push_back(UsbRecord(usb));
  for (const PortEntry& entry : devices.Serial) records.push_back(PortRecord("serial", entry));
  for (const PortEntry& entry : devices.Parallel) records.push_back(PortRecord("parallel", entry));
  for (const auto& record : records) context.reporter.Record(OneLine(record), RecordText(record));
  return kExitOk;
}

}  // namespace

CommandRegistration ListRegistration() {
  return Register<NoOptions>(
      "list", "the attached printers and ports: USB (vendor id 6f2d), serial and parallel", false,
      AddNoOptions, RunList);
}

}  // namespace krt6::cli

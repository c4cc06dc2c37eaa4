#include "link/system_links.h"

namespace krt6 {

void InstallSystemLinks(LinkLayer& layer, SystemLinkOptions options) {
  if (!options.Ports) options.Ports = std::make_shared<FixedPortTable>();
  if (!options.Usb) options.Usb = MakeLibusbDeviceSource();
  layer.SetBackend(lkUsb, std::make_unique<UsbLink>(options.Usb, options.UsbLimits, options.UsbDevice));
  layer.SetBackend(lkCom, std::make_unique<SerialLink>(options.Ports, options.Serial));
  layer.SetBackend(lkLpt, std::make_unique<ParallelLink>(options.Ports, options.Parallel));
  layer.SetBackend(lkEthernet, std::make_unique<TcpLink>(options.Tcp));
}

}  // namespace krt6

// Installs the four real links (USB, serial, parallel, TCP) into a LinkLayer.
#pragma once

#include <memory>

#include "link/link_layer.h"
#include "link/parallel_link.h"
#include "link/port_names.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "link/usb_link.h"

namespace krt6 {

// What the links take from the system; anything left empty gets the real one (the fixed port
// table, libusb).
struct SystemLinkOptions {
  std::shared_ptr<const PortResolver> Ports;
  std::shared_ptr<UsbDeviceSource> Usb;
  SerialTimings Serial;
  ParallelTimings Parallel;
  UsbTimings UsbLimits;
  UsbSelector UsbDevice;  // which USB printer (empty: the first, as the window opens)
  TcpTimings Tcp;
};

void InstallSystemLinks(LinkLayer& layer, SystemLinkOptions options = {});

}  // namespace krt6

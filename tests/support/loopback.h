// Loopback ports for tests that need a printer that refuses: the kernel hands one out, the test
// gives it back at once, and nothing listens there.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace krt6::testing {

// A port on 127.0.0.1 that nothing listens on; 0 when the kernel gave none.
inline int ClosedLoopbackPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  ::close(probe);
  return bound ? ntohs(address.sin_port) : 0;
}

// "127.0.0.1:PORT" for a ClosedLoopbackPort: a target whose connection is refused.
inline std::string RefusedTarget() { return "127.0.0.1:" + std::to_string(ClosedLoopbackPort()); }

}  // namespace krt6::testing

// Abstract Unix sockets carry one control code per connection and its answer.
#include "platform/services/control_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tamsel::platform::services {

namespace {

socklen_t AbstractAddress(const std::string& name, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  size_t length = std::min(name.size(), sizeof address.sun_path - 1);
  std::memcpy(address.sun_path + 1, name.data(), length);  // leading NUL: abstract namespace
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

// Reads or writes exactly `size` bytes, waiting at most `timeoutMs` for each step.
bool Transfer(int fd, void* data, size_t size, bool reading, int timeoutMs) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    pollfd entry{fd, static_cast<short>(reading ? POLLIN : POLLOUT), 0};
    int ready = poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t done = reading ? recv(fd, bytes, size, 0) : send(fd, bytes, size, MSG_NOSIGNAL);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

ControlListener::~ControlListener() {
  if (fd_ >= 0) close(fd_);
}

DWORD ControlListener::Listen(const std::string& name) {
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return ERROR_NOT_ENOUGH_MEMORY;
  sockaddr_un address;
  socklen_t length = AbstractAddress(name, address);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    DWORD error = errno == EADDRINUSE ? ERROR_SERVICE_ALREADY_RUNNING : ERROR_ACCESS_DENIED;
    close(fd_);
    fd_ = -1;
    return error;
  }
  listen(fd_, 16);
  return ERROR_SUCCESS;
}

int ControlListener::AcceptControl(DWORD& control) const {
  int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (connection < 0) return -1;
  // A controller that connects and says nothing must not hold up the service for long.
  if (!Transfer(connection, &control, sizeof control, true, 2000)) {
    close(connection);
    return -1;
  }
  return connection;
}

void ControlListener::Reply(int connection, const ControlReply& reply) {
  ControlReply copy = reply;
  Transfer(connection, &copy, sizeof copy, false, 2000);
  close(connection);
}

DWORD SendControl(const std::string& name, DWORD control, std::chrono::milliseconds timeout,
                  ControlReply& reply) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return ERROR_NOT_ENOUGH_MEMORY;
  sockaddr_un address;
  socklen_t length = AbstractAddress(name, address);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    close(fd);
    return ERROR_SERVICE_NOT_ACTIVE;
  }
  int timeoutMs = static_cast<int>(timeout.count());
  bool answered = Transfer(fd, &control, sizeof control, false, timeoutMs) &&
                  Transfer(fd, &reply, sizeof reply, true, timeoutMs);
  close(fd);
  return answered ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
}

}  // namespace tamsel::platform::services

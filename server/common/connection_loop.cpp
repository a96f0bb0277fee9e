#include "server/common/connection_loop.h"

#include <poll.h>

#include <cerrno>

#include "platform/status.h"

namespace stand_in {

bool ServeConnections(platform::PipeListener* listener, int stop_fd, int backlog,
                      const std::function<void(platform::PipeStream*)>& serve, std::string* error) {
  pollfd fds[2] = {{static_cast<int>(listener->wait_handle().value()), POLLIN, 0}, {stop_fd, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      *error = platform::Status::Error(errno, "wait for clients").message();
      return false;
    }
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) != 0) {
      platform::PipeStream stream;
      // A client that gave up between the wake-up and the accept is no loss.
      if (listener->Accept(&stream, 0).ok()) serve(&stream);
    } else if (fds[0].revents != 0) {
      *error = "the socket " + listener->path() + " failed";
      return false;
    }
  }
  platform::PipeStream stream;
  for (int i = 0; i <= backlog && listener->Accept(&stream, 0).ok(); ++i) serve(&stream);
  return true;
}

}  // namespace stand_in

#include "server/common/connection_loop.h"

#include <array>

#include "platform/status.h"
#include "platform/wait.h"

namespace stand_in {

bool ServeConnections(platform::PipeListener* listener, platform::WaitHandle stop, int backlog,
                      const std::function<void(platform::PipeStream*)>& serve, std::string* error) {
  const std::array<platform::WaitHandle, 2> handles = {stop, listener->wait_handle()};
  for (;;) {
    size_t signalled = 0;
    const platform::Status status = platform::WaitForAny(handles, -1, &signalled);
    if (!status.ok()) {
      *error = "waiting for clients of " + listener->path() + " failed: " + status.message();
      return false;
    }
    if (signalled == 0) break;
    platform::PipeStream stream;
    const platform::Status accepted = listener->Accept(&stream, 0);
    if (accepted.ok()) {
      serve(&stream);
    } else if (accepted.code() != platform::kErrorTimeout) {
      // A listener that signals but cannot accept would be woken for ever.
      *error = accepted.message();
      return false;
    }
  }
  platform::PipeStream stream;
  for (int i = 0; i <= backlog && listener->Accept(&stream, 0).ok(); ++i) serve(&stream);
  return true;
}

}  // namespace stand_in

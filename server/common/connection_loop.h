// The accept loop every stand-in service runs: one connection after another,
// in the order they arrived, until a stop is requested.
#ifndef PORTELLE_SERVER_COMMON_CONNECTION_LOOP_H_
#define PORTELLE_SERVER_COMMON_CONNECTION_LOOP_H_

#include <functional>
#include <string>

#include "platform/named_pipe.h"
#include "platform/wait.h"

namespace stand_in {

// Hands each connection accepted on `listener` to `serve` until `stop` is
// signalled (a stop request wins over a waiting client); then serves the
// connections already waiting, so that requests handed over before the stop
// are not lost, and returns true. At most backlog + 1 are served after the stop: clients that keep coming cannot hold
// it off. False, with *error, when waiting for or accepting clients fails.
bool ServeConnections(platform::PipeListener* listener, platform::WaitHandle stop, int backlog,
                      const std::function<void(platform::PipeStream*)>& serve, std::string* error);

}  // namespace stand_in

#endif  // PORTELLE_SERVER_COMMON_CONNECTION_LOOP_H_

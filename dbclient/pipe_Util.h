// The request-and-reply exchange with a local service: the reply pipe is
// created first, so that a service answering at once always finds it, then
// the request goes out as a one-way send.
#ifndef PORTELLE_DBCLIENT_PIPE_UTIL_H_
#define PORTELLE_DBCLIENT_PIPE_UTIL_H_

#include <cstdint>
#include <string_view>

#include "dbclient/pipe_Server.h"

// Creates the reply pipe `reply_pipe` on `server` with a time-out of
// `timeout_seconds` per wait, then writes the `size` bytes of `request` to
// the service pipe `service_pipe` and closes. A service that is not running
// fails at once. The caller owns `server` and collects the reply with its
// FetchCmd. On failure the reason is logged and platform::GetLastError()
// holds it.
bool PipeSendAndRecvW(const void* request, uint32_t size, std::u16string_view reply_pipe,
                      std::u16string_view service_pipe, CPipeServer* server,
                      uint32_t timeout_seconds);

#endif  // PORTELLE_DBCLIENT_PIPE_UTIL_H_

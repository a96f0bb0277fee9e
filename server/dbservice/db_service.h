// CDbService: the stand-in for the server's database service. It accepts one
// connection after another on DbServerNamePipe, reads each to end-of-file as
// one request, journals it, handles it (command_handler.h) and answers on
// the reply pipe the request names. Requests are served one at a time in the
// order they arrived, so a reply that has come back means that every request
// sent before it has been handled.
//
// Every connection leaves one journal entry, committed before the reply
// connection is closed, so a client that has its whole reply finds its
// request, and all before it, in a dump. A request that cannot be parsed is
// answered with nothing: the service never connects to a reply pipe for it,
// so its client sees its usual failure. A client that leaves mid-request, stalls, sends too much or
// has removed its reply pipe costs the service that one request, never its run.
#ifndef PORTELLE_SERVER_DBSERVICE_DB_SERVICE_H_
#define PORTELLE_SERVER_DBSERVICE_DB_SERVICE_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "dbclient/pipe_Client.h"
#include "platform/named_pipe.h"
#include "platform/wait.h"
#include "server/dbservice/db_store.h"
#include "server/dbservice/fixture.h"
#include "server/dbservice/request.h"

namespace dbservice {

class CDbService {
 public:
  // As many waiting clients as a Windows pipe can have instances.
  static constexpr int kBacklog = 255;
  // How long a connection may stay silent before it is given up.
  static constexpr int kDefaultIdleTimeoutMs = 10000;
  // More than any request of the client; a longer one is not read further.
  static constexpr size_t kMaxRequestBytes = size_t{16} << 20;
  // The exit code of a service ended by a "crash" fault.
  static constexpr int kCrashExitCode = 3;

  // `listener` listens on the service's pipe; `stop` is signalled when the
  // service is to stop.
  CDbService(platform::PipeListener* listener, CDbStore* store, std::vector<FaultRule> faults,
             platform::WaitHandle stop, int idle_timeout_ms)
      : m_pListener(listener),
        m_pStore(store),
        m_faults(std::move(faults)),
        m_stop(stop),
        m_nIdleTimeoutMs(idle_timeout_ms) {}

  // Serves until `stop` is signalled, then serves the connections already
  // waiting and returns true. False, with *error, when waiting for clients
  // fails.
  bool Run(std::string* error);

 private:
  void Serve(platform::PipeStream* stream);
  // The connection's bytes up to end-of-file. *ended says why reading stopped
  // early (silence, a failed read, kMaxRequestBytes).
  std::string ReadRequest(platform::PipeStream* stream, std::string* ended, bool* too_long);
  const FaultRule* FindFault(const Request& request) const;
  // Connects `client` to `pipe` and writes `bytes` as `fault` says, leaving
  // the connection open; returns what happened, for the journal. *injected
  // grows by the waits the fault asked for.
  std::string SendReply(const std::u16string& pipe, const std::string& bytes,
                        const FaultRule* fault, CPipeClient* client,
                        std::chrono::microseconds* injected);
  // Waits `ms` milliseconds, less when a stop arrives; returns the time waited.
  std::chrono::microseconds Pause(int ms);

  platform::PipeListener* m_pListener;
  CDbStore* m_pStore;
  std::vector<FaultRule> m_faults;
  platform::WaitHandle m_stop;
  int m_nIdleTimeoutMs;
};

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_DB_SERVICE_H_

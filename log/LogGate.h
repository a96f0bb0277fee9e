// The back-off of the debug log. Whether debug logging is on is decided by
// whether the log service runs; when it does not, lines are dropped and the
// client tries again only now and then, so that an absent service costs
// almost nothing: after a failed send ten lines are dropped without any
// system call, and the next one is tried only if more than five seconds have
// passed since the failure.
#ifndef PORTELLE_LOG_LOGGATE_H_
#define PORTELLE_LOG_LOGGATE_H_

#include <cstdint>

class CLogGate {
 public:
  using TickSource = uint32_t (*)();  // milliseconds since some start, wrapping

  static constexpr int32_t kSkippedLines = 10;
  static constexpr uint32_t kRetryAfterMs = 5000;

  explicit CLogGate(TickSource ticks) : m_pfnTicks(ticks) {}

  // Whether the next line may be sent.
  bool Allow() {
    if (m_bReachable) return true;
    if (m_nSkipCount++ < kSkippedLines) return false;
    m_nSkipCount = 0;
    if (static_cast<uint32_t>(m_pfnTicks() - m_dwLastFailureTick) <= kRetryAfterMs) return false;
    m_bReachable = true;
    return true;
  }

  // Records the outcome of a send.
  void OnSent(bool succeeded) {
    m_bReachable = succeeded;
    if (!succeeded) m_dwLastFailureTick = m_pfnTicks();
  }

  void SetTickSource(TickSource ticks) { m_pfnTicks = ticks; }
  bool reachable() const { return m_bReachable; }
  int32_t skip_count() const { return m_nSkipCount; }

 private:
  bool m_bReachable = true;
  int32_t m_nSkipCount = 0;
  uint32_t m_dwLastFailureTick = 0;
  TickSource m_pfnTicks;
};

#endif  // PORTELLE_LOG_LOGGATE_H_

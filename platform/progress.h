// Progress of long work: the export and import engines report how many
// domains they have done to an observer, which a console line or the dialog
// shows. The engines work the same with or without one.
#ifndef PORTELLE_PLATFORM_PROGRESS_H_
#define PORTELLE_PLATFORM_PROGRESS_H_

namespace platform {

class ProgressObserver {
 public:
  // The total of a walk that learns how many domains there are only as it
  // goes.
  static constexpr int kUnknownTotal = -1;

  virtual ~ProgressObserver() = default;

  // `done` domains are finished of `total` (kUnknownTotal when not known).
  // Called on the engine's thread, first with 0 done as the domains start,
  // then once for each domain finished.
  virtual void OnDomainsDone(int done, int total) = 0;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_PROGRESS_H_

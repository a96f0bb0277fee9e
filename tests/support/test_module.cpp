// A minimal loadable library for tests of run-time loading: one exported
// entry point.
extern "C" __attribute__((visibility("default"))) int PortelleTestModuleAnswer(int x) {
  return x + 42;
}

// A minimal loadable library for tests of run-time loading: one exported
// entry point.
#ifdef _WIN32
#define PORTELLE_TEST_MODULE_EXPORT __declspec(dllexport)
#else
#define PORTELLE_TEST_MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" PORTELLE_TEST_MODULE_EXPORT int PortelleTestModuleAnswer(int x) { return x + 42; }

// Windows form of platform/registry.h: being written.

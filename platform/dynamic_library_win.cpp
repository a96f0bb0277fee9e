// Windows form of platform/dynamic_library.h: being written.

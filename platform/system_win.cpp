// Windows form of platform/system.h: being written.

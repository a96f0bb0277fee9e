// Windows form of platform/process.h: being written.

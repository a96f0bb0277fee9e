// Windows form of platform/file_system.h: being written.

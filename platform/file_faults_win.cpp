// Windows form of platform/file_faults.h: being written.

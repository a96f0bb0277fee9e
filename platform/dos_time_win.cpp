// Windows form of platform/dos_time.h: being written.

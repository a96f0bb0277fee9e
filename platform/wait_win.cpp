// Windows form of platform/wait.h: being written.

// Windows form of platform/named_pipe.h: being written.

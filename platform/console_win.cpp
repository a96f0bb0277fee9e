// Windows form of platform/console.h: being written.

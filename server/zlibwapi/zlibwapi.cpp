// Intentionally without code: see CMakeLists.txt. The program resolves
// zipOpen, unzOpen and the rest through this module's dependency on
// libminizip, so that it finds minizip beside itself under the name it
// expects, as on Windows.

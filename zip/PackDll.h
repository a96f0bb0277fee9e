// The call contract of the server's own zip library, libPackDll, as CZipAU
// calls it. The library is loaded at run time (see ZipLibrary.h); these
// declarations give the entry points' types and are what a replacement
// library implements. Results are 0 for success, otherwise a minizip error
// code (ZIP_ERRNO, ZIP_PARAMERROR, ...).
//
// On server core the same library also serves CUnzip, so it must make
// minizip's nine reading functions (unzOpen ... unzCloseCurrentFile)
// available by name with minizip's signatures.
#ifndef PORTELLE_ZIP_PACKDLL_H_
#define PORTELLE_ZIP_PACKDLL_H_

extern "C" {

// Opens the archive `name` for writing and stores its handle in *handle.
// With `append` 0 a new archive replaces the file; otherwise members are
// added to the archive the file holds. With `create` non-zero a missing file
// is created, otherwise it is an error.
int Zip_Open(void** handle, const char* name, int append, int create);

// Writes the archive's directory and closes it; the handle is gone after.
int Zip_Close(void* handle);

// Adds the file `base_folder` + `relative_name` (a backslash between them
// unless the folder ends in a separator) as the member `relative_name`,
// unchanged, with the file's last-write time as its DOS date and time.
// `flags` is reserved and must be 0.
int Zip_Append(void* handle, const char* base_folder, const char* relative_name, int flags);

// The compression level (0 stores, 1-9 deflate) of the members added after.
int Zip_SetLevel(void* handle, int level);

}  // extern "C"

#endif  // PORTELLE_ZIP_PACKDLL_H_

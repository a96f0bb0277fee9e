// The private-profile INI functions, with the Windows signatures and rules.
// On Windows these are the system's own; elsewhere our implementation.
//
// Files are named as the system names them: a full path or a name relative to
// the current folder, with backslashes or slashes and any letter case.
// Section and key names are trimmed and compare ignoring case. Results are
// counts of UTF-16 units in the caller's buffer of `size` units.
//
// Lists (key names, section names, a whole section) are strings each ended by
// a NUL, the list ended by one more NUL; the count excludes that last NUL.
// A list of L units (each string's NUL included) fits when size >= L + 2;
// otherwise its first size - 2 units are copied, followed by two NULs, and
// the count is size - 2: that count is the only sign of a cut list. With
// size 2 the buffer gets two NULs, with size 1 one, with size 0 nothing.
#ifndef PORTELLE_PLATFORM_PROFILE_H_
#define PORTELLE_PLATFORM_PROFILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

// Reads the value of `key` in `section`, with one pair of outer quotes
// ("..." or '...') removed. When the file, section or key is missing, or the
// key's line has no '=', the default is used (null: empty) without its
// trailing blanks. At most size - 1 units are copied and a NUL added; the
// count is the number of units copied; size 0 leaves the buffer untouched.
// A null key reads the list of the section's key names (empty when the
// section is missing); a null section reads the list of section names (a
// missing file then gives only buffer[0] = NUL, count 0).
uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                  const char16_t* default_value, char16_t* buffer, uint32_t size,
                                  const char16_t* file);

// Reads `key` as a decimal integer: optional blanks and sign, then digits up
// to the first other character, modulo 2^32 (-1 gives 4294967295); a value
// without digits gives 0. A missing file, section or key, a line without '='
// or an empty value gives `default_value`'s bit pattern.
uint32_t GetPrivateProfileIntW(const char16_t* section, const char16_t* key, int32_t default_value,
                               const char16_t* file);

// Reads the list of the section's lines: entries as key=value with key and
// value trimmed (quotes kept), other lines trimmed, comments and blank lines
// left out. A missing or empty section gives an empty list.
uint32_t GetPrivateProfileSectionW(const char16_t* section, char16_t* buffer, uint32_t size,
                                   const char16_t* file);

// Writes `value` as given into `key` of `section`, creating the file and the
// section when missing; the rest of the file stays byte for byte. A null
// value deletes the key, a null key the whole section; a delete that finds
// nothing succeeds and creates no file. All three null is a flush request: it
// changes nothing and returns false. Fails (false, reason in GetLastError())
// for a null section, an empty file name, a missing or read-only folder, a
// file that exists but cannot be read, and names or values that would not
// read back (line breaks; keys holding '=' or starting with ';', or that
// would make a header).
bool WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const char16_t* file);

// Replaces the lines of `section` by the entries of `data` (NUL-ended
// key=value strings, ended by one more NUL), keeping the header; appends the
// section, or creates the file, when missing. Entries without '=' are
// skipped; the others are written with key and value trimmed of leading
// blanks. Null data deletes the section. Fails like the function above.
bool WritePrivateProfileSectionW(const char16_t* section, const char16_t* data,
                                 const char16_t* file);

// While one lives, the reads above see each file (named by an absolute path)
// as it was when first read during its lifetime, with no further look at the
// disk; this process's own writes are still seen. For an operation that reads
// many keys in a row. Process-wide; batches may nest.
class ProfileReadBatch {
 public:
  ProfileReadBatch();
  ~ProfileReadBatch();
  ProfileReadBatch(const ProfileReadBatch&) = delete;
  ProfileReadBatch& operator=(const ProfileReadBatch&) = delete;
};

// While one lives, the writes above to `file` - named exactly as here - edit
// the parsed file in memory only: this process's reads see every edit, other
// processes the file as it was. Commit(), or else the destructor, then
// replaces the file once, atomically, with exactly what the writes one by
// one would have left. An operation that writes many keys into one file thus
// pays for one rewrite instead of one per key. A missing file's folder is
// checked by each write; any other failure of writing the file shows only in
// Commit(). Batches of one file nest, and only the outermost one writes.
class ProfileWriteBatch {
 public:
  explicit ProfileWriteBatch(std::u16string_view file);
  ~ProfileWriteBatch();
  ProfileWriteBatch(const ProfileWriteBatch&) = delete;
  ProfileWriteBatch& operator=(const ProfileWriteBatch&) = delete;

  // Ends the batch: writes the file when the batch changed it and this is
  // the outermost batch. Returns the write's error; once ended, success.
  Status Commit();

 private:
  std::u16string file_;
  bool open_ = true;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_PROFILE_H_

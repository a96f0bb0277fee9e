// A fresh folder for one test, removed with everything in it afterwards.
#ifndef PORTELLE_TESTS_SUPPORT_TEMP_FOLDER_H_
#define PORTELLE_TESTS_SUPPORT_TEMP_FOLDER_H_

#include <string>
#include <string_view>

namespace testing_support {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path with a trailing '/', narrow (system code page) and
  // wide. On Windows it is a drive path with '/' separators, which every
  // Windows file call takes.
  const std::string& path() const { return path_; }
  std::u16string wpath() const;
  // path() + relative name; backslashes in `relative` become '/'.
  std::string Native(std::string_view relative) const;
  std::u16string Wide(std::string_view relative) const;

  // Writes bytes to a file below the folder, creating the folders on the way.
  void Write(std::string_view relative, std::string_view bytes) const;
  // The bytes of a file below the folder; empty when it does not exist.
  std::string Read(std::string_view relative) const;
  bool Exists(std::string_view relative) const;
  void MakeFolder(std::string_view relative) const;

 private:
  std::string path_;
};

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_TEMP_FOLDER_H_

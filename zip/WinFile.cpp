#include "zip/WinFile.h"

#include <string_view>

#include "platform/status.h"
#include "platform/text.h"
#include "zip/ZipException.h"

namespace {

void ThrowIfFailed(const platform::Status& status) {
  if (!status.ok()) throw CWinFileException(status.code());
}

// Wildcard match of a whole name, both already case-folded.
bool Matches(std::u16string_view pattern, std::u16string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern.front() == u'*') {
    for (size_t skip = 0; skip <= name.size(); ++skip) {
      if (Matches(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  if (name.empty() || (pattern.front() != u'?' && pattern.front() != name.front())) return false;
  return Matches(pattern.substr(1), name.substr(1));
}

}  // namespace

void CWinFile::Open(const char* name, platform::File::Mode mode) {
  if (name == nullptr) throw CWinFileException(platform::kErrorInvalidParameter);
  ThrowIfFailed(m_file.Open(platform::FromSystemCodePage(name), mode));
}

size_t CWinFile::Read(void* buffer, size_t size) {
  RequireOpen();
  size_t read = 0;
  ThrowIfFailed(m_file.Read(buffer, size, &read));
  return read;
}

void CWinFile::Write(const void* data, size_t size) {
  RequireOpen();
  ThrowIfFailed(m_file.Write(data, size));
}

void CWinFile::Flush() {
  RequireOpen();
  ThrowIfFailed(m_file.Flush());
}

void CWinFile::SetTimes(int64_t accessed, int64_t modified) {
  RequireOpen();
  ThrowIfFailed(m_file.SetTimes(accessed, modified));
}

void CWinFile::Close() { ThrowIfFailed(m_file.Close()); }

void CWinFile::RequireOpen() const {
  if (!m_file.is_open()) throw CWinFileException(-1);
}

bool CWinFileFind::FindFirst(const char* pattern) {
  Close();
  if (pattern == nullptr) throw CWinFileException(platform::kErrorInvalidParameter);
  const std::u16string wide = platform::FromSystemCodePage(pattern);
  const size_t separator = wide.find_last_of(u"\\/");
  const std::u16string folder =
      separator == std::u16string::npos ? u"." : wide.substr(0, separator + 1);
  const std::u16string wildcard =
      platform::FoldCaseCopy(separator == std::u16string::npos ? wide : wide.substr(separator + 1));
  std::vector<platform::FolderEntry> entries;
  ThrowIfFailed(platform::ListFolder(folder, &entries));
  for (const platform::FolderEntry& entry : entries) {
    if (wildcard == u"*.*" || Matches(wildcard, platform::FoldCaseCopy(entry.name))) {
      m_entries.push_back({platform::ToSystemCodePage(entry.name), entry.is_folder});
    }
  }
  m_bOpen = true;
  m_nCurrent = 0;
  return !m_entries.empty();
}

bool CWinFileFind::FindNext() {
  if (!m_bOpen) throw CWinFileException(platform::kErrorInvalidHandle);
  if (m_nCurrent + 1 >= m_entries.size()) {
    m_nCurrent = m_entries.size();
    return false;
  }
  ++m_nCurrent;
  return true;
}

const std::string& CWinFileFind::GetFileName() const { return Current().name; }

bool CWinFileFind::IsDirectory() const { return Current().is_folder; }

bool CWinFileFind::IsSubfolder() const {
  const Entry& entry = Current();
  return entry.is_folder && !entry.name.starts_with('.');
}

void CWinFileFind::Close() {
  m_entries.clear();
  m_nCurrent = 0;
  m_bOpen = false;
}

const CWinFileFind::Entry& CWinFileFind::Current() const {
  if (!m_bOpen || m_nCurrent >= m_entries.size()) {
    throw CWinFileException(platform::kErrorInvalidHandle);
  }
  return m_entries[m_nCurrent];
}

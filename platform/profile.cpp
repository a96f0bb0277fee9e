#include "platform/profile.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_document.h"
#include "platform/profile_cache.h"
#include "platform/status.h"
#include "platform/text.h"

namespace platform {
namespace {

std::u16string_view View(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text, StringLength(text));
}

std::u16string_view TrimTrailing(std::u16string_view text) {
  while (!text.empty() && IsIniBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One pair of matching outer quotes goes; anything else stays as it is.
std::u16string_view StripQuotes(std::u16string_view value) {
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == u'"' || value.front() == u'\'')) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

uint32_t CopyString(std::u16string_view text, char16_t* buffer, uint32_t size) {
  if (size == 0) return 0;
  const size_t copied = std::min<size_t>(text.size(), size - 1);
  std::copy_n(text.data(), copied, buffer);
  buffer[copied] = u'\0';
  return static_cast<uint32_t>(copied);
}

// `list` holds each string with its NUL; the final NUL is added here.
uint32_t CopyList(std::u16string_view list, char16_t* buffer, uint32_t size) {
  if (size == 0) return 0;
  if (size == 1) {
    buffer[0] = u'\0';
    return 0;
  }
  if (list.size() + 2 <= size) {
    std::copy_n(list.data(), list.size(), buffer);
    buffer[list.size()] = u'\0';
    if (list.empty()) buffer[1] = u'\0';
    return static_cast<uint32_t>(list.size());
  }
  std::copy_n(list.data(), size - 2, buffer);
  buffer[size - 2] = u'\0';
  buffer[size - 1] = u'\0';
  return size - 2;
}

uint32_t ParseInt(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsIniBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - u'0');
  }
  return negative ? 0u - value : value;
}

bool ReportWrite(const Status& status) {
  if (!status.ok()) SetLastError(status.code());
  return status.ok();
}

}  // namespace

uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                  const char16_t* default_value, char16_t* buffer, uint32_t size,
                                  const char16_t* file) {
  if (buffer == nullptr) size = 0;
  return ProfileCache::Process().WithDocument(View(file), [&](const IniDocument* document) {
    if (section == nullptr) {
      if (document != nullptr) return CopyList(document->SectionNames(), buffer, size);
      if (size > 0) buffer[0] = u'\0';
      return 0u;
    }
    if (key == nullptr) {
      return CopyList(document != nullptr ? document->KeyNames(View(section)) : u"", buffer, size);
    }
    std::u16string_view value;
    if (document != nullptr && document->FindValue(View(section), View(key), &value)) {
      return CopyString(StripQuotes(value), buffer, size);
    }
    return CopyString(TrimTrailing(View(default_value)), buffer, size);
  });
}

uint32_t GetPrivateProfileIntW(const char16_t* section, const char16_t* key, int32_t default_value,
                               const char16_t* file) {
  const uint32_t fallback = static_cast<uint32_t>(default_value);
  if (section == nullptr || key == nullptr) return fallback;
  return ProfileCache::Process().WithDocument(View(file), [&](const IniDocument* document) {
    std::u16string_view value;
    if (document == nullptr || !document->FindValue(View(section), View(key), &value)) {
      return fallback;
    }
    value = StripQuotes(value);
    return value.empty() ? fallback : ParseInt(value);
  });
}

uint32_t GetPrivateProfileSectionW(const char16_t* section, char16_t* buffer, uint32_t size,
                                   const char16_t* file) {
  if (buffer == nullptr) size = 0;
  return ProfileCache::Process().WithDocument(View(file), [&](const IniDocument* document) {
    if (document == nullptr || section == nullptr) return CopyList(u"", buffer, size);
    return CopyList(document->SectionLines(View(section)), buffer, size);
  });
}

bool WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const char16_t* file) {
  // Windows writes its cached files out on this request; ours are written
  // at once, so there is nothing to do.
  if (section == nullptr && key == nullptr && value == nullptr) return false;
  if (section == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return ReportWrite(ProfileCache::Process().Update(View(file), [&](IniDocument* document) {
    if (key == nullptr) return document->DeleteSection(View(section));
    if (value == nullptr) return document->DeleteKey(View(section), View(key));
    return document->SetValue(View(section), View(key), View(value));
  }));
}

bool WritePrivateProfileSectionW(const char16_t* section, const char16_t* data,
                                 const char16_t* file) {
  if (section == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  std::vector<std::u16string_view> entries;
  for (const char16_t* entry = data; entry != nullptr && *entry != u'\0';) {
    entries.push_back(View(entry));
    entry += entries.back().size() + 1;
  }
  return ReportWrite(ProfileCache::Process().Update(View(file), [&](IniDocument* document) {
    if (data == nullptr) return document->DeleteSection(View(section));
    return document->ReplaceSection(View(section), entries);
  }));
}

ProfileReadBatch::ProfileReadBatch() { ProfileCache::Process().BeginReadBatch(); }

ProfileReadBatch::~ProfileReadBatch() { ProfileCache::Process().EndReadBatch(); }

ProfileWriteBatch::ProfileWriteBatch(std::u16string_view file) : file_(file) {
  ProfileCache::Process().BeginWriteBatch(file_);
}

ProfileWriteBatch::~ProfileWriteBatch() { Commit(); }

Status ProfileWriteBatch::Commit() {
  if (!open_) return Status();
  open_ = false;
  return ProfileCache::Process().EndWriteBatch(file_);
}

}  // namespace platform

#include "migrate/testing/MigraterTestSupport.h"

#include <algorithm>

#include "platform/text.h"

namespace migrate_testing {

bool FakeDatabase::GetStatus(const std::u16string& domain_uid, int32_t* status_out) {
  asked.push_back(domain_uid);
  *status_out = status_ok ? status : 0x7FFF0400;
  return status_ok;
}

bool FakeDatabase::GetSpywareWhiteList(const std::u16string& domain_uid,
                                       std::vector<int32_t>* entries, int32_t* count) {
  asked.push_back(domain_uid);
  last_list_maximum = *count;
  if (!list_ok) {
    *count = 99999;
    return false;
  }
  if (reported_count) {
    *entries = list;
    *count = *reported_count;
    return true;
  }
  entries->assign(list.begin(), list.begin() + std::min<size_t>(list.size(), *count));
  *count = static_cast<int32_t>(entries->size());
  return true;
}

bool FakeDatabase::GetDestScanType(const std::u16string& domain_uid, uint32_t* type) {
  asked.push_back(domain_uid);
  *type = dest_ok ? dest_scan_type : 77;
  return dest_ok;
}

bool FakeDatabase::GetServiceSwitch(const std::u16string& domain_uid, uint32_t* first,
                                    int32_t* second, int32_t* third) {
  asked.push_back(domain_uid);
  *first = switch_ok ? switch_first : 77;
  *second = switch_second;
  *third = switch_third;
  return switch_ok;
}

std::string ToBytes(std::u16string_view text) { return platform::TextToUtf16Le(text); }

std::u16string FromBytes(const std::string& bytes) {
  EXPECT_EQ(bytes.size() % 2, 0u);
  return platform::Utf16LeToText(bytes);
}

std::u16string Join(const Tokens& tokens) {
  std::u16string text;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i != 0) text += u'\t';
    text += tokens[i];
  }
  return text;
}

Tokens Split(std::u16string_view text) {
  Tokens tokens;
  if (text.empty()) return tokens;
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find(u'\t', start);
    tokens.emplace_back(text.substr(start, tab - start));
    if (tab == std::u16string_view::npos) break;
    start = tab + 1;
  }
  return tokens;
}

Tokens Numbered(std::u16string_view prefix, int first, int last) {
  Tokens tokens;
  for (int i = first; i <= last; ++i) {
    std::u16string token(prefix);
    for (const char c : std::to_string(i)) token += static_cast<char16_t>(c);
    tokens.push_back(token);
  }
  return tokens;
}

Tokens TailOffFrom18() {
  Tokens tail = {u"0", u"0", u"", u"", u"0", u"0", u"", u""};
  tail.insert(tail.end(), 8, u"0");
  tail.insert(tail.end(), 14, u"");
  return tail;
}

MigraterTest::MigraterTest() : pipes_("BASTIONEL_PIPE_DIR", dir_.path() + "pipes") {}

std::u16string MigraterTest::MigrateText(CDataMigrater& migrater, std::u16string_view source) {
  std::string result = "stale";
  EXPECT_TRUE(migrater.MigrateDBData(ToBytes(source), &result, kDomainUid));
  const std::u16string text = FromBytes(result);
  EXPECT_EQ(text.find(u'\0'), std::u16string::npos) << "the result carries a NUL";
  return text;
}

Tokens MigraterTest::Migrate(CDataMigrater& migrater, const Tokens& source) {
  return Split(MigrateText(migrater, Join(source)));
}

}  // namespace migrate_testing

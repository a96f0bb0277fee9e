#include "dbclient/SettingContainer.h"

#include <string>

#include "dbclient/CmdProtocol.h"
#include "dbclient/DecimalText.h"

CSettingContainer::~CSettingContainer() = default;

bool CSettingContainerSpywareWhiteList::Serialize(CSerializer& serializer) const {
  serializer << m_listWhiteList;
  return true;
}

bool CSettingContainerSpywareWhiteList::Deserialize(CSerializer& serializer) {
  serializer >> m_listWhiteList;
  return true;
}

void CSettingContainerSpywareWhiteList::ReadFromText(std::u16string_view text, int32_t& count) {
  CCmdProtocol reply(text);
  reply.SetDelimiter(u"\t");
  m_listWhiteList.clear();
  std::u16string token;
  while (static_cast<int64_t>(m_listWhiteList.size()) < count) {
    reply.NextToken(token);
    if (token.empty()) break;
    m_listWhiteList.push_back(dbclient::DecimalToInt32(token));
  }
  count = static_cast<int32_t>(m_listWhiteList.size());
}

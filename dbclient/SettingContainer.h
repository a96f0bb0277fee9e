// Setting containers: lists of settings that travel as serializable records.
#ifndef PORTELLE_DBCLIENT_SETTINGCONTAINER_H_
#define PORTELLE_DBCLIENT_SETTINGCONTAINER_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "dbclient/Serializer.h"

class CSettingContainer : public ISerializable {
 public:
  ~CSettingContainer() override;
};

// A domain's spyware white list: signed 32-bit entries, serialized as a list
// of 32-bit items.
class CSettingContainerSpywareWhiteList : public CSettingContainer {
 public:
  bool Serialize(CSerializer& serializer) const override;
  bool Deserialize(CSerializer& serializer) override;

  // Replaces the list by the entries of reply text: TAB-separated decimal
  // numbers, taken in order while the token is not empty and fewer than
  // `count` entries (the caller's maximum) have been added. An empty token
  // ends the list. `count` returns the number of entries.
  void ReadFromText(std::u16string_view text, int32_t& count);

  std::vector<int32_t>& GetList() { return m_listWhiteList; }
  const std::vector<int32_t>& GetList() const { return m_listWhiteList; }

 private:
  std::vector<int32_t> m_listWhiteList;
};

#endif  // PORTELLE_DBCLIENT_SETTINGCONTAINER_H_

#include "server/dbservice/domain.h"

namespace dbservice {

std::string SpywareText(const std::vector<int32_t>& list) {
  std::string text;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) text += '\t';
    text += std::to_string(list[i]);
  }
  return text;
}

}  // namespace dbservice

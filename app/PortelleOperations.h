// The dialog's operations carried out by the export and import engines.
#ifndef PORTELLE_APP_PORTELLEOPERATIONS_H_
#define PORTELLE_APP_PORTELLEOPERATIONS_H_

#include "app/PortelleDlg.h"

class CPortelleOperations : public IPortelleOperations {
 public:
  bool Export(double server_version, const std::u16string& install_path, int32_t service_pack,
              int32_t patch, const std::u16string& archive) override;
  bool Import(const std::u16string& install_path, const std::u16string& archive) override;
};

#endif  // PORTELLE_APP_PORTELLEOPERATIONS_H_

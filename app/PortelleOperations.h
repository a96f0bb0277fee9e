// The dialog's operations carried out by the export and import engines.
#ifndef PORTELLE_APP_PORTELLEOPERATIONS_H_
#define PORTELLE_APP_PORTELLEOPERATIONS_H_

#include "app/PortelleDlg.h"
#include "platform/progress.h"

class CExportSkvaSettings;
class CImportSkvaSettings;

// What the user is told after an export or import, read off the engine.
OperationOutcome ExportOutcome(const CExportSkvaSettings& exporter, bool exported);
OperationOutcome ImportOutcome(const CImportSkvaSettings& importer, bool imported);

class CPortelleOperations : public IPortelleOperations {
 public:
  // Where the engines report their progress (none by default); it must
  // outlive every operation started while it is set.
  void SetProgressObserver(platform::ProgressObserver* observer) { progress_ = observer; }

  OperationOutcome Export(double server_version, const std::u16string& install_path,
                          int32_t service_pack, int32_t patch,
                          const std::u16string& archive) override;
  OperationOutcome Import(const std::u16string& install_path,
                          const std::u16string& archive) override;

 private:
  platform::ProgressObserver* progress_ = nullptr;
};

#endif  // PORTELLE_APP_PORTELLEOPERATIONS_H_

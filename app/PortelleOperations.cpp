#include "app/PortelleOperations.h"

#include "export/PortelleExport.h"
#include "import/PortelleImport.h"

bool CPortelleOperations::Export(double server_version, const std::u16string& install_path,
                                 int32_t service_pack, int32_t patch,
                                 const std::u16string& archive) {
  CExportSkvaSettings exporter(server_version, install_path, service_pack, patch);
  return exporter.ExportConfigToFile(archive);
}

bool CPortelleOperations::Import(const std::u16string& install_path,
                                 const std::u16string& archive) {
  CImportSkvaSettings importer(install_path);
  return importer.ImportSettingsFromFile(archive);
}

#include "module.h"

#include "sunexportfilter.h"
#include "sunimportfilter.h"

VEMRA_EXPORT qxio::IoImportFilter* ImportSUN(qxio::IoManager& manager) {
  return new vemra::SunImportFilter(manager);
}

VEMRA_EXPORT qxio::IoExportFilter* ExportSUN(qxio::IoManager& manager) {
  return new vemra::SunExportFilter(manager);
}

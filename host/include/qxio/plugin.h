// What a host looks up in a filter plug-in: factories that create filters for a manager.
#pragma once

#include "qxio/filter.h"

namespace qxio {

using ImportFilterFactory = IoImportFilter* (*)(IoManager& manager);
using ExportFilterFactory = IoExportFilter* (*)(IoManager& manager);

}  // namespace qxio

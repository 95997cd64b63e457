// The two filter descriptors: static, complete data from the moment the module is loaded.
#pragma once

#include "qxio/filterdescriptor.h"

namespace vemra {

extern const qxio::FilterDescriptor kImportDescriptor;
extern const qxio::FilterDescriptor kExportDescriptor;

}  // namespace vemra

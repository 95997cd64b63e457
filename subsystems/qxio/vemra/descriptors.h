// The two filter descriptors: static, complete data from the moment the module is loaded.
#pragma once

#include "qxio/filterdescriptor.h"

namespace vemra {

// The module's short name, as in the descriptors and in logged exceptions.
constexpr const wchar_t* kModuleName = L"vemra";

extern const qxio::FilterDescriptor kImportDescriptor;
extern const qxio::FilterDescriptor kExportDescriptor;

}  // namespace vemra

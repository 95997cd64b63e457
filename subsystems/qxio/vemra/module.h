// The plug-in's exports: two factories, by plain (unmangled) name.
#pragma once

#include "qxio/filter.h"

#if defined(_WIN32)
#define VEMRA_EXPORT extern "C" __declspec(dllexport)
#else
#define VEMRA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Each call returns a new filter that the host owns and deletes through its virtual
// destructor. Failures (allocation, construction) pass to the host as exceptions.
VEMRA_EXPORT qxio::IoImportFilter* ImportSUN(qxio::IoManager& manager);
VEMRA_EXPORT qxio::IoExportFilter* ExportSUN(qxio::IoManager& manager);

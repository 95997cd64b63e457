#include "descriptors.h"

namespace vemra {

// Constant-initialised: no code runs to fill them in.
constexpr qxio::FilterDescriptor kImportDescriptor = {"$QXIO_FILT$", 100, u"vemra",
                                                      qxio::FilterKindImport};
constexpr qxio::FilterDescriptor kExportDescriptor = {"$QXIO_FILT$", 100, u"vemra",
                                                      qxio::FilterKindExport};

}  // namespace vemra

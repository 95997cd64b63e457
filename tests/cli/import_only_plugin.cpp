// A library that a host might take for a Sun raster plug-in: an import factory that makes no
// filter, and no export factory. tests/data/cli/cases.txt has what qxhost says of it.
namespace qxio {
class IoImportFilter;
class IoManager;
}  // namespace qxio

extern "C" __attribute__((visibility("default"))) qxio::IoImportFilter* ImportSUN(
    qxio::IoManager& /*manager*/) {
  return nullptr;
}

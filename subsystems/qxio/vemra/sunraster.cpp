#include "sunraster.h"

#include <limits>

namespace vemra {

RasterSize ComputeRasterSize(std::int64_t width, std::int64_t height, std::int64_t depth) {
  constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();
  RasterSize size;
  // Bounding each factor first keeps every product below 2^62.
  if (width < 1 || height < 0 || depth < 1) return size;
  if (width > kInt32Max || height > kInt32Max || depth > kInt32Max) return size;
  if (width * depth > kInt32Max) return size;
  const std::int64_t rowBytes = bytesPerRow(width, depth);
  const std::int64_t imageBytes = rowBytes * height;
  if (imageBytes > kUint32Max) return size;
  size.valid = true;
  size.bytesPerRow = static_cast<std::int32_t>(rowBytes);
  size.imageBytes = static_cast<std::uint32_t>(imageBytes);
  return size;
}

}  // namespace vemra

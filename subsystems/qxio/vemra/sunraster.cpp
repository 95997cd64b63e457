#include "sunraster.h"

#include <initializer_list>
#include <limits>

namespace vemra {

namespace {

constexpr std::uint32_t SunRasterHeader::*kFieldsInFileOrder[] = {
    &SunRasterHeader::magic,   &SunRasterHeader::width,    &SunRasterHeader::height,
    &SunRasterHeader::depth,   &SunRasterHeader::length,   &SunRasterHeader::type,
    &SunRasterHeader::maptype, &SunRasterHeader::maplength};

}  // namespace

void EncodeHeader(const SunRasterHeader& header, std::uint8_t* bytes) {
  for (const auto field : kFieldsInFileOrder) {
    const std::uint32_t value = header.*field;
    *bytes++ = static_cast<std::uint8_t>(value >> 24);
    *bytes++ = static_cast<std::uint8_t>(value >> 16);
    *bytes++ = static_cast<std::uint8_t>(value >> 8);
    *bytes++ = static_cast<std::uint8_t>(value);
  }
}

SunRasterHeader DecodeHeader(const std::uint8_t* bytes, ByteOrder order) {
  SunRasterHeader header;
  for (const auto field : kFieldsInFileOrder) {
    header.*field = LoadWord(bytes, order);
    bytes += 4;
  }
  return header;
}

bool MagicByteOrder(const std::uint8_t* bytes, ByteOrder& order) {
  for (const ByteOrder candidate : {ByteOrder::BigEndian, ByteOrder::LittleEndian}) {
    if (LoadWord(bytes, candidate) == kSunRasterMagic) {
      order = candidate;
      return true;
    }
  }
  return false;
}

void FillGreyRamp(RGBQUAD* palette, int count) {
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 255 / (count - 1));
    palette[i] = RGBQUAD{level, level, level, 0};
  }
}

RasterSize ComputeRasterSize(std::int64_t width, std::int64_t height, std::int64_t depth) {
  constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();
  RasterSize size;
  // Bounding each factor first keeps every product below 2^62.
  if (width < 1 || height < 0 || depth < 1) return size;
  if (width > kInt32Max || height > kInt32Max || depth > kInt32Max) return size;
  if (width * depth > kInt32Max) return size;
  const std::int64_t rowBytes = BytesPerRow(width, depth);
  const std::int64_t imageBytes = rowBytes * height;
  if (imageBytes > kUint32Max) return size;
  size.valid = true;
  size.bytesPerRow = static_cast<std::int32_t>(rowBytes);
  size.imageBytes = static_cast<std::uint32_t>(imageBytes);
  return size;
}

}  // namespace vemra

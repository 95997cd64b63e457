// What the fuzz targets share: a per-process scratch folder, a way to turn input bytes into a
// file the host's buffered file can open, and a check that aborts with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "qxio/manager.h"
#include "qxio/transport.h"

namespace vemra::fuzz {

// A big-endian 32-bit word.
inline std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// A folder of this process's own (in /dev/shm where it exists), removed at exit.
const std::filesystem::path& ScratchDir();

// The path as the host's wide string.
std::wstring Wide(const std::filesystem::path& path);

// Writes data to name in the scratch folder, replacing what it held, and returns the path.
std::filesystem::path PutFile(const std::string& name, const std::uint8_t* data, std::size_t size);

// Aborts with the message when a property that must hold for every input does not: the
// fuzzer then keeps the input as a crash.
void Require(bool condition, const char* what);

// A host's manager that keeps the last imported image and counts images and warnings.
struct KeepingManager : qxio::IoManager {
  std::unique_ptr<qxio::TrImage> m_image;
  int m_images = 0, m_warnings = 0;
  void OnObjectImported(qxio::TrBase& object) override {
    Require(object.GetTypeId() == qxio::TrImage::GetClassTypeId(), "only images are imported");
    m_image = std::make_unique<qxio::TrImage>(std::move(static_cast<qxio::TrImage&>(object)));
    ++m_images;
  }
  int OnWarning(utl::IError::WarnStyle, const std::wstring&) override {
    ++m_warnings;
    return 0;
  }
};

// Takes bytes off the front of the input. Past its end the bytes come from a generator seeded
// by the input, so that the fuzzer's preference for short inputs does not make every pixel 0.
class ByteStream {
public:
  ByteStream(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {
    for (std::size_t i = 0; i < size; ++i) m_state = m_state * 31 + data[i];
  }
  std::uint8_t Byte() {
    if (m_pos < m_size) return m_data[m_pos++];
    m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint8_t>(m_state >> 56);
  }

private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
  std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

}  // namespace vemra::fuzz

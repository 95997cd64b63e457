// RGBQUAD: the Windows 4-byte colour-table entry (blue, green, red, reserved).
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Not <windows.h>: its many macros would rename names in every file that includes this one. The
// project builds with both definitions; a host that includes this header may not.
#include <windef.h>
#include <wingdi.h>
#else
#include <cstdint>
struct RGBQUAD {
  std::uint8_t rgbBlue;
  std::uint8_t rgbGreen;
  std::uint8_t rgbRed;
  std::uint8_t rgbReserved;
};
#endif

static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD is four bytes");

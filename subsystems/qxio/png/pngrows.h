// The work on every byte of a decoded PNG: undoing the row filters, and putting colour samples
// in the host's order. Each kind of processor that the code has a version for is named, so
// that the versions can be compared with one another on one machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pngio {

// Portable C++ everywhere; SSE2 on every x86-64 processor; AVX2 (with SSSE3) where present.
enum class Isa { Portable, Sse2, Avx2 };

// The fastest version this processor runs.
Isa BestIsa();
// Whether this processor runs isa's version.
bool Runs(Isa isa);

// Undoes filter type (0 to 4) of row, bytes bytes after its filter byte (a multiple of bpp, not
// 0), given prior, the row above already unfiltered (zeros above the first row); bpp: the bytes of
// a whole pixel, 1 for pixels of fewer than 8 bits.
void Unfilter(Isa isa, int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t bytes,
              unsigned bpp);

// Copies pixels pixels of channels (3 or 4) bytes from in to out, which do not overlap, with
// the first and third byte of each swapped: R,G,B(,A) becomes B,G,R(,A).
void SwapRedBlue(Isa isa, const std::uint8_t* in, std::uint8_t* out, std::size_t pixels,
                 unsigned channels);

}  // namespace pngio

// The PNG backend over the Windows Imaging Component, which every Windows has: no DLL to ship.
//
// Rows come from the decoder in its native pixel format, which follows the file's (grey,
// indices with the palette and tRNS alpha, B,G,R(,A) at 8 bits, R,G,B(,A) at 16), and reach
// the host format through the same mapping as libpng's rows; only a format outside that list
// goes through the component's converter. Rows are copied in bands, so progress moves.
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <exception>
#include <new>
#include <vector>

#include "pngformat.h"
#include "utl/text.h"

namespace pngio {

namespace {

using Microsoft::WRL::ComPtr;

constexpr std::size_t kBandBytes = std::size_t{1} << 20;  // rows per copy: about a megabyte

struct NativeFormat {
  const GUID* guid;
  RowForm form;
};
const NativeFormat kNativeFormats[] = {
    {&GUID_WICPixelFormatBlackWhite, {Samples::Grey, 1}},
    {&GUID_WICPixelFormat2bppGray, {Samples::Grey, 2}},
    {&GUID_WICPixelFormat4bppGray, {Samples::Grey, 4}},
    {&GUID_WICPixelFormat8bppGray, {Samples::Grey, 8}},
    {&GUID_WICPixelFormat16bppGray, {Samples::Grey, 16}},
    {&GUID_WICPixelFormat1bppIndexed, {Samples::Index, 1}},
    {&GUID_WICPixelFormat2bppIndexed, {Samples::Index, 2}},
    {&GUID_WICPixelFormat4bppIndexed, {Samples::Index, 4}},
    {&GUID_WICPixelFormat8bppIndexed, {Samples::Index, 8}},
    {&GUID_WICPixelFormat24bppBGR, {Samples::Bgr, 8}},
    {&GUID_WICPixelFormat32bppBGRA, {Samples::Bgra, 8}},
    {&GUID_WICPixelFormat48bppRGB, {Samples::Rgb16, 16}},
    {&GUID_WICPixelFormat64bppRGBA, {Samples::Rgba16, 16}},
};

const NativeFormat* ByGuid(const GUID& guid) {
  for (const NativeFormat& f : kNativeFormats) {
    if (IsEqualGUID(*f.guid, guid)) return &f;
  }
  return nullptr;
}

const GUID* GuidOf(RowForm form) {
  for (const NativeFormat& f : kNativeFormats) {
    if (f.form.samples == form.samples && f.form.bits == form.bits) return f.guid;
  }
  return nullptr;
}

// Words for a failure: the component's own codes, which the system may have no text for,
// then the system's words, then the code.
std::string Reason(HRESULT hr) {
  switch (hr) {
    case WINCODEC_ERR_UNKNOWNIMAGEFORMAT: return "the data is damaged or cut short";
    case WINCODEC_ERR_BADHEADER: return "the header is damaged";
    case WINCODEC_ERR_BADIMAGE: return "the image data is damaged";
    case WINCODEC_ERR_COMPONENTNOTFOUND: return "this system has no PNG codec";
    default: break;
  }
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words(text ? text : L"", length);
  LocalFree(text);
  while (!words.empty() && (std::iswspace(words.back()) || words.back() == L'.')) words.pop_back();
  char code[32];
  std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(hr));
  return words.empty() ? code : utl::ToUtf8(words);
}

void Check(HRESULT hr, const char* what) {
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(hr)) throw PngError(std::string(what) + ": " + Reason(hr));
}

// COM for the calls of one read or write.
class ComScope {
public:
  ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

private:
  HRESULT m_hr;
};

ComPtr<IWICImagingFactory> Factory() {
  ComPtr<IWICImagingFactory> factory;
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_PPV_ARGS(&factory)),
        "the Windows Imaging Component is not available");
  return factory;
}

// The encoder's output: a stream that only writes, forward, into the host's file, keeping the
// file's own error for the caller. It lives on the caller's stack, longer than the encoder.
class FileStream final : public IStream {
public:
  explicit FileStream(utl::CBufferedFile& file) : m_file(file) {}

  void RethrowFileError() const {
    if (m_error) std::rethrow_exception(m_error);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_ISequentialStream) &&
        !IsEqualIID(iid, IID_IStream)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IStream*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
    if (written) *written = 0;
    try {
      m_file.Write(data, size);
    } catch (...) {
      m_error = std::current_exception();
      return STG_E_WRITEFAULT;
    }
    m_position += size;
    if (written) *written = size;
    return S_OK;
  }
  // Telling where it stands is all a forward-only stream can do.
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override {
    if (move.QuadPart != 0 &&
        !(origin == STREAM_SEEK_SET && move.QuadPart == LONGLONG(m_position))) {
      return STG_E_INVALIDFUNCTION;
    }
    if (at) at->QuadPart = m_position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = m_position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
  utl::CBufferedFile& m_file;
  ULONGLONG m_position = 0;
  std::exception_ptr m_error;
};

// The decoder's palette, with its alpha: for grey images with tRNS it is the decoder's own.
void ReadPalette(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame, Kind& kind) {
  ComPtr<IWICPalette> palette;
  WICColor colors[256];
  UINT count = 0;
  Check(factory.CreatePalette(&palette), "cannot read this PNG file");
  Check(frame.CopyPalette(palette.Get()), "cannot read this PNG file's palette");
  Check(palette->GetColors(256, colors, &count), "cannot read this PNG file's palette");
  kind.paletteSize = std::min<UINT>(count, 256);
  for (unsigned i = 0; i < kind.paletteSize; ++i) {
    const WICColor c = colors[i];
    kind.palette[i] = RGBQUAD{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), 0};
    kind.alpha[i] = BYTE(c >> 24);
  }
}

// Rows per band of rowBytes-byte rows.
UINT BandRows(std::size_t rowBytes, std::uint32_t height) {
  return static_cast<UINT>(
      std::clamp<std::size_t>(kBandBytes / std::max<std::size_t>(rowBytes, 1), 1, height));
}

}  // namespace

qxio::TrImage Decode(const std::wstring& path, qxio::CProgress& progress, std::string* notice) {
  Kind kind;
  {
    // The host's file first: its errors name the file and give the system's reason.
    utl::CBufferedFile file;
    file.Open(path, "rb", utl::ShareRead, false);
    kind = ReadKind(file);
    CheckClaimedSize(kind, file.GetLength());
  }
  *notice = PrecisionNotice(kind);
  const char* const kCannotRead = "cannot read this PNG file";
  ComScope com;
  const ComPtr<IWICImagingFactory> factory = Factory();
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  Check(factory->CreateStream(&stream), kCannotRead);
  Check(stream->InitializeFromFilename(path.c_str(), GENERIC_READ), kCannotRead);
  Check(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, &decoder), kCannotRead);
  Check(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), kCannotRead);
  Check(decoder->GetFrame(0, &frame), kCannotRead);

  WICPixelFormatGUID guid;
  Check(frame->GetPixelFormat(&guid), kCannotRead);
  const NativeFormat* native = ByGuid(guid);
  if (native && native->form.samples == Samples::Index) {
    ReadPalette(*factory.Get(), *frame.Get(), kind);
  }
  utl::ColorFormat format = HostFormat(kind);
  RowForm form = native ? native->form : RowForm{Samples::Bgr, 8};
  ComPtr<IWICBitmapSource> source = frame;
  if (!native || !RowMapper(form, format, kind.width, kind).Supported()) {
    // A format this mapping does not know: the component's converter gives B,G,R(,A).
    format = format == utl::BGRA32 ? utl::BGRA32 : utl::BGR24;
    form = format == utl::BGRA32 ? RowForm{Samples::Bgra, 8} : RowForm{Samples::Bgr, 8};
    ComPtr<IWICBitmapSource> converted;
    Check(WICConvertBitmapSource(*GuidOf(form), frame.Get(), &converted), kCannotRead);
    source = converted;
  }
  const RowMapper mapper(form, format, kind.width, kind);
  qxio::TrImage image = NewImage(kind, format, progress);

  const std::size_t rowBytes = RowBytes(form, kind.width);
  if (rowBytes > 0x7FFFFFFF) throw PngError("the PNG's rows are too long to read");
  const UINT band = BandRows(rowBytes, kind.height);
  const unsigned padBits = unsigned(rowBytes * 8 - std::size_t{kind.width} * form.bits) % 8;
  std::vector<std::uint8_t> scratch(mapper.Direct() ? 0 : rowBytes * band);
  for (std::uint32_t y = 0; y < kind.height; y += band) {
    const UINT rows = std::min<UINT>(band, kind.height - y);
    const WICRect rect{0, INT(y), INT(kind.width), INT(rows)};
    std::uint8_t* target = mapper.Direct() ? image.MutableRow(int(y)) : scratch.data();
    Check(source->CopyPixels(&rect, UINT(rowBytes), UINT(rowBytes * rows), target), kCannotRead);
    // The component leaves the bits past a row's last pixel as they happen to be; libpng gives
    // them as the file has them, zero, and so do these rows.
    for (UINT r = 0; r < rows && padBits > 0; ++r) {
      target[(r + 1) * rowBytes - 1] &= 0xFF << padBits;
    }
    for (UINT r = 0; r < rows && !mapper.Direct(); ++r) {
      mapper.Map(scratch.data() + r * rowBytes, image.MutableRow(int(y + r)));
    }
    progress.Proportion(double(y + rows) / kind.height);
  }
  image.SetScanlineEnd(nullptr, 0);
  return image;
}

// 16-bit grey in this component's memory order is not written alike everywhere (wine writes
// it byte-swapped), so it goes out at 8 bits.
const bool kEncodesSixteenBits = false;

void Encode(const WritePlan& plan, const qxio::TrImage& image, utl::CBufferedFile& file,
            qxio::CProgress& progress) {
  const char* const kCannotWrite = "cannot write the PNG file";
  const UINT width = UINT(image.GetWidth());
  const UINT height = UINT(image.GetHeight());
  const std::size_t rowBytes = RowBytes(plan.form, width);
  if (rowBytes > 0x7FFFFFFF) throw PngError("the image's rows are too long for PNG here");
  ComScope com;
  const ComPtr<IWICImagingFactory> factory = Factory();
  FileStream stream(file);
  // A failure of the file is reported as the file's own error.
  const auto check = [&](HRESULT hr) {
    if (FAILED(hr)) stream.RethrowFileError();
    Check(hr, kCannotWrite);
  };
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder));
  check(encoder->Initialize(&stream, WICBitmapEncoderNoCache));
  check(encoder->CreateNewFrame(&frame, &options));
  check(frame->Initialize(options.Get()));
  check(frame->SetSize(width, height));
  const GUID* wanted = GuidOf(plan.form);
  WICPixelFormatGUID format = *wanted;
  check(frame->SetPixelFormat(&format));
  if (!IsEqualGUID(format, *wanted)) {
    throw PngError("cannot write the PNG file: the system's PNG encoder does not take its pixels");
  }
  if (plan.paletteSize > 0) {
    WICColor colors[256];
    for (int i = 0; i < plan.paletteSize; ++i) {
      const RGBQUAD& c = plan.palette[i];
      colors[i] = 0xFF000000u | WICColor(c.rgbRed) << 16 | WICColor(c.rgbGreen) << 8 | c.rgbBlue;
    }
    ComPtr<IWICPalette> palette;
    check(factory->CreatePalette(&palette));
    check(palette->InitializeCustom(colors, UINT(plan.paletteSize)));
    check(frame->SetPalette(palette.Get()));
  }
  const UINT band = BandRows(rowBytes, height);
  std::vector<std::uint8_t> scratch(plan.Direct() ? 0 : rowBytes * band);
  for (UINT y = 0; y < height; y += band) {
    const UINT rows = std::min(band, height - y);
    const std::uint8_t* pixels = image.Row(int(y));
    if (!plan.Direct()) {
      for (UINT r = 0; r < rows; ++r) plan.Row(int(y + r), scratch.data() + r * rowBytes);
      pixels = scratch.data();
    }
    const UINT bytes = UINT(rowBytes * rows);
    check(frame->WritePixels(rows, UINT(rowBytes), bytes, const_cast<BYTE*>(pixels)));
    progress.Proportion(double(y) / height);
  }
  check(frame->Commit());
  check(encoder->Commit());
  stream.RethrowFileError();
}

}  // namespace pngio

// The two dialog templates that vemra.dll carries, read back from the built DLL's resources.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "winsupport.h"

namespace vemra::wintest {
namespace {

struct Item {  // the dialog itself or one of its controls
  std::uint32_t style = 0, id = 0;  // id: controls only
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::uint16_t classOrdinal = 0;  // 0 when the class is named or absent (0x0080: button)
  std::wstring text;               // the caption of the dialog, the text of a control
};

auto Fields(const Item& item) {  // all but the style
  return std::make_tuple(item.id, item.x, item.y, item.cx, item.cy, item.classOrdinal, item.text);
}

struct Dialog {
  Item frame;
  std::uint16_t pointSize = 0;
  std::wstring font;
  std::vector<Item> controls;
};

// Reads DLGTEMPLATEEX data, all of it in 16-bit words; a read past the end gives 0 and fails.
class TemplateReader {
public:
  TemplateReader(const void* data, std::size_t bytes) : m_words(bytes / 2) {
    std::memcpy(m_words.data(), data, m_words.size() * 2);
  }
  bool ok() const { return m_pos <= m_words.size(); }
  std::uint16_t Get() { return m_pos < m_words.size() ? m_words[m_pos++] : (++m_pos, 0); }
  std::uint32_t Get32() { return Get() | std::uint32_t{Get()} << 16; }
  std::wstring String() {
    std::wstring text;
    for (auto c = Get(); c != 0; c = Get()) text += static_cast<wchar_t>(c);
    return text;
  }
  // A string or, after 0xFFFF, an ordinal (returned; 0 for a string).
  std::uint16_t NameOrOrdinal(std::wstring& name) {
    const std::uint16_t first = Get();
    if (first == 0xFFFF) return Get();
    if (first != 0) name = static_cast<wchar_t>(first) + String();
    return 0;
  }
  void Skip(std::size_t words) { m_pos += words; }
  void AlignDword() { m_pos += m_pos % 2; }
  void Geometry(Item& item) {
    for (std::int16_t* v : {&item.x, &item.y, &item.cx, &item.cy}) *v = std::int16_t(Get());
  }

private:
  std::vector<std::uint16_t> m_words;
  std::size_t m_pos = 0;
};

bool Parse(const void* data, std::size_t size, Dialog& dialog) {
  TemplateReader in(data, size);
  if (in.Get() != 1 || in.Get() != 0xFFFF) return false;
  in.Skip(4);  // help id, extended style
  dialog.frame.style = in.Get32();
  const std::uint16_t count = in.Get();
  in.Geometry(dialog.frame);
  std::wstring ignored;
  in.NameOrOrdinal(ignored);  // menu
  in.NameOrOrdinal(ignored);  // window class
  dialog.frame.text = in.String();
  if (dialog.frame.style & DS_SETFONT) {
    dialog.pointSize = in.Get();
    in.Skip(2);  // weight, italic, character set
    dialog.font = in.String();
  }
  for (int i = 0; i < count && in.ok(); ++i) {
    in.AlignDword();
    Item control;
    in.Skip(4);  // help id, extended style
    control.style = in.Get32();
    in.Geometry(control);
    control.id = in.Get32();
    control.classOrdinal = in.NameOrOrdinal(ignored);
    in.NameOrOrdinal(control.text);
    in.Skip((in.Get() + 1u) / 2);  // creation data
    dialog.controls.push_back(control);
  }
  return in.ok() && dialog.controls.size() == count;
}

Dialog Load(HMODULE module, int id) {
  Dialog dialog;
  const HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                                     MAKEINTRESOURCEW(id),
                                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  const HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  EXPECT_TRUE(data && Parse(data, SizeofResource(module, info), dialog))
      << "no well-formed US English extended template for dialog " << id;
  return dialog;
}

TEST(DialogResources, ImportAndExportOptions) {
  const HMODULE module = LoadLibraryExW(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << "cannot load vemra.dll";
  const std::unique_ptr<HINSTANCE__, decltype(&FreeLibrary)> unload(module, FreeLibrary);
  struct Expected {
    int id;
    const wchar_t* caption;
    std::int16_t cx, cy, buttonX, okY, cancelY, buttonCx;
  };
  for (const Expected& e : {Expected{100, L"Import Options", 229, 55, 176, 9, 31, 44},
                            Expected{101, L"Export Options", 190, 51, 138, 7, 29, 41}}) {
    SCOPED_TRACE(e.id);
    const Dialog dialog = Load(module, e.id);
    constexpr DWORD kStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(dialog.frame.style & kStyle, kStyle);
    EXPECT_EQ(Fields(dialog.frame), Fields(Item{0, 0, 0, 0, e.cx, e.cy, 0, e.caption}));
    EXPECT_EQ(dialog.font, L"MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 8);
    ASSERT_EQ(dialog.controls.size(), 2u);
    const Item buttons[] = {
        {BS_DEFPUSHBUTTON, IDOK, e.buttonX, e.okY, e.buttonCx, 16, 0x0080, L"OK"},
        {BS_PUSHBUTTON, IDCANCEL, e.buttonX, e.cancelY, e.buttonCx, 16, 0x0080, L"Cancel"}};
    for (std::size_t i = 0; i < 2; ++i) {
      const Item& control = dialog.controls[i];
      EXPECT_EQ(Fields(control), Fields(buttons[i]));
      EXPECT_EQ(control.style & 0x0Fu, buttons[i].style);  // the button's kind
      EXPECT_EQ(control.style & (WS_VISIBLE | WS_TABSTOP), DWORD{WS_VISIBLE | WS_TABSTOP});
    }
  }
}

}  // namespace
}  // namespace vemra::wintest

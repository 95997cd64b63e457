// The two dialog templates that vemra.dll carries, read back from the built DLL's resources.
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "winsupport.h"

namespace vemra::wintest {
namespace {

constexpr std::uint16_t kButtonClass = 0x0080;

struct Control {
  std::uint32_t style = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::uint32_t id = 0;
  std::uint16_t classOrdinal = 0;  // 0 when the class is named
  std::wstring className;
  std::wstring text;
};

struct Dialog {
  std::uint32_t style = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::wstring caption;
  std::uint16_t pointSize = 0;
  std::wstring font;
  std::vector<Control> controls;
};

// Reads DLGTEMPLATEEX data; every read is bounds-checked.
class TemplateReader {
public:
  TemplateReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  bool ok() const { return m_ok; }

  template <typename T>
  T Get() {
    T value{};
    if (m_pos + sizeof(T) > m_size) {
      m_ok = false;
      return value;
    }
    std::memcpy(&value, m_data + m_pos, sizeof(T));
    m_pos += sizeof(T);
    return value;
  }

  std::wstring String() {
    std::wstring text;
    for (wchar_t c = static_cast<wchar_t>(Get<std::uint16_t>()); m_ok && c != 0;
         c = static_cast<wchar_t>(Get<std::uint16_t>())) {
      text += c;
    }
    return text;
  }

  // A string or, after 0xFFFF, an ordinal.
  void NameOrOrdinal(std::uint16_t& ordinal, std::wstring& name) {
    const std::uint16_t first = Get<std::uint16_t>();
    ordinal = 0;
    name.clear();
    if (first == 0xFFFF) {
      ordinal = Get<std::uint16_t>();
    } else if (first != 0) {
      name = static_cast<wchar_t>(first) + String();
    }
  }

  void AlignDword() { m_pos = (m_pos + 3) & ~std::size_t{3}; }

private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
  bool m_ok = true;
};

bool Parse(const std::uint8_t* data, std::size_t size, Dialog& dialog) {
  TemplateReader in(data, size);
  std::uint16_t count = 0;
  std::uint16_t ordinal = 0;
  std::wstring name;
  if (in.Get<std::uint16_t>() != 1 || in.Get<std::uint16_t>() != 0xFFFF) return false;
  in.Get<std::uint32_t>();  // help id
  in.Get<std::uint32_t>();  // extended style
  dialog.style = in.Get<std::uint32_t>();
  count = in.Get<std::uint16_t>();
  dialog.x = in.Get<std::int16_t>();
  dialog.y = in.Get<std::int16_t>();
  dialog.cx = in.Get<std::int16_t>();
  dialog.cy = in.Get<std::int16_t>();
  in.NameOrOrdinal(ordinal, name);  // menu
  in.NameOrOrdinal(ordinal, name);  // window class
  dialog.caption = in.String();
  if (dialog.style & DS_SETFONT) {
    dialog.pointSize = in.Get<std::uint16_t>();
    in.Get<std::uint16_t>();  // weight
    in.Get<std::uint16_t>();  // italic, character set
    dialog.font = in.String();
  }
  for (std::uint16_t i = 0; i < count && in.ok(); ++i) {
    in.AlignDword();
    Control control;
    in.Get<std::uint32_t>();  // help id
    in.Get<std::uint32_t>();  // extended style
    control.style = in.Get<std::uint32_t>();
    control.x = in.Get<std::int16_t>();
    control.y = in.Get<std::int16_t>();
    control.cx = in.Get<std::int16_t>();
    control.cy = in.Get<std::int16_t>();
    control.id = in.Get<std::uint32_t>();
    in.NameOrOrdinal(control.classOrdinal, control.className);
    std::uint16_t textOrdinal = 0;
    in.NameOrOrdinal(textOrdinal, control.text);
    const std::uint16_t extra = in.Get<std::uint16_t>();
    for (std::uint16_t k = 0; k < extra; ++k) in.Get<std::uint8_t>();
    dialog.controls.push_back(control);
  }
  return in.ok() && dialog.controls.size() == count;
}

class DialogResources : public ::testing::Test {
protected:
  void SetUp() override {
    m_module = LoadLibraryExW(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m_module, nullptr) << "cannot load vemra.dll";
  }
  void TearDown() override {
    if (m_module) FreeLibrary(m_module);
  }

  Dialog Load(int id) {
    Dialog dialog;
    const HRSRC info =
        FindResourceExW(m_module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(id),
                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!info) {
      ADD_FAILURE() << "no US English dialog " << id;
      return dialog;
    }
    const HGLOBAL loaded = LoadResource(m_module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(m_module, info);
    EXPECT_TRUE(data && Parse(static_cast<const std::uint8_t*>(data), size, dialog))
        << "dialog " << id << " is not a well-formed extended template";
    return dialog;
  }

  HMODULE m_module = nullptr;
};

struct Expected {
  const wchar_t* caption;
  std::int16_t cx, cy;
  std::int16_t buttonX, okY, cancelY, buttonCx;
};

void CheckDialog(const Dialog& dialog, const Expected& e) {
  constexpr DWORD kStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  EXPECT_EQ(dialog.style & kStyle, kStyle);
  EXPECT_EQ(dialog.caption, e.caption);
  EXPECT_EQ(dialog.font, L"MS Shell Dlg");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.cx, e.cx);
  EXPECT_EQ(dialog.cy, e.cy);
  ASSERT_EQ(dialog.controls.size(), 2u);

  const Control& ok = dialog.controls[0];
  EXPECT_EQ(ok.id, static_cast<std::uint32_t>(IDOK));
  EXPECT_EQ(ok.text, L"OK");
  EXPECT_EQ(ok.classOrdinal, kButtonClass);
  EXPECT_EQ(ok.style & 0x0Fu, static_cast<std::uint32_t>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(ok.x, e.buttonX);
  EXPECT_EQ(ok.y, e.okY);
  EXPECT_EQ(ok.cx, e.buttonCx);
  EXPECT_EQ(ok.cy, 16);

  const Control& cancel = dialog.controls[1];
  EXPECT_EQ(cancel.id, static_cast<std::uint32_t>(IDCANCEL));
  EXPECT_EQ(cancel.text, L"Cancel");
  EXPECT_EQ(cancel.classOrdinal, kButtonClass);
  EXPECT_EQ(cancel.style & 0x0Fu, static_cast<std::uint32_t>(BS_PUSHBUTTON));
  EXPECT_EQ(cancel.x, e.buttonX);
  EXPECT_EQ(cancel.y, e.cancelY);
  EXPECT_EQ(cancel.cx, e.buttonCx);
  EXPECT_EQ(cancel.cy, 16);
  for (const Control& button : dialog.controls) {
    EXPECT_TRUE(button.style & WS_VISIBLE);
    EXPECT_TRUE(button.style & WS_TABSTOP);
  }
}

TEST_F(DialogResources, ImportOptions) {
  CheckDialog(Load(100), {L"Import Options", 229, 55, 176, 9, 31, 44});
}

TEST_F(DialogResources, ExportOptions) {
  CheckDialog(Load(101), {L"Export Options", 190, 51, 138, 7, 29, 41});
}

TEST_F(DialogResources, OnlyTheTwoDialogs) {
  std::vector<int> ids;
  EnumResourceNamesW(
      m_module, MAKEINTRESOURCEW(5),
      [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
        auto* out = reinterpret_cast<std::vector<int>*>(param);
        out->push_back(IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name))
                                            : -1);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&ids));
  EXPECT_EQ(ids, (std::vector<int>{100, 101}));
}

}  // namespace
}  // namespace vemra::wintest

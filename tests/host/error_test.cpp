#include "utl/error.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "hosttest.h"
#include "qxio/filter.h"
#include "recordingmanager.h"
#include "utl/text.h"

namespace {

using utl::CError;
using utl::ErrorKind;

// Each kind without details, then with a path and the raiser's words.
TEST(CError, EveryKindReadsAsASentence) {
  const std::wstring file = L"/tmp/b\u00E4r.ras";
  const std::pair<ErrorKind, std::vector<std::wstring>> cases[] = {
      {ErrorKind::EndBeforeBegin, {L"export"}},   {ErrorKind::Internal, {L"site.cpp:12"}},
      {ErrorKind::UnknownFormat, {L"'" + file + L"'"}}, {ErrorKind::UnexpectedEof, {file}},
      {ErrorKind::FileOpen, {file, L"Words"}},    {ErrorKind::FileRead, {file, L"Words"}},
      {ErrorKind::FileWrite, {file, L"Words"}},   {ErrorKind::NotImplemented, {file, L"Words"}},
      {ErrorKind::ImageTooLarge, {L"Words"}},     {ErrorKind::General, {L"Words"}},
  };
  for (const auto& [kind, contains] : cases) {
    const CError bare(kind, L"/src/site.cpp", 12);
    const std::string what = bare.what();
    EXPECT_EQ(what, utl::ToUtf8(bare.Sentence()));
    EXPECT_TRUE(what.size() > 10 && what.back() == '.') << static_cast<int>(kind) << ": " << what;
    const std::string full = CError(kind, L"/src/site.cpp", 12, file, L"Words\n").what();
    for (const std::wstring& part : contains) {
      EXPECT_NE(full.find(utl::ToUtf8(part)), std::string::npos) << full;
    }
    EXPECT_NE(full.back(), '\n');
  }
}

class TestFilter : public qxio::IoFilter {
public:
  using IoFilter::IoFilter;
  const qxio::FilterDescriptor* GetFilterDescriptor() const override { return nullptr; }
  bool SupportsType(const utl::CTypeInfo*) const override { return false; }
};

TEST(IoFilterErrors, RaiseTheKindAfterTellingTheManager) {
  const wchar_t* f = L"sunimportfilter.cpp";
  const std::wstring p = L"/data/in.ras";
  const struct {
    std::function<void(const TestFilter&)> raise;
    ErrorKind kind;
    std::wstring path;
    std::wstring message;
  } cases[] = {
      {[&](auto& x) { x.Throw_ERR_END_BEFORE_BEGIN(f, 11); }, ErrorKind::EndBeforeBegin, L"", L""},
      {[&](auto& x) { x.Throw_ERR_INTERNAL(f, 11); }, ErrorKind::Internal, L"", L""},
      {[&](auto& x) { x.Throw_ERR_UNKNOWN_FORMAT(f, 11, p); }, ErrorKind::UnknownFormat, p, L""},
      {[&](auto& x) { x.Throw_ERR_UNEXPECTED_EOF(f, 11, p); }, ErrorKind::UnexpectedEof, p, L""},
      {[&](auto& x) { x.Throw_ERR_FILE_READ(f, 11, p, L"bad sector"); }, ErrorKind::FileRead, p,
       L"bad sector"},
      {[&](auto& x) { x.Throw_ERR_FILE_WRITE(f, 11, p, L"disk full"); }, ErrorKind::FileWrite, p,
       L"disk full"},
      {[&](auto& x) { x.Throw_ERR_NOT_IMPLEMENTED(f, 11, L"SUN", L"Layers", p); },
       ErrorKind::NotImplemented, p, L"SUN: Layers are not supported."},
      {[&](auto& x) { x.ThrowError(f, 11, L"%s has %d rows", L"b\u00E4r", 3); },
       ErrorKind::General, L"", L"b\u00E4r has 3 rows"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    vemra::test::RecordingManager manager;
    const TestFilter filter(manager);
    const auto error = vemra::test::Raised([&] { c.raise(filter); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Kind(), c.kind);
    EXPECT_EQ(error->Path(), c.path);
    EXPECT_EQ(error->Message(), c.message);
    EXPECT_EQ(error->SourceFile(), f);
    EXPECT_EQ(error->Line(), 11);
    ASSERT_EQ(manager.m_errors.size(), 1u);
    EXPECT_EQ(manager.m_errors[0].sentence, error->Sentence());
  }
}

TEST(IoFilterErrors, WarningIsFormattedForTheManager) {
  vemra::test::RecordingManager manager;
  const TestFilter filter(manager);
  filter.Warning(utl::IError::WarnStyleDefault, L"%d of %d rows in %s", 3, 8, L"b\u00E4r.ras");
  ASSERT_EQ(manager.m_warnings.size(), 1u);
  EXPECT_EQ(manager.m_warnings[0].style, 0);
  EXPECT_EQ(manager.m_warnings[0].message, L"3 of 8 rows in b\u00E4r.ras");
  EXPECT_TRUE(manager.m_errors.empty());
}

}  // namespace

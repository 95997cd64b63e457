#include "utl/error.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "hosttest.h"
#include "qxio/filter.h"
#include "recordingmanager.h"
#include "utl/log.h"
#include "utl/text.h"

namespace {

using utl::ErrorKind;

class TestFilter : public qxio::IoFilter {
public:
  using IoFilter::IoFilter;
  const qxio::FilterDescriptor* GetFilterDescriptor() const override { return nullptr; }
  bool SupportsType(const utl::CTypeInfo*) const override { return false; }
};

// Each kind reads as a sentence bare, and names the path and the raiser's words when given
// them; each Throw_ERR_* operation tells the manager, then raises its kind with its details.
TEST(Errors, EveryKindIsASentenceAndEveryThrowReachesTheManager) {
  const std::wstring p = L"/tmp/b\u00E4r.ras";
  const wchar_t* f = L"sunimportfilter.cpp";
  const struct {
    ErrorKind kind;
    std::vector<std::wstring> shown;
    std::function<void(const TestFilter&)> raise;
    std::wstring path, message;
  } cases[] = {
      {ErrorKind::EndBeforeBegin, {L"export"},
       [&](auto& x) { x.Throw_ERR_END_BEFORE_BEGIN(f, 11); }, L"", L""},
      {ErrorKind::Internal, {L"site.cpp:11"},
       [&](auto& x) { x.Throw_ERR_INTERNAL(f, 11); }, L"", L""},
      {ErrorKind::UnknownFormat, {L"'" + p + L"'"},
       [&](auto& x) { x.Throw_ERR_UNKNOWN_FORMAT(f, 11, p); }, p, L""},
      {ErrorKind::UnexpectedEof, {p},
       [&](auto& x) { x.Throw_ERR_UNEXPECTED_EOF(f, 11, p); }, p, L""},
      {ErrorKind::FileOpen, {p, L"Words"}, {}, L"", L""},
      {ErrorKind::FileRead, {p, L"Words"},
       [&](auto& x) { x.Throw_ERR_FILE_READ(f, 11, p, L"bad sector"); }, p, L"bad sector"},
      {ErrorKind::FileWrite, {p, L"Words"},
       [&](auto& x) { x.Throw_ERR_FILE_WRITE(f, 11, p, L"disk full"); }, p, L"disk full"},
      {ErrorKind::NotImplemented, {p, L"Words"},
       [&](auto& x) { x.Throw_ERR_NOT_IMPLEMENTED(f, 11, L"SUN", L"Layers", p); }, p,
       L"SUN: Layers are not supported."},
      {ErrorKind::ImageTooLarge, {L"Words"}, {}, L"", L""},
      {ErrorKind::General, {L"Words"},
       [&](auto& x) { x.ThrowError(f, 11, L"%s has %d rows", L"b\u00E4r", 3); }, L"",
       L"b\u00E4r has 3 rows"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    const utl::CError bare(c.kind, L"/src/site.cpp", 11);
    const std::string what = bare.what();
    EXPECT_EQ(what, utl::ToUtf8(bare.Sentence()));
    EXPECT_TRUE(what.size() > 10 && what.back() == '.') << what;
    const std::string full = utl::CError(c.kind, L"/src/site.cpp", 11, p, L"Words\n").what();
    for (const std::wstring& part : c.shown) {
      EXPECT_NE(full.find(utl::ToUtf8(part)), std::string::npos) << full;
    }
    EXPECT_NE(full.back(), '\n');
    if (!c.raise) continue;
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

TEST(LogExceptionInfo, RecordsTheHandledExceptionAndTheSite) {
  const std::pair<std::function<void()>, std::wstring> cases[] = {
      {[] { throw utl::CError(ErrorKind::FileRead, L"x.cpp", 1, L"/d/in.ras", L"gone"); },
       L"Cannot read '/d/in.ras': gone"},
      {[] { throw std::runtime_error("b\xC3\xA4r broke"); }, L"b\u00E4r broke"},
      {[] { throw 42; }, L"unknown type"},
  };
  for (const auto& [raise, described] : cases) {
    testing::internal::CaptureStderr();
    try {
      raise();
    } catch (...) {
      utl::LogExceptionInfo(L"vemra", L"sunexportfilter.cpp", 77);
    }
    std::wstring line = utl::FromUtf8(testing::internal::GetCapturedStderr());
    ASSERT_EQ(line.find(L'\n'), line.size() - 1);
    line.pop_back();
    EXPECT_EQ(line.rfind(L"vemra", 0), 0u) << utl::ToUtf8(line);
    EXPECT_NE(line.find(L"sunexportfilter.cpp:77"), std::wstring::npos);
    EXPECT_NE(line.find(described), std::wstring::npos) << utl::ToUtf8(line);
  }
}

}  // namespace

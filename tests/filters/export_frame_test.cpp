// The frame of an export transfer: options, dispatch, progress, the file's fate, failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "descriptors.h"
#include "export_support.h"
#include "recordingmanager.h"
#include "sunexportfilter.h"
#include "testfiles.h"
#include "utl/bufferedfile.h"
#include "utl/error.h"
#include "utl/log.h"

namespace vemra {
namespace {

using test::Bytes;

const std::wstring kExtraImagesWarning =
    L"An attempt was made to export a document containing more than one image.  The Sun "
    L"Raster file format only supports one image (one bitmap) per file.  Ignoring additional "
    L"images.";

const Bytes kOldContent = {'o', 'l', 'd', 0, 1, 2, 3};

class OtherObject : public qxio::TrBase {
public:
  const utl::CTypeInfo* GetTypeId() const override {
    static const utl::CTypeInfo type("OtherObject");
    return &type;
  }
};

// Faults apply to files opened while they are set; cleared however the test ends.
class WriteFault {
public:
  explicit WriteFault(std::int64_t failWriteAfter) { utl::SetFileFaults({-1, failWriteAfter}); }
  ~WriteFault() { utl::SetFileFaults({}); }
};

// Catches the host's error that an operation raises; nullopt when it raises none.
struct Raised {
  utl::ErrorKind kind;
  std::wstring path;
  std::wstring message;
};
template <typename Operation>
std::optional<Raised> RaisedBy(Operation operation) {
  try {
    operation();
  } catch (const utl::IError& error) {
    return Raised{error.Kind(), error.Path(), error.Message()};
  }
  return std::nullopt;
}

class ExportFrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_filter = std::make_unique<SunExportFilter>(m_manager);
    m_target = m_dir.Wide("out.ras");
  }
  void PutOldTarget() { test::WriteFile(m_dir / "out.ras", kOldContent); }
  // The folder holds nothing (nullopt) or only the target, with these bytes unless empty.
  void ExpectFolderHolds(std::optional<Bytes> target) {
    if (!target) {
      EXPECT_TRUE(m_dir.List().empty());
      return;
    }
    EXPECT_EQ(m_dir.List(), std::vector<std::string>{"out.ras"});
    if (!target->empty()) {
      EXPECT_EQ(test::ReadFile(m_dir / "out.ras"), *target);
    }
  }

  test::RecordingManager m_manager;
  test::TempDir m_dir;
  std::wstring m_target;
  std::unique_ptr<SunExportFilter> m_filter;
};

TEST_F(ExportFrameTest, RegistersItsOptionsAndTypes) {
  const std::vector<std::wstring> names = {L"ExportImageFormatBGRA32", L"ExportImageFormatBGR24",
                                           L"ExportImageFormatIndexed8",
                                           L"ExportImageFormatIndexed1"};
  ASSERT_EQ(m_manager.m_options.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(m_manager.m_options[i].name, names[i]);
    EXPECT_TRUE(m_manager.m_options[i].enabled);
    EXPECT_TRUE(m_manager.m_options[i].visible);
  }
  EXPECT_EQ(m_filter->GetFilterDescriptor(), &kExportDescriptor);

  OtherObject other;
  EXPECT_TRUE(m_filter->SupportsType(qxio::TrImage::GetClassTypeId()));
  EXPECT_TRUE(m_filter->SupportsType(qxio::TrInitGraphicsExp::GetClassTypeId()));
  EXPECT_FALSE(m_filter->SupportsType(other.GetTypeId()));
  EXPECT_FALSE(m_filter->SupportsType(nullptr));
}

TEST_F(ExportFrameTest, EndBeforeBeginTouchesNothing) {
  PutOldTarget();
  const auto raised = RaisedBy([&] { m_filter->EndExport(); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(raised->kind, utl::ErrorKind::EndBeforeBegin);
  ASSERT_EQ(m_manager.m_errors.size(), 1u);
  EXPECT_TRUE(m_manager.m_progressStarts.empty());
  ExpectFolderHolds(kOldContent);
}

// One transfer with the objects named by letters: I a TrInitGraphicsExp, M an image, O an
// object of another type.
TEST_F(ExportFrameTest, TransferOutcomes) {
  const struct {
    const char* objects;
    std::vector<qxio::ExportStatus> statuses;
    qxio::ExportStatus end;
  } cases[] = {
      {"", {}, qxio::ExportNothingExported},
      {"I", {qxio::ExportDone}, qxio::ExportNothingExported},
      {"O", {qxio::ExportNotTaken}, qxio::ExportNothingExported},
      {"M", {qxio::ExportDone}, qxio::ExportDone},
      {"IMO", {qxio::ExportDone, qxio::ExportDone, qxio::ExportNotTaken}, qxio::ExportDone},
      {"MMM", {qxio::ExportDone, qxio::ExportNotTaken, qxio::ExportNotTaken}, qxio::ExportDone},
  };
  for (const auto& c : cases) {
    for (bool oldTarget : {false, true}) {
      SCOPED_TRACE(std::string("objects \"") + c.objects + "\"" +
                   (oldTarget ? ", old target" : ""));
      test::RecordingManager manager;
      auto filter = std::make_unique<SunExportFilter>(manager);
      if (oldTarget) PutOldTarget();
      ASSERT_EQ(filter->BeginExport(m_target), qxio::ExportDone);
      int images = 0;
      for (std::size_t i = 0; c.objects[i] != '\0'; ++i) {
        qxio::TrInitGraphicsExp init;
        init.m_filterParams[0] = init.m_filterParams[1] = 7;
        qxio::TrImage image = test::MakeImage(utl::BGR24, 3, 2 + images);
        OtherObject other;
        qxio::TrBase& object = c.objects[i] == 'I'   ? static_cast<qxio::TrBase&>(init)
                               : c.objects[i] == 'M' ? static_cast<qxio::TrBase&>(image)
                                                     : static_cast<qxio::TrBase&>(other);
        EXPECT_EQ(filter->ExportObject(object), c.statuses[i]) << "object " << i;
        if (c.objects[i] == 'I') {
          EXPECT_TRUE(init.m_filterFlag);
          EXPECT_EQ(init.m_filterParams[0], 0);
          EXPECT_EQ(init.m_filterParams[1], 0);
        }
        images += c.objects[i] == 'M';
      }
      EXPECT_EQ(filter->EndExport(), c.end);

      if (images > 0) {
        ExpectFolderHolds(Bytes());
        EXPECT_EQ(test::ReadWithOurReader(m_dir / "out.ras").height, 2);  // the first image
      } else {
        ExpectFolderHolds(oldTarget ? std::optional<Bytes>(kOldContent) : std::nullopt);
      }
      ASSERT_EQ(manager.m_warnings.size(), images > 1 ? 1u : 0u);
      if (images > 1) {
        EXPECT_EQ(manager.m_warnings[0].style, 0);
        EXPECT_EQ(manager.m_warnings[0].message, kExtraImagesWarning);
      }
      ASSERT_EQ(manager.m_progressStarts.size(), 1u);
      EXPECT_EQ(manager.m_progressStarts[0].title, L"");
      EXPECT_TRUE(manager.m_progressStarts[0].cancellable);
      EXPECT_TRUE(manager.m_progressStarts[0].showProportion);
      EXPECT_EQ(manager.m_messages,
                std::vector<std::wstring>{L"Exporting SUN data to file " + m_target});
      EXPECT_EQ(manager.OpenProgress(), 0);

      const auto again = RaisedBy([&] { filter->EndExport(); });
      EXPECT_TRUE(again && again->kind == utl::ErrorKind::EndBeforeBegin);
      filter.reset();
      std::filesystem::remove(m_dir / "out.ras");
    }
  }
}

TEST_F(ExportFrameTest, ExtraImageWarningOncePerFilter) {
  qxio::TrImage first = test::MakeImage(utl::Gray8, 4, 4);
  qxio::TrImage second = test::MakeImage(utl::BGR24, 5, 3);
  for (int transfer = 0; transfer < 2; ++transfer) {
    SCOPED_TRACE(transfer);
    m_filter->BeginExport(m_target);
    qxio::TrImage& written = transfer == 0 ? first : second;
    EXPECT_EQ(m_filter->ExportObject(written), qxio::ExportDone);
    EXPECT_EQ(m_filter->ExportObject(transfer == 0 ? second : first), qxio::ExportNotTaken);
    EXPECT_EQ(m_filter->EndExport(), qxio::ExportDone);
    const test::Picture picture = test::ReadWithOurReader(m_dir / "out.ras");
    EXPECT_EQ(picture.width, written.GetWidth());
    EXPECT_EQ(picture.height, written.GetHeight());
  }
  EXPECT_EQ(m_manager.m_warnings.size(), 1u);
}

// Destroying a filter mid-transfer leaves the folder as it was before the transfer.
TEST_F(ExportFrameTest, DestructionMidTransfer) {
  std::vector<std::wstring> logged;
  utl::SetLogSink([&logged](const std::wstring& line) { logged.push_back(line); });
  for (int stage = 0; stage < 3; ++stage) {
    for (bool oldTarget : {false, true}) {
      SCOPED_TRACE("stage " + std::to_string(stage) + (oldTarget ? ", old target" : ""));
      if (oldTarget) PutOldTarget();
      auto filter = std::make_unique<SunExportFilter>(m_manager);
      filter->BeginExport(m_target);
      qxio::TrImage image = test::MakeImage(utl::Gray8, 9, 7);
      if (stage >= 1) filter->ExportObject(image);
      if (stage >= 2) filter->ExportObject(image);
      EXPECT_EQ(m_dir.List().size(), oldTarget ? 2u : 1u);  // the temporary file
      filter.reset();
      ExpectFolderHolds(oldTarget ? std::optional<Bytes>(kOldContent) : std::nullopt);
      std::filesystem::remove(m_dir / "out.ras");
    }
  }
  EXPECT_EQ(m_manager.OpenProgress(), 0);
  utl::SetLogSink(nullptr);
  EXPECT_TRUE(logged.empty());
}

// A second BeginExport abandons the unfinished transfer; only the second target is written.
TEST_F(ExportFrameTest, BeginAgainAbandonsTheFirstTransfer) {
  PutOldTarget();
  qxio::TrImage image = test::MakeImage(utl::Gray1, 9, 3);
  m_filter->BeginExport(m_target);
  m_filter->ExportObject(image);
  const std::wstring second = m_dir.Wide("second.ras");
  m_filter->BeginExport(second);
  EXPECT_EQ(m_filter->ExportObject(image), qxio::ExportDone);
  EXPECT_EQ(m_filter->EndExport(), qxio::ExportDone);
  EXPECT_EQ(m_dir.List(), (std::vector<std::string>{"out.ras", "second.ras"}));
  EXPECT_EQ(test::ReadFile(m_dir / "out.ras"), kOldContent);
  EXPECT_EQ(test::ReadWithOurReader(m_dir / "second.ras").depth, 1);
  EXPECT_EQ(m_manager.OpenProgress(), 0);
}

TEST_F(ExportFrameTest, ProgressEvery32ndRowAndTheLast) {
  const struct {
    int height;
    std::vector<double> fractions;
  } cases[] = {
      {100, {0.0, 0.32, 0.64, 0.96, 0.99, 1.0}},
      {1, {0.0, 1.0}},
      {32, {0.0, 31.0 / 32, 1.0}},
      {33, {0.0, 32.0 / 33, 1.0}},
      {65, {0.0, 32.0 / 65, 64.0 / 65, 1.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.height);
    m_manager.Clear();
    qxio::TrImage image = test::MakeImage(utl::Indexed4, 3, c.height, 16);
    m_filter->BeginExport(m_target);
    m_filter->ExportObject(image);
    m_filter->EndExport();
    ASSERT_EQ(m_manager.m_proportions.size(), c.fractions.size());
    for (std::size_t i = 0; i < c.fractions.size(); ++i) {
      EXPECT_DOUBLE_EQ(m_manager.m_proportions[i], c.fractions[i]) << i;
    }
  }
}

// A write failure anywhere ends the image with the right error; the target keeps what it
// held, and no temporary file is left, whether the host then ends the transfer or destroys
// the filter.
TEST_F(ExportFrameTest, WriteFailures) {
  const std::wstring headerMessage =
      L"Failed formatting data for writing and/or failed writing data to file";
  const struct {
    const char* name;
    utl::ColorFormat format;
    int width, height;
    std::int64_t failAfter;
    std::wstring message;
  } cases[] = {
      {"header", utl::Gray8, 3, 2, 0, headerMessage},
      {"colour map", utl::Gray8, 3, 2, 32 + 100, headerMessage},
      {"first row", utl::Gray1, 9, 3, 32 + 6, L"File write failed"},
      {"third 24-bit row", utl::BGR24, 5, 4, 32 + 2 * 16 + 7, L"File write failed"},
      {"converted row", utl::BGR565, 5, 4, 32 + 16 + 1, L"File write failed"},
      {"expanded row", utl::Indexed4, 3, 40, 32 + 768 + 4 * 35, L"File write failed"},
      {"32-bit row", utl::BGRA32, 2, 2, 32 + 8 + 3, L"File write failed"},
  };
  for (const auto& c : cases) {
    for (bool endTransfer : {true, false}) {
      for (bool oldTarget : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (endTransfer ? ", ended" : ", destroyed") +
                     (oldTarget ? ", old target" : ""));
        if (oldTarget) PutOldTarget();
        test::RecordingManager manager;
        auto filter = std::make_unique<SunExportFilter>(manager);
        qxio::TrImage image = test::MakeImage(c.format, c.width, c.height, 16);
        {
          WriteFault fault(c.failAfter);
          filter->BeginExport(m_target);
        }
        const auto raised = RaisedBy([&] { filter->ExportObject(image); });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->kind, utl::ErrorKind::FileWrite);
        EXPECT_EQ(raised->path, m_target);
        EXPECT_EQ(raised->message, c.message);
        ASSERT_EQ(manager.m_errors.size(), 1u);
        EXPECT_TRUE(manager.m_proportions.empty() || manager.m_proportions.back() < 1.0);
        if (endTransfer) {
          EXPECT_EQ(filter->EndExport(), qxio::ExportNothingExported);  // the count stayed 0
        }
        filter.reset();
        ExpectFolderHolds(oldTarget ? std::optional<Bytes>(kOldContent) : std::nullopt);
        EXPECT_EQ(manager.OpenProgress(), 0);
        std::filesystem::remove(m_dir / "out.ras");
      }
    }
  }
}

// After an image fails part-way (here the host raises from its progress), the next image of
// the transfer replaces what the failed one left in the file.
TEST_F(ExportFrameTest, ImageAfterAFailedOne) {
  qxio::TrImage failing = test::MakeImage(utl::BGR24, 5, 4);
  qxio::TrImage next = test::MakeImage(utl::Gray8, 3, 2);
  m_manager.m_onProportion = [](double) {
    throw utl::CError(utl::ErrorKind::General, L"host", 1, L"", L"cancelled");
  };
  m_filter->BeginExport(m_target);
  EXPECT_TRUE(RaisedBy([&] { m_filter->ExportObject(failing); }));
  m_manager.m_onProportion = nullptr;
  EXPECT_EQ(m_filter->ExportObject(next), qxio::ExportDone);
  EXPECT_EQ(m_filter->EndExport(), qxio::ExportDone);
  const test::Picture picture = test::ReadWithOurReader(m_dir / "out.ras");
  EXPECT_EQ(picture.depth, 8);
  EXPECT_EQ(test::ReadFile(m_dir / "out.ras").size(), 32u + 768u + 2 * 4);
}

TEST_F(ExportFrameTest, UnopenableTarget) {
  for (const std::wstring& target : {m_dir.Wide("missing-folder/out.ras"), std::wstring()}) {
    const auto raised = RaisedBy([&] { m_filter->BeginExport(target); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->kind, utl::ErrorKind::FileOpen);
    EXPECT_EQ(raised->path, target);
    EXPECT_TRUE(m_manager.m_progressStarts.empty());
    const auto end = RaisedBy([&] { m_filter->EndExport(); });
    EXPECT_TRUE(end && end->kind == utl::ErrorKind::EndBeforeBegin);
    ExpectFolderHolds(std::nullopt);
  }
}

// The finished file cannot take the target's place (a folder stands there): the error names
// the target, and the folder and its neighbours are as they were.
TEST_F(ExportFrameTest, TargetCannotBeReplaced) {
  std::filesystem::create_directory(m_dir / "out.ras");
  test::WriteFile(m_dir / "out.ras" / "inside", kOldContent);
  qxio::TrImage image = test::MakeImage(utl::BGR24, 2, 2);
  m_filter->BeginExport(m_target);
  m_filter->ExportObject(image);
  const auto raised = RaisedBy([&] { m_filter->EndExport(); });
  ASSERT_TRUE(raised);
  EXPECT_EQ(raised->kind, utl::ErrorKind::FileWrite);
  EXPECT_EQ(raised->path, m_target);
  EXPECT_EQ(m_dir.List(), std::vector<std::string>{"out.ras"});
  EXPECT_EQ(test::ReadFile(m_dir / "out.ras" / "inside"), kOldContent);
  EXPECT_EQ(m_manager.OpenProgress(), 0);
  const auto again = RaisedBy([&] { m_filter->EndExport(); });
  EXPECT_TRUE(again && again->kind == utl::ErrorKind::EndBeforeBegin);
}

// A host whose progress raises while the transfer begins gets no half-begun export.
TEST_F(ExportFrameTest, ProgressFailureWhileBeginning) {
  for (int hook = 0; hook < 2; ++hook) {
    SCOPED_TRACE(hook == 0 ? "start" : "message");
    const auto fail = [] { throw utl::CError(utl::ErrorKind::General, L"host", 1); };
    m_manager.m_onProgressStart = hook == 0 ? std::function<void()>(fail) : nullptr;
    m_manager.m_onMessage = hook == 1 ? std::function<void()>(fail) : nullptr;
    EXPECT_TRUE(RaisedBy([&] { m_filter->BeginExport(m_target); }));
    ExpectFolderHolds(std::nullopt);
    const auto end = RaisedBy([&] { m_filter->EndExport(); });
    EXPECT_TRUE(end && end->kind == utl::ErrorKind::EndBeforeBegin);
  }
}

TEST_F(ExportFrameTest, ImageWithoutTransferIsRefused) {
  qxio::TrImage image = test::MakeImage(utl::BGR24, 2, 2);
  const auto raised = RaisedBy([&] { m_filter->ExportObject(image); });
  EXPECT_TRUE(raised && raised->kind == utl::ErrorKind::General);
  ExpectFolderHolds(std::nullopt);
}

}  // namespace
}  // namespace vemra

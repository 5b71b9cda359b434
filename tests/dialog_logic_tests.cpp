// The dialog's plain logic, inside one process: the spin edit's arithmetic,
// the file-name rule of Split, the start-up's exception guard, and the font
// as the platform really delivers it.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "dialog_font.h"
#include "exception_message.h"
#include "source_file_name.h"
#include "spin_value.h"

using namespace velmora;

namespace {

const SpinRange kRange{0, 2000000000};

TEST(SpinValue, ReadsDecimalTextWithinTheRange) {
  struct Case { const char* text; int32_t value; };
  const Case cases[] = {
      {"0", 0},           {"12345", 12345},      {" 42 ", 42},
      {"+7", 7},          {"-5", 0},             {"", 0},
      {"abc", 0},         {"12a", 0},            {"2000000000", 2000000000},
      {"2000000001", 2000000000}, {"99999999999999999999999", 2000000000},
      {"-", 0},           {"1 2", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(spin_value_of(c.text, kRange), c.value) << c.text;
}

TEST(SpinValue, CaretKeepsItsDistanceFromTheEnd) {
  EXPECT_EQ(caret_after_replace("9", 1, "10"), 2u);
  EXPECT_EQ(caret_after_replace("12345", 2, "13345"), 2u);
  EXPECT_EQ(caret_after_replace("10000", 0, "0"), 0u);
  EXPECT_EQ(caret_after_replace("12345", 1, "2345"), 0u);
}

TEST(SourceFileName, FirstCommandLineItemDropsQuotesAndTheRest) {
  EXPECT_EQ(first_command_line_item("  C:\\a.txt  more"), "C:\\a.txt");
  EXPECT_EQ(first_command_line_item("\"C:\\my files\\a.txt\" -x"), "C:\\my files\\a.txt");
  EXPECT_EQ(first_command_line_item("C:\\\"my files\"\\a.txt"), "C:\\my files\\a.txt");
  EXPECT_EQ(first_command_line_item("\"unterminated name"), "unterminated name");
  EXPECT_EQ(first_command_line_item("   "), "");
  EXPECT_EQ(first_command_line_item(""), "");
}

TEST(SourceFileName, TextFirstThenItsFirstItemThenNothing) {
  std::set<std::string> files = {"C:\\my files\\a.txt", "C:\\b.txt"};
  auto exists = [&](const std::string& name) { return files.count(name) > 0; };
  // The text itself, blanks and all, when it names a file.
  EXPECT_EQ(resolve_source_file("C:\\my files\\a.txt", exists), "C:\\my files\\a.txt");
  EXPECT_EQ(resolve_source_file("\"C:\\my files\\a.txt\"", exists), "C:\\my files\\a.txt");
  EXPECT_EQ(resolve_source_file("\"C:\\b.txt\" extra", exists), "C:\\b.txt");
  EXPECT_EQ(resolve_source_file("  \"C:\\b.txt\"", exists), "C:\\b.txt");
  // Only a quoted text falls back on its first item: an unquoted name that
  // does not exist never means a shorter one that does.
  EXPECT_EQ(resolve_source_file("C:\\b.txt extra", exists), "");
  EXPECT_EQ(resolve_source_file("C:\\c.txt", exists), "");
  EXPECT_EQ(resolve_source_file("", exists), "");
  EXPECT_EQ(resolve_source_file("\"\"", exists), "");
}

TEST(SourceFileName, ADirectoryIsNoFile) {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_FALSE(is_existing_file(windows));
  EXPECT_TRUE(is_existing_file(std::string(windows) + "\\win.ini"));
}

TEST(StartupGuard, AnEscapingExceptionIsReportedAndTheExitCodeIsZero) {
  std::string reported = "<none>";
  auto report = [&](const std::string& text) { reported = text; };
  EXPECT_EQ(run_guarded([] { throw UiError("Cannot create the main dialog"); }, report), 0);
  EXPECT_EQ(reported, "Cannot create the main dialog");
  EXPECT_EQ(run_guarded([] { throw std::runtime_error("boom"); }, report), 0);
  EXPECT_EQ(reported, "boom");
  EXPECT_EQ(run_guarded([] { throw 7; }, report), 0);
  EXPECT_EQ(reported, "Unknown exception.");
  reported = "<none>";
  EXPECT_EQ(run_guarded([] {}, report), 0);
  EXPECT_EQ(reported, "<none>");
}

TEST(StartupGuard, AReportThatThrowsStaysInside) {
  EXPECT_EQ(run_guarded([] { throw 1; }, [](const std::string&) { throw 2; }), 0);
}

// The font the dialog sets on its controls, selected into a device context:
// Tahoma really present, 11 pixels high, Cyrillic character set.
TEST(DialogFont, IsTahomaElevenPixelsCyrillic) {
  winsup::UniqueFont font = make_dialog_font();
  LOGFONTA asked{};
  ASSERT_EQ(GetObjectA(font.get(), sizeof asked, &asked), static_cast<int>(sizeof asked));
  EXPECT_EQ(asked.lfHeight, -11);
  EXPECT_EQ(asked.lfCharSet, RUSSIAN_CHARSET);
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  HGDIOBJ previous = SelectObject(dc, font.get());
  char face[LF_FACESIZE] = "";
  GetTextFaceA(dc, sizeof face, face);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, previous);
  DeleteDC(dc);
  EXPECT_STREQ(face, "Tahoma") << "the platform substituted another font";
  EXPECT_EQ(metrics.tmCharSet, RUSSIAN_CHARSET);
  EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 11);
}

}  // namespace

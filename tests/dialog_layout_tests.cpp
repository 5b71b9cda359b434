// The dialog as it appears: every control's place, size, caption and default
// against the form's table, the frame's styles and size, the tab order, the
// section spin edit's steps and limits, and the two browse pickers. Worked
// from outside on the real velmora.exe.
#include <gtest/gtest.h>

#include <string>

#include "dialog_ids.h"
#include "dialog_ui_support.h"
#include "test_support.h"

using ui_driver::Velmora;
using ui_driver::text_of;

namespace {

class DialogLayout : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(app.dialog(), nullptr) << "velmora.exe showed no dialog"; }

  // The control's rectangle in its parent's client coordinates.
  RECT place_of(HWND control) const {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  testing_support::ScratchDir scratch;
  Velmora app;
};

struct Expected {
  int id;
  bool on_panel;
  int left, top, width, height;
  const char* window_class;
  const char* text;
};

// The form's table, in pixels; the panel's children relative to the panel.
const Expected kControls[] = {
    {IDC_IMAGE1, false, -1, 0, 357, 62, "Static", ""},
    {IDC_PANEL1, false, 0, 62, 355, 219, nullptr, ""},
    {IDC_LABEL1, true, 265, 14, 41, 13, "Static", "File path"},
    {IDC_FILE_EDIT, true, 10, 14, 249, 21, "Edit", ""},
    {IDC_LABEL2, true, 265, 42, 78, 13, "Static", "Target directory"},
    {IDC_DIR_EDIT, true, 10, 42, 249, 21, "Edit", ""},
    {IDC_LABEL3, true, 170, 70, 89, 13, "Static", "Section size (byte)"},
    {IDC_SECTION_EDIT, true, 10, 70, 153, 22, "Edit", "0"},
    {IDC_CHECKBOX1, true, 10, 108, 89, 17, "Button", "Compress file"},
    {IDC_CHECKBOX2, true, 10, 128, 97, 17, "Button", "Idle priority"},
    {IDC_CHECKBOX3, true, 10, 150, 143, 17, "Button", "Autodetect section size"},
    {IDC_LABEL4, true, 10, 177, 231, 26, "Static",
     "To unpacking the DLLs vornex.dll and cabinet.dll \r\nmust be in the system present!"},
    {IDC_BUTTON1, false, 44, 291, 75, 25, "Button", "Split"},
    {IDC_BUTTON3, false, 140, 291, 75, 25, "Button", "Break"},
    {IDC_BUTTON2, false, 236, 291, 75, 25, "Button", "Close"},
};

TEST_F(DialogLayout, ControlsSitWhereTheTablePutsThemWithTheirCaptions) {
  HWND panel = GetDlgItem(app.dialog(), IDC_PANEL1);
  for (const Expected& want : kControls) {
    SCOPED_TRACE("control " + std::to_string(want.id));
    HWND control = GetDlgItem(want.on_panel ? panel : app.dialog(), want.id);
    ASSERT_NE(control, nullptr);
    RECT r = place_of(control);
    EXPECT_EQ(r.left, want.left);
    EXPECT_EQ(r.top, want.top);
    EXPECT_EQ(r.right - r.left, want.width);
    EXPECT_EQ(r.bottom - r.top, want.height);
    EXPECT_EQ(text_of(control), want.text);
    if (want.window_class) {
      char name[64] = "";
      GetClassNameA(control, name, sizeof name);
      EXPECT_STRCASEEQ(name, want.window_class);
    }
    EXPECT_TRUE(IsWindowVisible(control));
  }
}

// The progress bar and its line of text sit in the panel's free space below
// the notice, overlapping no control of the table, and are hidden while no
// split runs.
TEST_F(DialogLayout, ProgressSitsInTheFreeSpaceHiddenWhileIdle) {
  HWND panel = GetDlgItem(app.dialog(), IDC_PANEL1);
  for (int id : {IDC_PROGRESS, IDC_PROGRESS_TEXT}) {
    SCOPED_TRACE("control " + std::to_string(id));
    HWND control = GetDlgItem(panel, id);
    ASSERT_NE(control, nullptr);
    EXPECT_FALSE(IsWindowVisible(control));
    RECT r = place_of(control);
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.right, 355);
    EXPECT_LE(r.bottom, 219);
    for (const Expected& other : kControls) {
      if (!other.on_panel) continue;
      RECT o{other.left, other.top, other.left + other.width, other.top + other.height}, overlap;
      EXPECT_FALSE(IntersectRect(&overlap, &r, &o)) << "overlaps control " << other.id;
    }
  }
  RECT bar = place_of(GetDlgItem(panel, IDC_PROGRESS));
  EXPECT_EQ(bar.left, 10);
  EXPECT_EQ(bar.right - bar.left, 335);
}

TEST_F(DialogLayout, OptionsStartWithIdlePriorityOnly) {
  EXPECT_FALSE(app.checked(IDC_CHECKBOX1));
  EXPECT_TRUE(app.checked(IDC_CHECKBOX2));
  EXPECT_FALSE(app.checked(IDC_CHECKBOX3));
  for (int id : {IDC_CHECKBOX1, IDC_CHECKBOX2, IDC_CHECKBOX3}) {
    LONG style = GetWindowLongA(app.control(id), GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX);
  }
  EXPECT_TRUE(IsWindowEnabled(app.control(IDC_BUTTON1)));
  EXPECT_TRUE(IsWindowEnabled(app.control(IDC_BUTTON3)));
}

TEST_F(DialogLayout, FrameIsAFixedSingleBorderWithMinimizeOnly) {
  HWND dialog = app.dialog();
  char caption[64] = "", name[64] = "";
  GetWindowTextA(dialog, caption, sizeof caption);
  GetClassNameA(dialog, name, sizeof name);
  EXPECT_STREQ(caption, "File splitting dialog");
  EXPECT_STREQ(name, "#32770");
  LONG style = GetWindowLongA(dialog, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  RECT client;
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, 355);
  EXPECT_EQ(client.bottom, 325);
}

TEST_F(DialogLayout, OpensCentredOnTheScreen) {
  RECT frame;
  GetWindowRect(app.dialog(), &frame);
  int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR(frame.left + frame.right, screen_width, 1);
  EXPECT_NEAR(frame.top + frame.bottom, screen_height, 1);
}

TEST_F(DialogLayout, BrowseButtonsSitInsideTheEditsTwentyPixelsWide) {
  for (int id : {IDC_FILE_EDIT, IDC_DIR_EDIT}) {
    HWND edit = app.control(id);
    HWND button = GetDlgItem(edit, IDC_EDIT_BROWSE);
    ASSERT_NE(button, nullptr);
    RECT button_rect, client;
    GetWindowRect(button, &button_rect);
    GetClientRect(edit, &client);
    MapWindowPoints(nullptr, edit, reinterpret_cast<POINT*>(&button_rect), 2);
    EXPECT_EQ(button_rect.right - button_rect.left, 20);
    EXPECT_EQ(button_rect.right, client.right);
  }
}

TEST_F(DialogLayout, TabGoesThroughThePanelThenSplitCloseBreak) {
  const int order[] = {IDC_FILE_EDIT, IDC_DIR_EDIT,  IDC_SECTION_EDIT, IDC_CHECKBOX1,
                       IDC_CHECKBOX2, IDC_CHECKBOX3, IDC_BUTTON1,      IDC_BUTTON2,
                       IDC_BUTTON3,   IDC_FILE_EDIT};
  for (size_t i = 0; i + 1 < sizeof order / sizeof order[0]; ++i) {
    HWND next = GetNextDlgTabItem(app.dialog(), app.control(order[i]), FALSE);
    EXPECT_EQ(GetDlgCtrlID(next), order[i + 1]) << "after " << order[i];
  }
}

// The section size spin edit, worked through its keys and its spin buttons.
struct SpinCase {
  const char* text;
  int selection_start, selection_end;  // -1, -1: everything selected
  WPARAM key;                          // zero for a spin button (see arrow)
  bool right_arrow;
  const char* expected;
};

const SpinCase kSpinCases[] = {
    // With text selected: Up/Down by 10000, Page Up/Down by 10.
    {"0", -1, -1, VK_UP, false, "10000"},
    {"50000", -1, -1, VK_DOWN, false, "40000"},
    {"0", -1, -1, VK_PRIOR, false, "10"},
    {"25", -1, -1, VK_NEXT, false, "15"},
    // Limits 0 and 2,000,000,000.
    {"5", -1, -1, VK_DOWN, false, "0"},
    {"1999995000", -1, -1, VK_UP, false, "2000000000"},
    {"2000000000", -1, -1, VK_PRIOR, false, "2000000000"},
    // Text that is not a number counts as the minimum.
    {"abc", -1, -1, VK_UP, false, "10000"},
    // Nothing selected: the digit at the caret steps.
    {"12345", 5, 5, VK_UP, false, "12346"},
    {"12345", 2, 2, VK_UP, false, "13345"},
    {"12345", 0, 0, VK_DOWN, false, "2345"},
    {"9", 1, 1, VK_UP, false, "10"},
    {"12345", 4, 4, VK_PRIOR, false, "12355"},
    {"100", 1, 1, VK_DOWN, false, "0"},
    // The spin buttons always step by 10000.
    {"12345", 5, 5, 0, true, "22345"},
    {"12345", 5, 5, 0, false, "2345"},
    {"0", -1, -1, 0, false, "0"},
    {"1999999999", -1, -1, 0, true, "2000000000"},
};

TEST_F(DialogLayout, SectionSpinEditStepsAndLimits) {
  HWND edit = app.control(IDC_SECTION_EDIT);
  HWND spin = GetDlgItem(edit, IDC_EDIT_SPIN);
  ASSERT_NE(spin, nullptr);
  RECT spin_rect;
  GetClientRect(spin, &spin_rect);
  EXPECT_GT(spin_rect.right, spin_rect.bottom) << "the spin buttons are not side by side";
  for (const SpinCase& c : kSpinCases) {
    SCOPED_TRACE(std::string(c.text) + " key " + std::to_string(c.key) +
                 " caret " + std::to_string(c.selection_start));
    app.set_text(IDC_SECTION_EDIT, c.text);
    SendMessageA(edit, EM_SETSEL, c.selection_start == -1 ? 0 : c.selection_start,
                 c.selection_end);
    if (c.key) {
      SendMessageA(edit, WM_KEYDOWN, c.key, 1);
      SendMessageA(edit, WM_KEYUP, c.key, 0xC0000001);
    } else {
      // Press and release one arrow of the spin control with the mouse.
      int x = c.right_arrow ? spin_rect.right - 4 : 4;
      LPARAM at = MAKELPARAM(x, spin_rect.bottom / 2);
      SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessageA(spin, WM_LBUTTONUP, 0, at);
    }
    EXPECT_EQ(app.text(IDC_SECTION_EDIT), c.expected);
  }
}

TEST_F(DialogLayout, FileBrowseOpensTheFilesDialogResizableWithAllFiles) {
  HWND browse = GetDlgItem(app.control(IDC_FILE_EDIT), IDC_EDIT_BROWSE);
  PostMessageA(browse, BM_CLICK, 0, 0);
  HWND picker = app.wait_for_box("Files");
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(GetWindow(picker, GW_OWNER), app.dialog());
  EXPECT_TRUE(GetWindowLongA(picker, GWL_STYLE) & WS_THICKFRAME) << "not resizable";
  const int kFileTypeCombo = 0x470;
  EXPECT_EQ(text_of(GetDlgItem(picker, kFileTypeCombo)), "All files (*.*)");
  ASSERT_TRUE(app.answer(picker, IDCANCEL));
  EXPECT_EQ(app.text(IDC_FILE_EDIT), "");
}

TEST_F(DialogLayout, DirectoryBrowseOpensTheFolderPickerAndPutsTheChoiceInTheEdit) {
  HWND browse = GetDlgItem(app.control(IDC_DIR_EDIT), IDC_EDIT_BROWSE);
  // Cancel leaves the edit as it was.
  app.set_text(IDC_DIR_EDIT, "typed");
  PostMessageA(browse, BM_CLICK, 0, 0);
  HWND picker = app.wait_for_other_dialog();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(GetWindow(picker, GW_OWNER), app.dialog());
  ASSERT_TRUE(app.answer(picker, IDCANCEL));
  EXPECT_EQ(app.text(IDC_DIR_EDIT), "typed");
  // OK puts the picked directory into the edit.
  PostMessageA(browse, BM_CLICK, 0, 0);
  picker = app.wait_for_other_dialog();
  ASSERT_NE(picker, nullptr);
  ASSERT_TRUE(app.answer(picker, IDOK));
  std::string chosen = app.text(IDC_DIR_EDIT);
  EXPECT_NE(chosen, "typed");
  EXPECT_TRUE(testing_support::dir_exists(chosen)) << chosen;
}

}  // namespace

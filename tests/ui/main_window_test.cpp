// The main window as it opens, its keyboard handling, the system menu, the
// About box and the ways the program ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/ui/gui_driver.h"

namespace vostrel::gui {
namespace {

constexpr DWORD kGroup = BS_GROUPBOX;
constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kField = WS_BORDER | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kStatus = ES_READONLY | ES_AUTOHSCROLL;

struct TemplateItem {
  int id;
  const char* className;
  const char* caption;
  DWORD style;
  int x, y, width, height;
};

// The main dialog's template, item by item, in template (and Tab) order.
const TemplateItem kMainItems[] = {
    {-1, "Button", "Redistribution", kGroup, 8, 9, 360, 225},
    {-1, "Button", "Location", kGroup, 16, 23, 342, 73},
    {-1, "Button", "Redistribution Packages", kGroup, 16, 99, 102, 62},
    {-1, "Button", "Drivers", kGroup, 126, 99, 232, 81},
    {IDC_GENERATE, "Button", "Generate", kPush, 16, 170, 101, 49},
    {IDC_BROWSE_SOURCE, "Button", "Browse", kPush, 308, 45, 40, 13},
    {IDC_BROWSE_DESTINATION, "Button", "Browse", kPush, 309, 74, 39, 13},
    {IDC_SOURCE, "Edit", "", kField, 23, 45, 280, 13},
    {-1, "Static", "Source", kLabel, 26, 34, 61, 8},
    {IDC_DESTINATION, "Edit", "", kField, 23, 74, 281, 13},
    {-1, "Static", "Destination", kLabel, 26, 63, 60, 9},
    {IDC_RUNTIME, "Button", "VOK", kCheck, 26, 112, 72, 8},
    {IDC_CONTROL_PACKAGE, "Button", "Quenzo", kCheck, 26, 128, 72, 8},
    {IDC_CAMERA_TOOL, "Button", "Framory", kCheck, 26, 145, 72, 8},
    {IDC_PELLAM, "Button", "Pellam", kCheck, 140, 114, 64, 8},
    {IDC_VARNEX, "Button", "Varnex", kCheck, 140, 128, 64, 8},
    {IDC_TOBRIN, "Button", "Tobrin", kCheck, 140, 142, 64, 8},
    {IDC_KESTOV, "Button", "Kestov", kCheck, 140, 156, 64, 8},
    {IDC_ARDUNE, "Button", "Ardune", kCheck, 208, 128, 64, 8},
    {IDC_SORVIK, "Button", "Sorvik", kCheck, 208, 142, 64, 8},
    {IDC_HARRIK, "Button", "Harrik", kCheck, 276, 156, 64, 8},
    {IDC_NUVARO, "Button", "Nuvaro", kCheck, 276, 144, 64, 8},
    {IDC_JURANO, "Button", "Jurano", kCheck, 276, 128, 64, 8},
    {IDC_WYNDEL, "Button", "Wyndel", kCheck, 276, 114, 64, 8},
    {IDC_LUNNET, "Button", "Lunnet", kCheck, 208, 156, 64, 8},
    {IDC_VIDEO_CARD, "Button", "Talvor video card", kCheck, 250, 201, 82, 8},
    {-1, "Static", "Version 8.0", kLabel, 289, 223, 68, 8},
    {IDC_STATUS, "Edit", "", kStatus, 15, 238, 340, 13},
    {IDC_CALVEX, "Button", "Calvex", kCheck, 208, 114, 64, 8},
    {-1, "Button", "Other", kGroup, 126, 186, 232, 33},
};

const int kBoxes[] = {IDC_RUNTIME, IDC_CONTROL_PACKAGE, IDC_CAMERA_TOOL, IDC_PELLAM,
                      IDC_VARNEX,  IDC_TOBRIN,          IDC_KESTOV,      IDC_ARDUNE,
                      IDC_SORVIK,  IDC_HARRIK,          IDC_NUVARO,      IDC_JURANO,
                      IDC_WYNDEL,  IDC_LUNNET,          IDC_VIDEO_CARD,  IDC_CALVEX};

std::string Describe(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

// The style bits a template sets, as the running control still shows them.
// An edit draws its border itself (Windows and Wine take WS_BORDER off the
// window and keep it as the edit's own style), so for edits the border is
// read from the client edge the control leaves inside its window rectangle.
DWORD TemplateStyleOf(HWND control) {
  DWORD style = Style(control);
  std::string kind = ClassName(control);
  DWORD mask = WS_TABSTOP | WS_GROUP | WS_BORDER;
  if (kind == "Button") mask |= BS_TYPEMASK;
  if (kind == "Static") mask |= SS_TYPEMASK;
  if (kind == "Edit") {
    mask |= ES_READONLY | ES_AUTOHSCROLL | ES_MULTILINE | ES_CENTER | ES_RIGHT;
    RECT window{};
    RECT client{};
    ::GetWindowRect(control, &window);
    ::GetClientRect(control, &client);
    bool framed = (window.right - window.left) > client.right;
    style = framed ? (style | WS_BORDER) : (style & ~static_cast<DWORD>(WS_BORDER));
  }
  return style & mask;
}

TEST(MainWindow, TemplateItemsAppearWithTheirIdsTextsStylesAndPlaces) {
  VostrelProcess tool;
  HWND main = tool.main();
  ASSERT_TRUE(tool.WaitForFocus(IDC_GENERATE));
  DialogUnits units = TemplateDialogUnits();

  EXPECT_EQ(WindowText(main), "Talvor Imaging Library Redistribution");
  DWORD style = Style(main);
  EXPECT_EQ(
      style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
      static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(style & WS_THICKFRAME, 0u) << "no sizing border";
  EXPECT_NE(::GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  RECT client{};
  ::GetClientRect(main, &client);
  RECT expectedClient = units.ToPixels(0, 0, 374, 252);
  EXPECT_EQ(Describe(client), Describe(expectedClient));

  std::vector<HWND> children = Children(main);
  ASSERT_EQ(children.size(), std::size(kMainItems));
  for (size_t i = 0; i < children.size(); ++i) {
    const TemplateItem& item = kMainItems[i];
    HWND child = children[i];
    SCOPED_TRACE("item " + std::to_string(i + 1) + " \"" + item.caption + "\"");
    EXPECT_EQ(::GetDlgCtrlID(child), item.id);
    EXPECT_STRCASEEQ(ClassName(child).c_str(), item.className);
    EXPECT_EQ(WindowText(child), item.caption);
    DWORD shown = TemplateStyleOf(child);
    // The dialog manager shows the focused push button as the default one.
    if (child == tool.Focus() && (shown & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      shown = (shown & ~static_cast<DWORD>(BS_TYPEMASK)) | BS_PUSHBUTTON;
    }
    EXPECT_EQ(shown, item.style) << std::hex << "style " << Style(child);
    EXPECT_TRUE(::IsWindowVisible(child));
    EXPECT_EQ(Describe(RectIn(child, main)),
              Describe(units.ToPixels(item.x, item.y, item.width, item.height)));
  }
}

TEST(MainWindow, OpensWithRuntimeAndVideoCardCheckedAndFocusOnGenerate) {
  VostrelProcess tool;
  for (int id : kBoxes) {
    SCOPED_TRACE(tool.ItemText(id));
    bool checkedAtStart = id == IDC_RUNTIME || id == IDC_VIDEO_CARD;
    EXPECT_EQ(::SendMessageA(tool.Item(id), BM_GETCHECK, 0, 0),
              checkedAtStart ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(::IsWindowEnabled(tool.Item(id)) != FALSE, id != IDC_RUNTIME);
  }
  EXPECT_EQ(tool.ItemText(IDC_SOURCE), "");
  EXPECT_EQ(tool.ItemText(IDC_DESTINATION), "");
  EXPECT_EQ(tool.ItemText(IDC_STATUS), "");
  EXPECT_TRUE(tool.WaitForFocus(IDC_GENERATE));

  // The video-card box can be cleared; the boxes are plain automatic boxes.
  VostrelProcess::Click(tool.Item(IDC_VIDEO_CARD));
  EXPECT_TRUE(
      WaitUntil([&] { return ::SendMessageA(tool.Item(IDC_VIDEO_CARD), BM_GETCHECK, 0, 0) == 0; }));
  SaveScreenshot("main_window");
}

TEST(MainWindow, TabVisitsTheTabStopsInTemplateOrderWithCalvexLast) {
  VostrelProcess tool;
  ASSERT_TRUE(tool.WaitForFocus(IDC_GENERATE));
  // The disabled "VOK" box is passed over.
  const int expected[] = {IDC_BROWSE_SOURCE,   IDC_BROWSE_DESTINATION,
                          IDC_SOURCE,          IDC_DESTINATION,
                          IDC_CONTROL_PACKAGE, IDC_CAMERA_TOOL,
                          IDC_PELLAM,          IDC_VARNEX,
                          IDC_TOBRIN,          IDC_KESTOV,
                          IDC_ARDUNE,          IDC_SORVIK,
                          IDC_HARRIK,          IDC_NUVARO,
                          IDC_JURANO,          IDC_WYNDEL,
                          IDC_LUNNET,          IDC_VIDEO_CARD,
                          IDC_CALVEX,          IDC_GENERATE};
  for (int id : expected) {
    tool.PressKeyOnFocus(VK_TAB);
    ASSERT_TRUE(tool.WaitForFocus(id))
        << "expected focus on " << id << ", has " << ::GetDlgCtrlID(tool.Focus());
  }
  // Leaving the destination field changes nothing.
  EXPECT_EQ(tool.ItemText(IDC_DESTINATION), "");
  EXPECT_EQ(tool.ItemText(IDC_STATUS), "");
}

TEST(MainWindow, StatusLineAndGenerateAloneUseTheBoldFontAndTheIconIsSet) {
  VostrelProcess tool;
  ProbeReport report = tool.Probe();
  for (int id : {IDC_STATUS, IDC_GENERATE}) {
    const ControlFont* font = report.Font(id);
    ASSERT_NE(font, nullptr) << id;
    EXPECT_EQ(font->height, 15) << id;
    EXPECT_EQ(font->weight, FW_BOLD) << id;
  }
  for (int id : {IDC_BROWSE_SOURCE, IDC_SOURCE, IDC_RUNTIME, IDC_VIDEO_CARD, IDC_CALVEX}) {
    const ControlFont* font = report.Font(id);
    ASSERT_NE(font, nullptr) << id;
    EXPECT_NE(font->weight, FW_BOLD) << id;
  }
  EXPECT_TRUE(report.bigIconIsApplicationIcon);
  EXPECT_TRUE(report.smallIconIsApplicationIcon);
}

TEST(MainWindow, SystemMenuEndsWithSeparatorAndAboutItem) {
  VostrelProcess tool;
  ProbeReport report = tool.Probe();
  ASSERT_GE(report.systemMenu.size(), 3u);
  const MenuItem& separator = report.systemMenu[report.systemMenu.size() - 2];
  const MenuItem& about = report.systemMenu.back();
  EXPECT_NE(separator.type & MFT_SEPARATOR, 0u);
  EXPECT_EQ(about.type & MFT_SEPARATOR, 0u);
  EXPECT_EQ(about.id, static_cast<UINT>(IDM_ABOUTBOX));
  EXPECT_EQ(about.text, "&About Vostrel...");
  // The system's own items stay: Close among them.
  bool hasClose = false;
  for (const MenuItem& item : report.systemMenu) hasClose = hasClose || item.id == SC_CLOSE;
  EXPECT_TRUE(hasClose);
}

TEST(AboutBox, OpensFromTheSystemMenuShowsItsTextsAndBlocksTheMainWindow) {
  VostrelProcess tool;
  // Through the menu, as a person does: open it, go up to the last item,
  // press Enter.
  ::PostMessageA(tool.main(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
  WaitUntil([] { return ::FindWindowA("#32768", nullptr) != nullptr; });
  SaveScreenshot("system_menu");
  HWND menu = ::FindWindowA("#32768", nullptr);
  ASSERT_NE(menu, nullptr) << "the system menu did not open";
  VostrelProcess::PressKey(menu, VK_UP);
  VostrelProcess::PressKey(menu, VK_RETURN);
  HWND about = tool.WaitForWindow("About Vostrel");
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(tool.main())) << "the About box is modal";
  EXPECT_EQ(::GetWindow(about, GW_OWNER), tool.main());

  DialogUnits units = TemplateDialogUnits();
  RECT client{};
  ::GetClientRect(about, &client);
  EXPECT_EQ(Describe(client), Describe(units.ToPixels(0, 0, 235, 55)));
  std::vector<HWND> items = Children(about);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_STRCASEEQ(ClassName(items[0]).c_str(), "Static");
  EXPECT_EQ(Style(items[0]) & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
  RECT icon = RectIn(items[0], about);
  RECT iconPlace = units.ToPixels(11, 17, 20, 20);
  EXPECT_EQ(icon.left, iconPlace.left);
  EXPECT_EQ(icon.top, iconPlace.top);
  EXPECT_EQ(WindowText(items[1]), "Vostrel Version 1.0");
  EXPECT_NE(Style(items[1]) & SS_NOPREFIX, 0u);
  EXPECT_NE(Style(items[1]) & WS_GROUP, 0u);
  EXPECT_EQ(Describe(RectIn(items[1], about)), Describe(units.ToPixels(40, 10, 119, 8)));
  EXPECT_FALSE(WindowText(items[2]).empty());
  EXPECT_EQ(Describe(RectIn(items[2], about)), Describe(units.ToPixels(40, 25, 119, 8)));
  EXPECT_EQ(::GetDlgCtrlID(items[3]), IDOK);
  EXPECT_EQ(WindowText(items[3]), "OK");
  EXPECT_EQ(Style(items[3]) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(Describe(RectIn(items[3], about)), Describe(units.ToPixels(178, 7, 50, 16)));
  SaveScreenshot("about_box");

  VostrelProcess::Click(items[3]);
  EXPECT_TRUE(tool.WaitForWindowGone("About Vostrel"));
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(tool.main()) != FALSE; }));
}

TEST(AboutBox, AnySystemCommandFrom16To31OpensItAndEscapeClosesIt) {
  VostrelProcess tool;
  for (WPARAM command : {WPARAM{0x10}, WPARAM{0x13}, WPARAM{0x1F}}) {
    SCOPED_TRACE(command);
    tool.SystemCommand(command);
    HWND about = tool.WaitForWindow("About Vostrel");
    ASSERT_NE(about, nullptr);
    tool.PressKeyOnFocus(VK_ESCAPE);
    ASSERT_TRUE(tool.WaitForWindowGone("About Vostrel"));
  }
  // The main window goes on working.
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(tool.main()) != FALSE; }));
  EXPECT_FALSE(tool.WaitForExit(std::chrono::milliseconds(200)));
}

// Every way of closing the dialog ends the program, with no further window.
TEST(Closing, EscapeEndsTheProgram) {
  VostrelProcess tool;
  ASSERT_TRUE(tool.WaitForFocus(IDC_GENERATE));
  tool.PressKeyOnFocus(VK_ESCAPE);
  EXPECT_TRUE(tool.WaitForExit());
  EXPECT_EQ(tool.ExitCode(), 0u);
}

TEST(Closing, TheCloseCommandEndsTheProgram) {
  VostrelProcess tool;
  tool.SystemCommand(SC_CLOSE);
  EXPECT_TRUE(tool.WaitForExit());
  EXPECT_EQ(tool.ExitCode(), 0u);
}

TEST(Closing, EnterOnACheckBoxEndsTheProgram) {
  VostrelProcess tool;
  ASSERT_TRUE(tool.WaitForFocus(IDC_GENERATE));
  for (int i = 0; i < 5; ++i) tool.PressKeyOnFocus(VK_TAB);  // to "Quenzo"
  ASSERT_TRUE(tool.WaitForFocus(IDC_CONTROL_PACKAGE));
  tool.PressKeyOnFocus(VK_RETURN);
  EXPECT_TRUE(tool.WaitForExit());
  EXPECT_EQ(tool.ExitCode(), 0u);
}

// The built executable's version resource, as Explorer's Details page reads it.
TEST(VersionResource, SaysVersion1001InTheFixedPartAndTheStrings) {
  std::string program = FolderOfThisProgram() + "\\Vostrel.exe";
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(program.c_str(), &ignored);
  ASSERT_NE(size, 0u) << program << " has no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(::GetFileVersionInfoA(program.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));  // 1.0
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 0));  // .0.1
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(1, 0));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

  struct {
    const char* name;
    const char* value;
  } const strings[] = {
      {"FileVersion", "1.0.0.1"},      {"ProductVersion", "1.0.0.1"},
      {"CompanyName", "Talvor"},       {"FileDescription", "Redistribution"},
      {"InternalName", "Vostrel.exe"}, {"OriginalFilename", "Vostrel.exe"},
  };
  for (const auto& expected : strings) {
    std::string key = std::string("\\StringFileInfo\\040904e4\\") + expected.name;
    char* value = nullptr;
    ASSERT_TRUE(
        ::VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
        << expected.name;
    EXPECT_STREQ(value, expected.value) << expected.name;
  }
  WORD* translation = nullptr;
  ASSERT_TRUE(::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);
}

}  // namespace
}  // namespace vostrel::gui

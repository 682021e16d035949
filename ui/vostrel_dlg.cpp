#include "ui/vostrel_dlg.h"

#include <commdlg.h>

#include <memory>
#include <string>

#include "engine/board_table.h"
#include "engine/redistribution.h"
#include "engine/run_feedback.h"
#include "engine/run_result.h"
#include "platform/native.h"
#include "res/resource.h"
#include "ui/about_dlg.h"
#include "ui/folder_dialog.h"
#include "ui/responsive_file_system.h"
#include "ui/run_report.h"

// clang-format off
BEGIN_MESSAGE_MAP(CVostrelDlg, CDialog)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDC_BROWSE_SOURCE, &CVostrelDlg::OnBrowseSource)
  ON_BN_CLICKED(IDC_BROWSE_DESTINATION, &CVostrelDlg::OnBrowseDestination)
  ON_BN_CLICKED(IDC_GENERATE, &CVostrelDlg::OnGenerate)
  ON_EN_KILLFOCUS(IDC_DESTINATION, &CVostrelDlg::OnKillFocusDestination)
END_MESSAGE_MAP()
// clang-format on

namespace {

// How a run reaches the person while the dialog drives it. Its problems are
// listed in a message box once the run is over.
class DialogFeedback final : public vostrel::RunFeedback {
 public:
  explicit DialogFeedback(CVostrelDlg& dialog) : dialog_(dialog) {}

  void SetStatus(const std::string& text) override { dialog_.SetStatus(CString(text)); }
  void ShowMessage(const std::string& text) override { AfxMessageBox(text.c_str(), MB_OK, 0); }
  void BeginWaitCursor() override { dialog_.BeginWaitCursor(); }
  void EndWaitCursor() override { dialog_.EndWaitCursor(); }

 private:
  CVostrelDlg& dialog_;
};

bool IsSelected(const CButton& box) { return box.GetCheck() != BST_UNCHECKED; }

}  // namespace

CVostrelDlg::CVostrelDlg(CWnd* parent) : CDialog(IDD_VOSTREL_DIALOG, parent) {
  m_hIcon = AfxGetApp() != nullptr
                ? AfxGetApp()->LoadIcon(IDR_MAINFRAME)
                : ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CVostrelDlg::~CVostrelDlg() = default;

void CVostrelDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_SOURCE, m_editSource);
  DDX_Control(dx, IDC_DESTINATION, m_editDestination);
  DDX_Control(dx, IDC_RUNTIME, m_checkRuntime);
  DDX_Control(dx, IDC_CONTROL_PACKAGE, m_checkControlPackage);
  DDX_Control(dx, IDC_CAMERA_TOOL, m_checkCameraTool);
  DDX_Control(dx, IDC_PELLAM, m_checkPellam);
  DDX_Control(dx, IDC_VARNEX, m_checkVarnex);
  DDX_Control(dx, IDC_TOBRIN, m_checkTobrin);
  DDX_Control(dx, IDC_KESTOV, m_checkKestov);
  DDX_Control(dx, IDC_CALVEX, m_checkCalvex);
  DDX_Control(dx, IDC_ARDUNE, m_checkArdune);
  DDX_Control(dx, IDC_SORVIK, m_checkSorvik);
  DDX_Control(dx, IDC_LUNNET, m_checkLunnet);
  DDX_Control(dx, IDC_WYNDEL, m_checkWyndel);
  DDX_Control(dx, IDC_JURANO, m_checkJurano);
  DDX_Control(dx, IDC_NUVARO, m_checkNuvaro);
  DDX_Control(dx, IDC_HARRIK, m_checkHarrik);
  DDX_Control(dx, IDC_VIDEO_CARD, m_checkVideoCard);
  DDX_Control(dx, IDC_STATUS, m_editStatus);
  DDX_Control(dx, IDC_GENERATE, m_buttonGenerate);
}

BOOL CVostrelDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // "&About Vostrel..." at the end of the system menu, after a separator.
  if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
    CString aboutMenu;
    aboutMenu.LoadString(IDS_ABOUTBOX);
    if (!aboutMenu.IsEmpty()) {
      systemMenu->AppendMenu(MF_SEPARATOR);
      systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutMenu);
    }
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  // The runtime is always part of a kit: checked, and the person cannot
  // clear it.
  m_checkRuntime.SetCheck(BST_CHECKED);
  m_checkVideoCard.SetCheck(BST_CHECKED);
  m_checkRuntime.EnableWindow(FALSE);

  m_fontBold.Attach(::CreateFontA(15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                  0, 0, nullptr));
  m_editStatus.SetFont(&m_fontBold, TRUE);
  m_buttonGenerate.SetFont(&m_fontBold, TRUE);

  return TRUE;  // the dialog manager puts the focus on Generate, the first tab stop
}

BOOL CVostrelDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  // During a run only messages sent to the window arrive (ResponsiveFileSystem);
  // none may start a command, above all not a second run.
  if (m_bRunning) return TRUE;
  return CDialog::OnCommand(wParam, lParam);
}

void CVostrelDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if (m_bRunning) return;
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDialog::OnSysCommand(nID, lParam);
  }
}

void CVostrelDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  int cxIcon = ::GetSystemMetrics(SM_CXICON);
  int cyIcon = ::GetSystemMetrics(SM_CYICON);
  RECT rect{};
  GetClientRect(&rect);
  int x = (rect.right - rect.left - cxIcon + 1) / 2;
  int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  if (m_hIcon != nullptr) dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CVostrelDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CVostrelDlg::OnBrowseSource() {
  // The whole name as default extension, as the installer is always setup.exe.
  std::unique_ptr<CFileDialog> picker = std::make_unique<CFileDialog>(
      TRUE, "setup.exe", nullptr, OFN_HIDEREADONLY, "Setup.exe|Setup.exe||");
  if (picker->DoModal() == IDOK) {
    CString path = picker->GetPathName();
    m_editSource.SetWindowText(path);
  }
}

void CVostrelDlg::OnBrowseDestination() {
  CString result;
  CFolderDialog picker(&result);
  if (picker.DoModal() == IDOK && !result.IsEmpty()) m_editDestination.SetWindowText(result);
}

void CVostrelDlg::OnKillFocusDestination() {}

vostrel::KitSelection CVostrelDlg::ReadSelection() const {
  // Each board's check box (bound to its IDC_ id above) by the board's row in
  // the driver table; the rows are not in the order of the boxes' ids.
  struct BoardBox {
    int row;
    const CButton CVostrelDlg::*box;
  };
  static const BoardBox kBoardBoxes[] = {
      {1, &CVostrelDlg::m_checkPellam},  {2, &CVostrelDlg::m_checkVarnex},
      {3, &CVostrelDlg::m_checkTobrin},  {4, &CVostrelDlg::m_checkKestov},
      {5, &CVostrelDlg::m_checkArdune},  {6, &CVostrelDlg::m_checkSorvik},
      {7, &CVostrelDlg::m_checkLunnet},  {8, &CVostrelDlg::m_checkWyndel},
      {9, &CVostrelDlg::m_checkCalvex},  {10, &CVostrelDlg::m_checkJurano},
      {11, &CVostrelDlg::m_checkNuvaro}, {12, &CVostrelDlg::m_checkHarrik},
  };

  vostrel::KitSelection selection;
  selection.libraryRuntime = IsSelected(m_checkRuntime);
  selection.controlPackage = IsSelected(m_checkControlPackage);
  selection.cameraTool = IsSelected(m_checkCameraTool);
  for (const BoardBox& board : kBoardBoxes) {
    selection.boards[static_cast<size_t>(board.row - 1)] = IsSelected(this->*board.box);
  }
  selection.videoCard = IsSelected(m_checkVideoCard);
  return selection;
}

void CVostrelDlg::OnGenerate() {
  m_editSource.GetWindowText(m_strSourceRoot);
  m_strSourceRoot = vostrel::StripFileName(m_strSourceRoot.str());
  m_editDestination.GetWindowText(m_strDestinationRoot);

  // The box at the end still belongs to the run: no command starts while it
  // is shown either.
  m_bRunning = true;
  struct EndOfRun {
    bool& running;
    ~EndOfRun() { running = false; }
  } endOfRun{m_bRunning};
  std::unique_ptr<vostrel::FileSystem> disk = vostrel::platform::MakeNativeFileSystem();
  ResponsiveFileSystem responsive(*disk);
  DialogFeedback feedback(*this);
  const vostrel::RunResult result = vostrel::RunRedistribution(
      responsive, feedback, m_strSourceRoot.str(), m_strDestinationRoot.str(), ReadSelection());
  if (!result.complete()) {
    AfxMessageBox(RunProblemsText(result).c_str(), MB_OK | MB_ICONEXCLAMATION);
  }
}

void CVostrelDlg::SetStatus(CString text) {
  m_editStatus.SetWindowText(text);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// The main window: source and destination fields with their Browse buttons,
// the package, board and video-card boxes, Generate and the status line.
#pragma once

#include "engine/kit_selection.h"
#include "framework/framework.h"

class CVostrelDlg : public CDialog {
 public:
  explicit CVostrelDlg(CWnd* parent = nullptr);
  ~CVostrelDlg() override;

  // Puts `text` on the status line and repaints the dialog before returning,
  // so each step shows as it starts.
  void SetStatus(CString text);

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnBrowseSource();
  void OnBrowseDestination();
  void OnGenerate();
  void OnKillFocusDestination();

  DECLARE_MESSAGE_MAP()

 private:
  // The check states when Generate is pressed.
  vostrel::KitSelection ReadSelection() const;

  // The status line's and Generate's bold font. Declared first so that it
  // outlives every control that borrows it.
  CFont m_fontBold;

  // From Generate until the run and its message box are over.
  bool m_bRunning = false;
  CString m_strSourceRoot;
  CString m_strDestinationRoot;
  HICON m_hIcon;  // shared icon handle: never destroyed here
  CEdit m_editSource;
  CEdit m_editDestination;
  CButton m_checkRuntime;
  CButton m_checkControlPackage;
  CButton m_checkCameraTool;
  CButton m_checkPellam;
  CButton m_checkVarnex;
  CButton m_checkTobrin;
  CButton m_checkKestov;
  CButton m_checkCalvex;
  CButton m_checkArdune;
  CButton m_checkSorvik;
  CButton m_checkLunnet;
  CButton m_checkWyndel;
  CButton m_checkJurano;
  CButton m_checkNuvaro;
  CButton m_checkHarrik;
  CButton m_checkVideoCard;
  CEdit m_editStatus;
  CButton m_buttonGenerate;
};

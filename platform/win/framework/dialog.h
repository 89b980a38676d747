#pragma once
// CDialog: a dialog made from a template resource, run modally (or created modeless), with
// the default OK and cancel handling and control binding.
#include <windows.h>

#include "platform/win/framework/window.h"

class CDataExchange {
 public:
  CDataExchange(CWnd& dialog, bool saveAndValidate)
      : m_dialog(dialog), m_saveAndValidate(saveAndValidate) {}
  CWnd& Dialog() const { return m_dialog; }
  bool SaveAndValidate() const { return m_saveAndValidate; }

 private:
  CWnd& m_dialog;
  bool m_saveAndValidate;
};

// Binds a member control object to the dialog's child window with the given id, once.
void DDX_Control(CDataExchange& exchange, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}
  ~CDialog() override;

  // Runs the dialog modally; the value given to EndDialog, or -1 when it could not be made.
  INT_PTR DoModal();
  // Makes the dialog without running it; false when it could not be made.
  bool Create();
  void EndDialog(INT_PTR result);
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  // Runs DoDataExchange: false copies member values to the controls, true the other way.
  BOOL UpdateData(BOOL saveAndValidate);

  // Binds the controls; true lets the system give the focus to the first control.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange& exchange);
  // Esc, the cancel button and a close all end up in OnCancel, so a dialog that must not be
  // left (an attempt running) refuses all three by overriding it.
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // A close of the window (system menu, Alt+F4, a posted WM_CLOSE): cancel by default. Mapped
  // here because the dialog manager turns a close into a cancel only while a cancel button
  // is enabled, and posts it instead of sending it.
  virtual void OnClose() { OnCancel(); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND ParentHandle() const { return m_parent != nullptr ? m_parent->GetSafeHwnd() : nullptr; }

  UINT m_templateId;
  CWnd* m_parent;

  KV_DECLARE_MESSAGE_MAP()
};

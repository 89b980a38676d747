#pragma once
// The base of the skin controls and the interface through which they tell their owner that
// their look may have changed. A skin control is a real child window that never reaches the
// screen by itself: its owner composes it with Draw.
#include <windows.h>

#include "platform/win/framework/window.h"
#include "skin/gdiplus_api.h"

class CSkinCtrl;
class SkinCanvas;

class ISkinOwner {
 public:
  virtual ~ISkinOwner() = default;
  virtual void OnSkinChanged(CSkinCtrl* control) = 0;
};

class CSkinCtrl : public CWnd {
 public:
  CSkinCtrl() = default;
  ~CSkinCtrl() override = default;

  virtual void Draw(SkinCanvas& canvas) = 0;
  // Asks for a new composition.
  virtual void Redraw() { NotifyOwner(); }
  void NotifyOwner();
  // Shows or hides the window; tells the owner only when the visibility changed.
  void ShowCtrl(int command);

  void SetOwner(ISkinOwner* owner) { m_owner = owner; }
  ISkinOwner* Owner() const { return m_owner; }
  bool IsShown() const { return m_visible != 0; }
  bool IsDisabled() const { return m_disabled != 0; }

 protected:
  void PreSubclassWindow() override;
  // The rectangle in the owner's client coordinates, which are the surface's.
  Gdiplus::RectF DrawRect() const;

  ISkinOwner* m_owner = nullptr;
  int m_disabled = 0;
  int m_visible = 1;

 private:
  void OnEnable(BOOL enable);
  void OnMove(POINT origin);
  void OnSize(UINT type, SIZE size);
  LRESULT OnSetText(const wchar_t* text);

  KV_DECLARE_MESSAGE_MAP()
};

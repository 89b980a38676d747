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
  // Shows or hides the window; the owner hears of it only when the visibility changed. A plain
  // ShowWindow or SetWindowPos is followed just the same.
  void ShowCtrl(int command);

  // The look changed in a way the next composition must redraw, without asking for one.
  void MarkDirty() { m_dirty = true; }
  bool IsDirty() const { return m_dirty; }
  // Where Draw may reach on the surface: the rectangle with a margin for the pressed look's
  // one-pixel shift and for filtering at the edges.
  RECT DrawExtent() const;
  // The extent of the last composition that drew the control (empty when it was not drawn).
  const RECT& DrawnRect() const { return m_drawn; }
  // The owner records a composition: drawn there (or nowhere), nothing dirty any more.
  void SetDrawn(const RECT& drawn) {
    m_drawn = drawn;
    m_dirty = false;
  }

  void SetOwner(ISkinOwner* owner) { m_owner = owner; }
  ISkinOwner* Owner() const { return m_owner; }
  bool IsShown() const { return m_visible != 0; }
  bool IsDisabled() const { return m_disabled != 0; }

 protected:
  void PreSubclassWindow() override;
  // The rectangle in the owner's client coordinates, which are the surface's.
  Gdiplus::RectF DrawRect() const;

  // First, so the derived controls' GDI+ objects are made after it and freed before it ends.
  CGdiplusSession m_gdiplus;
  ISkinOwner* m_owner = nullptr;
  int m_disabled = 0;
  int m_visible = 1;

 private:
  void OnEnable(BOOL enable);
  void OnMove(POINT origin);
  void OnSize(UINT type, SIZE size);
  void OnWindowPosChanged(WINDOWPOS* position);
  LRESULT OnSetText(const wchar_t* text);
  // Takes the visibility from the window; true when it changed.
  bool FollowVisibility();

  bool m_dirty = true;
  RECT m_drawn{};
  // Inside a position change the move and size it causes ask for no composition of their own.
  int m_positionChanges = 0;

  KV_DECLARE_MESSAGE_MAP()
};

#pragma once
// Message maps: one table per class, chained to the base class's table. Each entry binds one
// message (or one command from one control) to one handler, and a cracker turns the raw
// parameters into the handler's typed arguments. The first matching entry, most derived class
// first, handles the message; unmapped messages get the window's default processing.
#include <windows.h>

#include <cstddef>
#include <iterator>

class CWnd;

using MessageDispatch = LRESULT (*)(CWnd& wnd, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
  UINT message;
  bool isCommand;  // WM_COMMAND entry matched by notification code and control id
  UINT code;
  UINT id;
  MessageDispatch dispatch;
};

struct MessageMap {
  const MessageMap* base;
  const MessageMapEntry* entries;
  std::size_t count;
};

namespace message_map_detail {

template <typename T>
struct MemberClass;
template <typename Class, typename Member>
struct MemberClass<Member Class::*> {
  using Type = Class;
};

template <auto Handler>
auto& Target(CWnd& wnd) {
  return static_cast<typename MemberClass<decltype(Handler)>::Type&>(wnd);
}

inline POINT PointFrom(LPARAM lParam) {
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

}  // namespace message_map_detail

// One cracker per message; the handler signature each one expects is written beside it.
template <UINT Message>
struct MessageCracker;

#define KV_CRACKER(MSG, BODY)                                           \
  template <>                                                           \
  struct MessageCracker<MSG> {                                          \
    template <auto H>                                                   \
    static LRESULT Call(CWnd& wnd, [[maybe_unused]] WPARAM wParam,      \
                        [[maybe_unused]] LPARAM lParam) {               \
      [[maybe_unused]] auto& self = message_map_detail::Target<H>(wnd); \
      using message_map_detail::PointFrom;                              \
      BODY                                                              \
    }                                                                   \
  };

// int OnCreate(CREATESTRUCTW*): -1 fails the creation.
KV_CRACKER(WM_CREATE, return (self.*H)(reinterpret_cast<CREATESTRUCTW*>(lParam));)
// void OnDestroy()
KV_CRACKER(WM_DESTROY, (self.*H)(); return 0;)
// void OnEnable(BOOL enable): the raw argument, not folded to 0 or 1.
KV_CRACKER(WM_ENABLE, (self.*H)(static_cast<BOOL>(wParam)); return 0;)
// void OnMove(POINT clientOrigin)
KV_CRACKER(WM_MOVE, (self.*H)(PointFrom(lParam)); return 0;)
// void OnSize(UINT type, SIZE size)
KV_CRACKER(WM_SIZE, (self.*H)(static_cast<UINT>(wParam), SIZE{LOWORD(lParam), HIWORD(lParam)});
           return 0;)
// LRESULT OnSetText(const wchar_t* text)
KV_CRACKER(WM_SETTEXT, return (self.*H)(reinterpret_cast<const wchar_t*>(lParam));)
// BOOL OnEraseBkgnd(HDC dc)
KV_CRACKER(WM_ERASEBKGND, return (self.*H)(reinterpret_cast<HDC>(wParam));)
// void OnMouseMove / OnLButtonDown / OnLButtonUp / OnMouseHover(UINT keys, POINT point)
KV_CRACKER(WM_MOUSEMOVE, (self.*H)(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;)
KV_CRACKER(WM_LBUTTONDOWN, (self.*H)(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;)
KV_CRACKER(WM_LBUTTONUP, (self.*H)(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;)
KV_CRACKER(WM_MOUSEHOVER, (self.*H)(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;)
// void OnLButtonDblClk(UINT keys, POINT point)
KV_CRACKER(WM_LBUTTONDBLCLK, (self.*H)(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;)
// void OnMouseLeave()
KV_CRACKER(WM_MOUSELEAVE, (self.*H)(); return 0;)
// void OnCaptureChanged(HWND newCapture)
KV_CRACKER(WM_CAPTURECHANGED, (self.*H)(reinterpret_cast<HWND>(lParam)); return 0;)
// void OnCancelMode()
KV_CRACKER(WM_CANCELMODE, (self.*H)(); return 0;)
// void OnClose()
KV_CRACKER(WM_CLOSE, (self.*H)(); return 0;)
// void OnWindowPosChanged(WINDOWPOS* position)
KV_CRACKER(WM_WINDOWPOSCHANGED, (self.*H)(reinterpret_cast<WINDOWPOS*>(lParam)); return 0;)
// void OnSysCommand(UINT command, POINT point)
KV_CRACKER(WM_SYSCOMMAND, (self.*H)(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;)
// LRESULT OnDisplayChange(UINT bitsPerPixel, SIZE screen)
KV_CRACKER(WM_DISPLAYCHANGE,
           return (self.*H)(static_cast<UINT>(wParam), SIZE{LOWORD(lParam), HIWORD(lParam)});)

#undef KV_CRACKER

template <UINT Message, auto Handler>
constexpr MessageMapEntry MapMessage() {
  return {Message, false, 0, 0, &MessageCracker<Message>::template Call<Handler>};
}

// void OnCommand(): one notification code from one control.
template <UINT Code, UINT Id, auto Handler>
constexpr MessageMapEntry MapCommandCode() {
  return {WM_COMMAND, true, Code, Id, [](CWnd& wnd, WPARAM, LPARAM) -> LRESULT {
            (message_map_detail::Target<Handler>(wnd).*Handler)();
            return 0;
          }};
}

// A click (BN_CLICKED), or a menu or accelerator command, of one id.
template <UINT Id, auto Handler>
constexpr MessageMapEntry MapCommand() {
  return MapCommandCode<BN_CLICKED, Id, Handler>();
}

// In the class: declares the map. In the source file: the map with its entries, e.g.
//   KV_BEGIN_MESSAGE_MAP(CSkinCtrl, CWnd)
//     MapMessage<WM_ENABLE, &ThisClass::OnEnable>(),
//   KV_END_MESSAGE_MAP()
#define KV_DECLARE_MESSAGE_MAP()             \
 public:                                     \
  static const MessageMap* ThisMessageMap(); \
                                             \
 protected:                                  \
  const MessageMap* GetMessageMap() const override;

#define KV_BEGIN_MESSAGE_MAP(Class, Base)          \
  const MessageMap* Class::GetMessageMap() const { \
    return ThisMessageMap();                       \
  }                                                \
  const MessageMap* Class::ThisMessageMap() {      \
    using ThisClass = Class;                       \
    using BaseClass = Base;                        \
    static constexpr MessageMapEntry entries[] = {
#define KV_END_MESSAGE_MAP()                                                             \
  }                                                                                      \
  ;                                                                                      \
  static const MessageMap map{BaseClass::ThisMessageMap(), entries, std::size(entries)}; \
  return &map;                                                                           \
  }

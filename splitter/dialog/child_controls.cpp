#include "child_controls.h"

#include "exception_message.h"

namespace velmora {

const char kPanelClass[] = "VelmoraPanel";

HWND create_child(HWND parent, const char* window_class, const char* text, DWORD style,
                  DWORD ex_style, Place place, int id, HFONT font, bool wide) {
  const DWORD full_style = WS_CHILD | WS_VISIBLE | style;
  HMENU menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
  // The class names and texts given here are ASCII: widened byte by byte.
  std::vector<wchar_t> wide_class(window_class, window_class + lstrlenA(window_class) + 1),
      wide_text(text, text + lstrlenA(text) + 1);
  HWND child = wide ? CreateWindowExW(ex_style, wide_class.data(), wide_text.data(),
                                      full_style, place.left, place.top, place.width, place.height,
                                      parent, menu, instance, nullptr)
                    : CreateWindowExA(ex_style, window_class, text, full_style, place.left,
                                      place.top, place.width, place.height, parent, menu, instance,
                                      nullptr);
  if (!child) throw velmora::UiError("Cannot create a control of the dialog");
  if (font) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

std::string window_text(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int copied = GetWindowTextA(window, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::vector<wchar_t> window_wide_text(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) + 1 : 1);
  text.back() = L'\0';
  return text;
}

namespace {

LRESULT CALLBACK panel_proc(HWND panel, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
      return SendMessageA(GetParent(panel), message, wparam, lparam);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(panel, &paint);
      RECT client;
      GetClientRect(panel, &client);
      DrawEdge(dc, &client, BDR_RAISEDOUTER, BF_RECT);
      EndPaint(panel, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(panel, message, wparam, lparam);
  }
}

}  // namespace

void register_panel_class(HINSTANCE instance) {
  WNDCLASSEXA panel_class{};
  panel_class.cbSize = sizeof panel_class;
  panel_class.lpfnWndProc = panel_proc;
  panel_class.hInstance = instance;
  panel_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  panel_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  panel_class.lpszClassName = kPanelClass;
  if (!RegisterClassExA(&panel_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw velmora::UiError("Cannot register the panel's window class");
  }
}

}  // namespace velmora

// A tiny DLL that the system tests load into the program's process to read the
// state of an item of its main window's menu. Under Wine a menu handle is
// valid only inside the process that created the menu (GetMenuState from
// another process fails), so the question is asked from a thread started in
// the program's own process.
#include <windows.h>

extern "C" {

struct MenuQuery {
  HWND window;
  UINT id;
  UINT state;  // GetMenuState result, 0xFFFFFFFF when the item is missing
};

__declspec(dllexport) DWORD WINAPI QueryMenuState(LPVOID param) {
  MenuQuery* q = static_cast<MenuQuery*>(param);
  HMENU menu = GetMenu(q->window);
  q->state = menu ? GetMenuState(menu, q->id, MF_BYCOMMAND) : 0xFFFFFFFFu;
  return q->state;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
}

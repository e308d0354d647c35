#include <string.h>

#include "../data/messages.h"
#include "../resources/resource.h"
#include "ui.h"

static const char MainWindowClassName[] = "QuenridClass";

enum : int { MAIN_WINDOW_WIDTH = 320, MAIN_WINDOW_HEIGHT = 200 };
// An ordinary frame, never shown: WS_VISIBLE is left out on purpose.
enum : DWORD { MAIN_WINDOW_STYLE = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN };

bool RegisterMainWindowClass() {
  WNDCLASSA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = AppInstance;
  windowClass.hIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_MAIN));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  windowClass.lpszClassName = MainWindowClassName;
  return RegisterClassA(&windowClass) != 0;
}

// Where a window of `windowSize` starts when centred on `screenSize`; a screen
// too small for it puts it at 0 rather than off the edge.
static int CentredOrigin(int screenSize, int windowSize) {
  int origin = (screenSize - windowSize) / 2;
  return origin < 0 ? 0 : origin;
}

// The dialogs open at the corner of this window's client area, so centring
// it is what places them near the middle of the screen.
bool CreateMainWindow() {
  int x = CentredOrigin(GetSystemMetrics(SM_CXSCREEN), MAIN_WINDOW_WIDTH);
  int y = CentredOrigin(GetSystemMetrics(SM_CYSCREEN), MAIN_WINDOW_HEIGHT);
  MainWindow = CreateWindowExA(0, MainWindowClassName, LookupMessage(0, MSG_CAPTION),
                               MAIN_WINDOW_STYLE, x, y, MAIN_WINDOW_WIDTH, MAIN_WINDOW_HEIGHT,
                               nullptr, nullptr, AppInstance, nullptr);
  return MainWindow != nullptr;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

// Whatever the windows still have queued is handled before the process goes.
void RunFinalMessageLoop() {
  DestroyWindow(MainWindow);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) DispatchMessageA(&message);
}

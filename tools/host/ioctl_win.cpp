#include <io.h>
#include <windows.h>

#include "tools/host/posix_on_windows/sys/ioctl.h"

int ioctl(int fd, unsigned long request, winsize* size) {
  if (request != TIOCGWINSZ || size == nullptr) return -1;
  const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) return -1;
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
    SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING | ENABLE_PROCESSED_OUTPUT);
  }
  if (GetConsoleOutputCP() != CP_UTF8) SetConsoleOutputCP(CP_UTF8);
  size->ws_col = static_cast<unsigned short>(info.srWindow.Right - info.srWindow.Left + 1);
  size->ws_row = static_cast<unsigned short>(info.srWindow.Bottom - info.srWindow.Top + 1);
  size->ws_xpixel = 0;
  size->ws_ypixel = 0;
  return 0;
}

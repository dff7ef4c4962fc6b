// The one terminal query of POSIX that the host's portable files make, the size of the terminal
// (ioctl with TIOCGWINSZ), answered by the Windows console. The Windows build puts this folder on
// the host's include path; Linux has the real header.
#pragma once

// The terminal's size in character cells, as POSIX gives it.
struct winsize {
  unsigned short ws_row;
  unsigned short ws_col;
  unsigned short ws_xpixel;
  unsigned short ws_ypixel;
};

#define TIOCGWINSZ 0x5413

// For TIOCGWINSZ on a descriptor of the console: the rows and columns of the console window
// (pixels 0), and the console made ready for what a terminal is sent, the escape sequences of
// the live table (Windows 10 and later) and UTF-8. 0, or -1 when `fd` is not the console or
// `request` is another.
int ioctl(int fd, unsigned long request, winsize* size);

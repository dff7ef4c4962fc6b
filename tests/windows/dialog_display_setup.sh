#!/usr/bin/env bash
# Prepares the build's Wine prefix for the dialog tests: Wine draws the windows' frames and
# captions itself (no window manager runs on the test display), and the fonts Wine brings
# (MS Sans Serif, Marlett for the caption buttons) are in the prefix's font folder, where every
# Wine finds them. A Wine server left running by the tests before (which run without a display)
# keeps a desktop that has none, and a dialog shown through it never appears: that server is
# ended first, and the one this script starts is waited out, so that the dialog tests start a
# server of their own on their display.
#   dialog_display_setup.sh BUILD_DIR
set -euo pipefail
build_dir=$1
export WINEPREFIX=${WINEPREFIX:-$build_dir/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ]; then
  cp -u /usr/share/wine/fonts/* "$fonts"/
fi
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null
wineserver -w 2>/dev/null || true

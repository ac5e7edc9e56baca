#!/usr/bin/env bash
# Prepares wine for the Windows build's tests: creates the prefix and leaves one persistent
# wine server running with wine's own services started, all detached from any pipe.
#
# A wine server, and the services the first program under it starts, keep the standard output
# of the run that started them; a test reading that output through a pipe would then wait as
# long as the server lives. Starting them here, with no pipe of ours, avoids that, and saves
# the seconds a server start costs every run.
#
# Usage: WINEPREFIX=... start_wine.sh RECORDER
# RECORDER (our recorder_sim.exe) replaces the prefix's shutdown command, so that a test of the
# restart option records the call instead of ending the wine session.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the wine prefix}"
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"
recorder=${1:?the recorder program must be given}
exec </dev/null >/dev/null 2>&1
# A server left by an earlier run may be temporary; start from none.
wineserver -k || true
wine cmd /c exit
# "wineserver -p" refuses to start while the temporary server that created the prefix lives.
timeout 30 wineserver -w || true
setsid wineserver -p
wine cmd /c exit
cp "$recorder" "$WINEPREFIX/drive_c/windows/system32/shutdown.exe"
# Wine would run its own shutdown in place of a file it knows; take the file.
wine reg add 'HKCU\Software\Wine\DllOverrides' /v shutdown.exe /d native /f

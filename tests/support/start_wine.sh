#!/usr/bin/env bash
# Prepares wine for the Windows build's tests: creates the prefix and leaves one persistent
# wine server running with wine's own services started, all detached from any pipe.
#
# A wine server, and the services the first program under it starts, keep the standard output
# of the run that started them; a test reading that output through a pipe would then wait as
# long as the server lives. Starting them here, with no pipe of ours, avoids that, and saves
# the seconds a server start costs every run.
#
# Usage: WINEPREFIX=... start_wine.sh RECORDER WMIC
# The installer runs Windows' own programs from the system folder only, so our stand-ins go
# there: RECORDER (our recorder_sim.exe) replaces the shutdown command, so that a test of the
# restart option records the call instead of ending the wine session, and stands in for the
# timeout command, which wine lacks; WMIC (our wmic_sim.exe) replaces wine's wmic.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the wine prefix}"
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"
recorder=${1:?the recorder program must be given}
wmic=${2:?the simulated wmic must be given}
exec </dev/null >/dev/null 2>&1
# A server left by an earlier run may be temporary; start from none.
wineserver -k || true
wine cmd /c exit
# "wineserver -p" refuses to start while the temporary server that created the prefix lives.
timeout 30 wineserver -w || true
setsid wineserver -p
wine cmd /c exit
system32=$WINEPREFIX/drive_c/windows/system32
cp "$recorder" "$system32/shutdown.exe"
cp "$recorder" "$system32/timeout.exe"
cp "$wmic" "$system32/wbem/wmic.exe"
# Wine would run its own programs in place of files it knows; take the files.
for program in shutdown.exe timeout.exe wmic.exe; do
  wine reg add 'HKCU\Software\Wine\DllOverrides' /v "$program" /d native /f
done

#!/bin/sh
# Runs a Windows program under wine, in $WINEPREFIX.
# Wine's server and the prefix's system processes outlive the program that starts them and
# keep its standard output and error open, so a caller reading them would wait for their
# shutdown after every run. They are started here, detached, and the server is kept for 30 s
# after its last client, so that a run of tests starts them once.
mkdir -p "$WINEPREFIX"
if wineserver -p30 </dev/null >/dev/null 2>&1; then
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi
exec wine "$@"

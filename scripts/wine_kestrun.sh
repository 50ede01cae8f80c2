#!/bin/sh
# Runs the Windows build named by KESTRUN_WINDOWS_EXE under wine with the
# arguments given: the command-line tests start it in place of the Linux one.
exec wine "$KESTRUN_WINDOWS_EXE" "$@"

#!/bin/sh
# Runs the Windows build of kestrun-kit named by KESTRUN_WINDOWS_KIT_EXE
# under wine with the arguments given: the kit's command-line tests start it
# in place of the Linux one.
exec wine "$KESTRUN_WINDOWS_KIT_EXE" "$@"

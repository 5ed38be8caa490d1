#!/bin/sh
# Starts tervane from the desktop menu. The program reads its launcher
# picture from the working directory and writes its discovery logs and test
# records there, so it runs in a folder of the user's own, which gets the
# installed picture the first time.
set -e
here=$(dirname "$(readlink -f "$0")")
dir=${TERVANE_HOME:-"${XDG_DATA_HOME:-$HOME/.local/share}/tervane"}
mkdir -p "$dir"
cd "$dir"
[ -e logo.bmp ] || cp "$here/../share/tervane/logo.bmp" logo.bmp 2>/dev/null || true
exec "$here/tervane" "$@"

#!/usr/bin/env bash
# Installs into a temporary prefix, starts the installed application on a virtual display
# from an unrelated working directory, adds a generated PDF through the Add dialog, presses
# Start and waits for the output: the application must find the tool installed beside it.
# usage: installed-app.sh BUILDDIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
test -x "$tmp/prefix/bin/plyjoin" && test -x "$tmp/prefix/bin/pdfplyjoin"
mkdir -p "$tmp/appdata" "$tmp/in" "$tmp/out" "$tmp/elsewhere"
"$build/bin/pdfplyjoin-sample" "$tmp/in/sample.pdf" 9
printf '[SettingInfo]\nOutputFolder=%s\nInputFolder=%s\n' "$tmp/out" "$tmp/in" \
  > "$tmp/appdata/DIVAdedovuViduvuzoraSettingInfo.ini"

cd "$tmp/elsewhere"
export APPDATA=$tmp/appdata
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$here/drive-installed-app.sh" \
  "$tmp/prefix/bin/plyjoin" "$tmp/out/sample.pdf"
pages=$(pdfinfo "$tmp/out/sample.pdf" | awk '/^Pages:/ {print $2}')
[ "$pages" = 3 ] || { echo "expected 3 sheets, found $pages"; exit 1; }
echo "installed application imposed sample.pdf into 3 sheets"

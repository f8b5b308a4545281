#!/usr/bin/env bash
# Installs into a temporary prefix, starts the installed application on a virtual display
# from an unrelated working directory, adds a generated PDF through the Add dialog, presses
# Start and waits for the output: the application must find the tool installed beside it.
# Then opens a file as the desktop's "Open with" does, by its desktop entry's command.
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
export APPDATA=$tmp/appdata PLYJOIN_JOBS=$tmp/jobs
# The printer application has tests of its own; none is left running here.
export PLYJOIN_NO_PRINTER=1
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$here/drive-installed-app.sh" \
  "$tmp/prefix/bin/plyjoin" "$tmp/out/sample.pdf"
pages=$(pdfinfo "$tmp/out/sample.pdf" | awk '/^Pages:/ {print $2}')
[ "$pages" = 3 ] || { echo "expected 3 sheets, found $pages"; exit 1; }
echo "installed application imposed sample.pdf into 3 sheets"

cp "$tmp/in/sample.pdf" "$tmp/in/open with.pdf"
entry=$tmp/prefix/share/applications/example.tavrell.Plyjoin.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$exec_line" = "plyjoin %F" ] || { echo "unexpected Exec line: $exec_line"; exit 1; }
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$here/drive-installed-app.sh" \
  "$tmp/prefix/bin/plyjoin" "$tmp/out/open with.pdf" "$tmp/in/open with.pdf"
echo "installed application imposed a file given on its command line"
test -f "$tmp/prefix/share/man/man1/plyjoin.1"
# Each program says its version and its licence, without a display.
for program in plyjoin pdfplyjoin; do
  env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/prefix/bin/$program" --version | grep -q '^License GPL-3.0-or-later' ||
    { echo "$program --version does not say its licence"; exit 1; }
done

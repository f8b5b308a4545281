#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass their validators, and the tool's
# manual page documents exactly the options that --help lists.
# usage: desktop-files.sh SOURCEDIR TOOL
set -euo pipefail
src=$1 tool=$2
desktop-file-validate "$src/data/example.tavrell.Plyjoin.desktop"
appstreamcli validate --no-net "$src/data/example.tavrell.Plyjoin.metainfo.xml"
options() { grep -o -E '(^|[ ,|"])\\?-\\?-?[a-z]+' | sed -E 's/^[ ,|"]//; s/\\//g' | sort -u; }
help=$("$tool" --help | options)
man=$(sed -n '/^\.SH OPTIONS/,/^\.SH OUTPUT/p' "$src/tool/pdfplyjoin.1" | grep -E '^\.(B|BI|BR) ' | options)
if [ "$help" != "$man" ]; then
  echo "--help and the manual page differ:"; diff <(echo "$help") <(echo "$man"); exit 1
fi
echo "options: $(echo $help)"

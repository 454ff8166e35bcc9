#!/bin/sh
# Stands in for the browser: appends its one argument (the document to open)
# to $OPEN_LOG as a line; a call with any other number of arguments is
# logged as "argc=N: ...".
if [ $# -eq 1 ]; then line="$1"; else line="argc=$#: $*"; fi
printf '%s\n' "$line" >> "${OPEN_LOG:-/dev/null}"

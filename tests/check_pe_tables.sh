#!/usr/bin/env bash
# Checks PE tables with objdump.
#   exports DLL EXPORTS_CMAKE     the DLL exports exactly the decorated names
#   imports EXE NAME...           EXE imports exactly NAME... from vornex.dll
#   system-dlls BINDIR            every .exe/.dll there is PE32 i386 and needs
#                                 only DLLs that Windows ships (or vornex.dll)
#   max-size FILE BYTES           FILE is at most BYTES long
set -euo pipefail
objdump=i686-w64-mingw32-objdump
mode=$1; shift

exports_of() {  # the names in the export table, one a line, sorted
  $objdump -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF;next} t{t=0}' | sort
}
imports_from() {  # names that $1 imports from DLL $2
  $objdump -p "$1" | awk -v dll="$2" '
    /DLL Name:/ {cur=tolower($3); next}
    cur==tolower(dll) && /^[ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[^ \t]+/ {print $3}
    /^[ \t]*$/ {cur=""}' | sort
}

case $mode in
  exports)
    dll=$1; list=$2
    want=$(sed -n 's/^  \(vornex_[a-z_]*@[0-9]*\)$/_\1/p' "$list" | sort)
    have=$(exports_of "$dll")
    [ "$(echo "$want" | wc -l)" -eq 16 ] || { echo "expected 16 names in $list"; exit 1; }
    if [ "$want" != "$have" ]; then
      echo "export table of $dll differs:"; diff <(echo "$want") <(echo "$have"); exit 1
    fi
    echo "16 decorated exports, nothing else";;
  imports)
    exe=$1; shift
    want=$(printf '%s\n' "$@" | sort)
    have=$(imports_from "$exe" vornex.dll)
    if [ "$want" != "$have" ]; then
      echo "imports of $exe from vornex.dll differ:"; diff <(echo "$want") <(echo "$have"); exit 1
    fi
    echo "$(basename "$exe") imports exactly: $(echo $have)";;
  system-dlls)
    dir=$1; bad=0
    allowed='^(kernel32|user32|gdi32|comdlg32|comctl32|shell32|ole32|oleaut32|advapi32|msvcrt|shlwapi|ws2_32|version|vornex)\.dll$'
    for f in "$dir"/*.exe "$dir"/*.dll; do
      [ -e "$f" ] || continue
      head=$($objdump -f "$f" | grep -c 'file format pei-i386' || true)
      [ "$head" -eq 1 ] || { echo "$f is not PE32 i386"; bad=1; }
      for d in $($objdump -p "$f" | awk '/DLL Name:/{print tolower($3)}'); do
        [[ $d =~ $allowed ]] || { echo "$f needs $d"; bad=1; }
      done
    done
    [ $bad -eq 0 ] && echo "all binaries are PE32 i386 and need only system DLLs"
    exit $bad;;
  max-size)
    size=$(stat -c %s "$1")
    [ "$size" -le "$2" ] || { echo "$(basename "$1") is $size bytes, more than $2"; exit 1; }
    echo "$(basename "$1") is $size bytes (at most $2)";;
  *) echo "usage: $0 exports|imports|system-dlls|max-size ..."; exit 2;;
esac

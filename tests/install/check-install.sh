#!/usr/bin/env bash
# Installs the build into a scratch prefix, as a package would, and checks
# what the desktop reads there: the AppStream description validates, the
# manual pages render without a warning, the thumbnailer entry names a
# program that was installed, and the converter's completion offers its
# options and output types.
set -euo pipefail
build=$1
missing=()
for tool in appstreamcli man bash; do command -v "$tool" >/dev/null || missing+=("$tool"); done
if ((${#missing[@]})); then
  echo "missing: ${missing[*]} (scripts/install-deps.sh --tests installs them)"
  [[ -n ${CI:-} ]] && exit 1 || exit 77
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
status=0
fail() { echo "FAIL: $*"; status=1; }

for file in bin/pictorand32 bin/pictorand32-convert bin/pictorand32-thumbnailer \
    libexec/pictorand32/pictorand32-decoder libexec/pictorand32/pictorand32-metafile-raster \
    share/applications/pictorand32.desktop \
    share/thumbnailers/pictorand32.thumbnailer; do
  [[ -e $prefix/$file ]] || fail "$file is not installed"
done

metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
if [[ -f ${metainfo[0]} ]]; then
  appstreamcli validate --no-net --explain "${metainfo[0]}" || fail "the AppStream description does not validate"
  grep -q '<mediatype>image/x-tga</mediatype>' "${metainfo[0]}" || fail "the AppStream description lists no picture types"
else
  fail "no AppStream description is installed"
fi

for page in pictorand32 pictorand32-convert pictorand32-thumbnailer; do
  file=$prefix/share/man/man1/$page.1
  if [[ ! -f $file ]]; then fail "no manual page $page(1)"; continue; fi
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page(1) renders with warnings: $warnings"
done

# The entry's program is the one installed.
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/thumbnailers/pictorand32.thumbnailer")
[[ -x $prefix/bin/${exec_line%% *} ]] || fail "the thumbnailer entry runs ${exec_line%% *}, which is not installed"

completion=$prefix/share/bash-completion/completions/pictorand32-convert
if [[ -f $completion ]]; then
  offered() { # what the completion offers for the last of the words after the program's name
    PATH=$prefix/bin:$PATH bash -c 'source "$0"; COMP_WORDS=(pictorand32-convert "$@"); COMP_CWORD=$#
      _pictorand32_convert; printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$@"
  }
  types=$("$prefix/bin/pictorand32-convert" --help | sed -n 's/^Converts each FILE to TYPE (\(.*\); default.*/\1/p' | sed 's/ or /, /; s/, /\n/g')
  [[ -n $types ]] || fail "the converter's help names no output types"
  after_t=$(offered -t "")
  for type in $types; do
    grep -qx "$type" <<<"$after_t" || fail "completion after -t does not offer $type"
  done
  options=$(offered --)
  for option in --info --help --quiet; do
    grep -qx -- "$option" <<<"$options" || fail "completion does not offer $option"
  done
else
  fail "no bash completion for the converter"
fi
exit $status

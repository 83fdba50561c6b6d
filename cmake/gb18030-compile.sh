#!/usr/bin/env bash
# Compiler launcher for the fuzzing build with clang (MIYI_FUZZ=ON): compiles
# a GB18030 copy of the source file in place of the UTF-8 one.
#
# GCC turns the sources' UTF-8 literals into GBK with -fexec-charset; clang
# has no such option, but it keeps the bytes of a narrow literal exactly as
# the source holds them. GB18030 gives every GBK character its GBK bytes, so
# the copy's literals are the plug-in's GBK texts. A second byte 0x5C ("\")
# would start an escape in a literal or join the next line to a comment;
# the copy is refused if it holds one.
#   gb18030-compile.sh <compiler> <arguments...> -c <source> ...
set -euo pipefail
args=("$@")
source_index=-1
object=
for i in "${!args[@]}"; do
  case ${args[$i]} in
    -c) source_index=$((i + 1)) ;;
    -o) object=${args[$((i + 1))]} ;;
  esac
done
if (( source_index < 0 )) || [[ -z $object ]]; then exec "$@"; fi  # not a compilation

source=${args[$source_index]}
copy=$object.gb18030.${source##*.}
{
  printf '#line 1 "%s"\n' "$source"
  iconv -f UTF-8 -t GB18030 "$source"
} > "$copy"
perl -0777 -ne '
  while (/\G(?:[\x00-\x80\xFF]|[\x81-\xFE][\x30-\x39][\x81-\xFE][\x30-\x39]|[\x81-\xFE](.))/gs) {
    if (defined $1 && $1 eq "\\") { print STDERR "$ARGV: a GB18030 character ends in 0x5C\n"; exit 1 }
  }' "$copy"
args[$source_index]=$copy
exec "${args[@]}" -iquote "$(dirname "$source")" -Wno-invalid-source-encoding

#!/usr/bin/env bash
# Converts one data time of a batch in a working directory of its own, for
# the batch and Slurm scripts: copies the run control file there, writes the
# date file (the data time the input's file name carries, by the programs'
# one rule, else "nodate"), checks that the input's size fits the control
# file, runs the converter on the input, checks that the work file is the
# size its .gdsinfo gives, keeps the converter's standard output and
# standard error in LOGDIR/<key>.log and its manifest in LOGDIR/<key>.status,
# and prints one progress line. <key> and the manifest are those of
# batch_lib.sh; LOGDIR must hold the batch's batch.id. The layouts and the
# naming rule come from i2m_layout, beside the converter (or where
# locate_programs.sh finds it).
#
#   convert_one.sh CONVERTER CONTROL_FILE WORKROOT LOGDIR INDEX COUNT INPUT
#
# The converter takes the input path up to its first blank, and at most
# `i2m_layout longest-input-path` characters of it: a longer path, or one
# with a blank in a folder's name, is reached through a link to its folder
# in the working directory, so that the outputs still land beside the
# input. A file name with a blank in it, or too long even so, cannot be
# converted and fails its data time saying so.
# Exit status: the converter's (127 without one, 2 for a usage error).
set -euo pipefail

if [ $# -ne 7 ]; then
  echo "usage: convert_one.sh CONVERTER CONTROL_FILE WORKROOT LOGDIR INDEX COUNT INPUT" >&2
  exit 2
fi
converter=$1 control=$2 workroot=$3 logdir=$4 index=$5 count=$6 input=$7
here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
I2M_TOOLS=$here
# shellcheck source=locate_programs.sh
source "$here/locate_programs.sh"
# shellcheck source=batch_lib.sh
source "$here/batch_lib.sh"
layout="$(dirname "$converter")/i2m_layout"
[ -x "$layout" ] || layout=$(i2m_program i2m_layout "${I2M_LAYOUT:-}") || true
# The inspector, where it is installed, gives each work file its verdict.
inspector="$(dirname "$converter")/inspect_work_file"
[ -x "$inspector" ] || inspector=$(i2m_program inspect_work_file "${I2M_INSPECTOR:-}") || inspector=""

case $input in
  /*) absolute=$input ;;
  *) absolute="$PWD/$input" ;;
esac
key=$(batch_key "$index" "$absolute")
log="$logdir/$key.log"
batch=$(cat "$logdir/batch.id")
mkdir -p "$workroot"
work=$(mktemp -d "$workroot/$key.XXXXXX")
base=${absolute##*/}
date_word=$("$layout" data-time "$base" 2> /dev/null || true)
printf '%s\n' "${date_word:-nodate}" > "$work/adate.txt"

# The path the converter is given: the input's own where it can take it.
# Without i2m_layout the data time fails below, saying so.
longest=$("$layout" longest-input-path 2> /dev/null) || longest=0
path=$absolute
if [[ $path == *" "* ]] || [ ${#path} -gt "$longest" ]; then
  ln -s "$(dirname "$absolute")" "$work/input"
  path="input/$base"
fi

# The input's checksum is taken while the converter reads it.
input_sha="" sha_job=""
sha_file="$work/input.sha256"
if [ -f "$absolute" ]; then
  file_sha256 "$absolute" > "$sha_file" &
  sha_job=$!
fi

start=$(date +%s.%N)
status=0
program="none"
command=$(printf 'cd %q && printf %q %q | %q' "$work" '%s\nbatch\n' "$path" "$converter")
# What this script cannot find fails the data time with a line of its own,
# in the log and so in the report (a missing converter: status 127).
if [ ! -x "$converter" ]; then
  echo "convert_one.sh: $converter: no converter there (install it, or set INPUT2MODELDATA)" > "$log"
  status=127
elif [ "$longest" = 0 ]; then
  echo "convert_one.sh: $layout: no i2m_layout there (install it beside the converter, or set I2M_LAYOUT)" > "$log"
  status=127
elif [[ $path == *" "* ]] || [ ${#path} -gt "$longest" ]; then
  echo "convert_one.sh: $absolute: the converter cannot take this file name (a blank in it, or longer than $((longest - 6)) characters: input paths may have at most $longest)" > "$log"
  status=2
elif [ -e "$absolute" ] && [ ! -f "$absolute" ]; then
  echo "convert_one.sh: $absolute: not a regular file (a FIFO, a device or a folder cannot be converted in a batch)" > "$log"
  status=2
elif ! cp "$control" "$work/InputModelInf.txt" 2> /dev/null; then
  echo "convert_one.sh: $control: no run control file (did the import fail?)" > "$log"
  status=2
elif ! misfit=$(input_misfit "$layout" "$control" "$absolute"); then
  echo "convert_one.sh: $absolute: $misfit" > "$log"
  status=2
else
  program=$("$converter" --version 2> /dev/null || echo "$converter")
  (cd "$work" && printf '%s\nbatch\n' "$path" | "$converter") > "$log" 2>&1 || status=$?
  if [ "$status" = 0 ] && ! misfit=$(work_misfit "$layout" "$absolute"); then
    echo "convert_one.sh: $absolute.ZEPwrk: $misfit" >> "$log"
    status=2
  fi
fi
verdict=""
if [ "$status" = 0 ] && [ -n "$inspector" ]; then
  # The inspector's exit status says the same as its verdict line.
  summary=$("$inspector" summary "$absolute.ZEPwrk" 2> /dev/null) || true
  verdict=$(printf '%s\n' "$summary" | sed -n 's/^verdict: //p' | sed 's/ (.*//; s/:$//')
fi
if [ -n "$sha_job" ]; then wait "$sha_job" || true; fi
if [ -s "$sha_file" ]; then input_sha=$(cat "$sha_file"); fi
seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
if ! write_manifest "$logdir/$key.status" "$status" "$seconds" "$batch" "$absolute" "$input_sha" "$program" "$command" \
  "$verdict"; then
  echo "convert_one.sh: $logdir: cannot write the manifest of $absolute (is the disk full?)" >&2
  exit 2
fi

case $status in
  0) outcome="converted${verdict:+, $verdict}" ;;
  3) outcome="stopped: $(tail -n 1 "$log" | sed 's/^ *//')" ;;
  *) outcome="failed ($status): $(grep -m 1 -E '^(Input2ModelData|convert_one.sh): ' "$log" || tail -n 1 "$log")" ;;
esac
echo "[$index/$count] $absolute: $outcome (${seconds} s)"
exit "$status"

# shellcheck shell=bash disable=SC2034  # check_data_time answers in outcome and reason
# Sourced by the batch and Slurm scripts: what a batch is on disk, stated
# once. A batch's log folder holds
#   batch.id        the batch's identity, unique to it
#   inputs.txt      the list: one absolute input path per line; the line
#                   number is the data time's index
#   <key>.log       standard output and error of its conversion
#   <key>.status    its manifest: "name value" lines (see write_manifest)
# where <key> is the six-digit index, "_" and the input's file name, so
# that two inputs never share a key, whatever their paths.
#
# A data time is done when its status is this batch's, its conversion
# ended with exit status 0 (and its work file was then as large as its
# .gdsinfo says), and its work file and .gdsinfo stand beside its input with
# the sizes the manifest gives; verified, also when the SHA-256 of input and
# outputs still equal the manifest's.

# absolute PATH: PATH made absolute against the current folder.
absolute() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }

# value OPTION [VALUE]: an option's value; a missing one is a usage error
# (the fail of the script that sources this file).
value() { [ $# -ge 2 ] || fail "$1 needs a value"; printf '%s\n' "$2"; }

# read_list OUTPUT [INPUT...]: the batch's list, one absolute path per line,
# into OUTPUT: the INPUTs, or the lines of standard input when there are
# none. Blank lines are skipped and a line's CR (a list written on Windows)
# is no part of its name. A path with a tab, or one that exists and is not
# a regular file (a FIFO would hold the batch forever), is refused naming
# it: the return status is 1 and the reason is printed.
read_list() {
  local output=$1 input
  shift
  : > "$output"
  if [ $# -gt 0 ]; then
    for input in "$@"; do list_input "$output" "$input" || return 1; done
  else
    while IFS= read -r input || [ -n "$input" ]; do
      input=${input%$'\r'}
      [[ $input =~ ^[[:space:]]*$ ]] || list_input "$output" "$input" || return 1
    done
  fi
}

# list_input OUTPUT INPUT: one line of read_list.
list_input() {
  case $2 in *$'\t'*) echo "$2: a path with a tab cannot be listed"; return 1 ;; esac
  if [ -e "$2" ] && [ ! -f "$2" ]; then
    echo "$2: not a regular file (a FIFO, a device or a folder cannot be converted in a batch)"
    return 1
  fi
  absolute "$2" >> "$1"
}

# batch_key INDEX INPUT
batch_key() {
  local base=${2##*/}
  printf '%06d_%s' "$1" "$(printf '%s' "$base" | tr -c 'A-Za-z0-9._-' '_')"
}

# new_batch_id: a name no other batch has.
new_batch_id() {
  printf '%s-%s-%s' "$(date -u +%Y%m%dT%H%M%SZ)" "$(hostname -s 2> /dev/null || echo host)" \
    "$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
}

# status_value FILE NAME: the value of line "NAME value" of a manifest.
status_value() {
  local name value
  while IFS=' ' read -r name value; do
    if [ "$name" = "$2" ]; then
      printf '%s\n' "$value"
      return 0
    fi
  done < "$1"
  return 1
}

# check_writable FOLDER: fails, printing why, when FOLDER cannot take a
# file of a few kilobytes (a full disk, no permission): a batch whose logs
# and manifests cannot be written would have nothing true to report.
check_writable() {
  local probe="$1/.write-probe.$$" error
  if ! error=$( { head -c 65536 /dev/zero > "$probe"; } 2>&1); then
    rm -f "$probe"
    printf '%s: cannot write the batch'"'"'s logs there (%s)\n' "$1" "${error##*: }"
    return 1
  fi
  rm -f "$probe"
}

# file_sha256 FILE
file_sha256() { sha256sum < "$1" | cut -d' ' -f1; }

# input_misfit LAYOUT CONTROL INPUT: fails, printing why, when the regular
# file INPUT is not the size the control file's grid and levels give (a
# stream is not measured). LAYOUT is the i2m_layout program.
input_misfit() {
  local layout=$1 control=$2 input=$3 answer bytes records record_bytes size
  [ -f "$input" ] || return 0
  answer=$("$layout" input-size "$control" 2>&1) || { printf '%s\n' "$answer"; return 1; }
  read -r bytes records record_bytes <<< "$answer"
  size=$(stat -c %s "$input")
  [ "$size" = "$bytes" ] && return 0
  if [ $((size % record_bytes)) = 0 ]; then
    printf 'holds %s records, the control file'"'"'s grid and levels need %s\n' "$((size / record_bytes))" "$records"
  else
    printf 'holds %s bytes, the control file'"'"'s grid and levels need %s (%s records of %s bytes)\n' \
      "$size" "$bytes" "$records" "$record_bytes"
  fi
  return 1
}

# work_misfit LAYOUT INPUT: fails, printing why, when INPUT's work file is
# not the size its .gdsinfo gives.
work_misfit() {
  local layout=$1 work="$2.ZEPwrk" expected size
  expected=$("$layout" work-size "$work.gdsinfo" 2>&1) || { printf '%s\n' "$expected"; return 1; }
  size=$(stat -c %s "$work")
  [ "$size" = "$expected" ] && return 0
  printf 'holds %s bytes, its .gdsinfo gives %s\n' "$size" "$expected"
  return 1
}

# write_manifest STATUS_FILE STATUS SECONDS BATCH INPUT INPUT_SHA256 PROGRAM COMMAND [VERDICT]
# Writes the manifest through a temporary name, so that a killed task
# leaves none or a whole one. VERDICT is the inspector's ("ready" or "NOT
# READY, 3 problems"), when it was there to give one.
write_manifest() {
  local file=$1 status=$2 seconds=$3 batch=$4 input=$5 input_sha=$6 program=$7 command=$8 verdict=${9:-}
  local part="$file.$$.part" output
  # A manifest that cannot be written whole is not written at all.
  if ! {
    printf 'status %s\nseconds %s\nbatch %s\ninput %s\n' "$status" "$seconds" "$batch" "$input"
    if [ -f "$input" ]; then printf 'input_size %s\ninput_sha256 %s\n' "$(stat -c %s "$input")" "$input_sha"; fi
    if [ "$status" = 0 ]; then
      for output in "$input.ZEPwrk" "$input.ZEPwrk.gdsinfo"; do
        local kind=work_file
        [ "$output" = "$input.ZEPwrk.gdsinfo" ] && kind=gdsinfo
        printf '%s %s\n%s_size %s\n%s_sha256 %s\n' "$kind" "$output" "$kind" "$(stat -c %s "$output")" "$kind" \
          "$(file_sha256 "$output")"
      done
      if [ -n "$verdict" ]; then printf 'verdict %s\n' "$verdict"; fi
    fi
    printf 'program %s\ncommand %s\n' "$program" "$command"
  } > "$part" 2> /dev/null || ! mv -f "$part" "$file"; then
    rm -f "$part"
    return 1
  fi
}

# check_data_time LOGDIR INDEX INPUT VERIFY: sets `outcome` (converted,
# not_ready, stopped, failed or not_done) and `reason` (for all but
# converted: for not_ready the inspector's verdict). With VERIFY=1 the
# checksums are recomputed too.
check_data_time() {
  local logdir=$1 index=$2 input=$3 verify=$4
  local key status_file status batch file kind size verdict
  key=$(batch_key "$index" "$input")
  status_file="$logdir/$key.status"
  outcome=not_done reason=""
  if [ ! -f "$status_file" ]; then
    reason="no status: not converted in this batch (yet), or its status could not be written"
    return 0
  fi
  batch=$(status_value "$status_file" batch || true)
  if [ "$batch" != "$(cat "$logdir/batch.id")" ]; then
    reason="its status is left from another batch (${batch:-of an older version})"
    return 0
  fi
  status=$(status_value "$status_file" status || echo "?")
  case $status in
    0) ;;
    3) outcome=stopped reason="$(tail -n 1 "$logdir/$key.log" | sed 's/^ *//')"; return 0 ;;
    *) outcome=failed
       reason="(exit $status): $(grep -m 1 -E '^(Input2ModelData|convert_one.sh): ' "$logdir/$key.log" || tail -n 1 "$logdir/$key.log")"
       return 0 ;;
  esac
  for kind in work_file gdsinfo; do
    file=$(status_value "$status_file" "$kind" || true)
    if [ -z "$file" ] || [ ! -f "$file" ]; then
      reason="${file:-its $kind} is missing"
      return 0
    fi
    size=$(stat -c %s "$file")
    if [ "$size" != "$(status_value "$status_file" "${kind}_size" || true)" ]; then
      reason="$file holds $size bytes, not the $(status_value "$status_file" "${kind}_size" || true) it was written with"
      return 0
    fi
  done
  if [ "$verify" = 1 ]; then
    for kind in input work_file gdsinfo; do
      # A record file the import did not keep (--convert) has no checksum.
      if [ "$kind" = input ] && ! status_value "$status_file" input_sha256 > /dev/null; then continue; fi
      file=$(status_value "$status_file" "$kind" || true)
      if [ ! -f "$file" ] || [ "$(file_sha256 "$file")" != "$(status_value "$status_file" "${kind}_sha256" || true)" ]; then
        reason="$file has changed since it was converted (its SHA-256 differs from the manifest's)"
        return 0
      fi
    done
  fi
  outcome=converted
  verdict=$(status_value "$status_file" verdict || true)
  if [[ $verdict == "NOT READY"* ]]; then
    outcome=not_ready reason="the inspector's verdict: $verdict"
  fi
}

# list_inputs LOGDIR: "INDEX<TAB>INPUT" for every line of the batch's list.
list_inputs() { awk -v OFS='\t' '{ print NR, $0 }' "$1/inputs.txt"; }

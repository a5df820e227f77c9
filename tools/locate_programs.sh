# shellcheck shell=bash
# Sourced by the scripts of tools/: where the project's programs are, for a
# script that runs from the repository or from an installed prefix. The
# sourcing script sets I2M_TOOLS to the folder it comes from first.
#
# i2m_program NAME [OVERRIDE]: prints the path of program NAME: OVERRIDE
# when given (a variable the user set), else NAME beside the scripts (an
# installed prefix), else the repository's Release build, else NAME on
# PATH; returns 1, printing the first of these, when none exists.
i2m_program() {
  local name=$1 override=${2:-}
  if [ -n "$override" ]; then
    echo "$override"
    [ -x "$override" ]
    return
  fi
  local candidate
  for candidate in "$I2M_TOOLS/$name" "$I2M_TOOLS/../build/release/bin/$name"; do
    if [ -x "$candidate" ]; then
      echo "$(cd "$(dirname "$candidate")" && pwd)/$name"
      return 0
    fi
  done
  candidate=$(command -v "$name") && { echo "$candidate"; return 0; }
  echo "$I2M_TOOLS/$name"
  return 1
}

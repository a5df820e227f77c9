# shellcheck shell=bash disable=SC2034  # bin is for the sourcing script
# Sourced by the benchmark scripts from the project's top folder: builds
# the Release configuration (quietly) and sets bin to its programs' folder.
cmake --preset release > /dev/null
cmake --build --preset release > /dev/null
bin="$PWD/build/release/bin"

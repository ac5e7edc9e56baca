#!/bin/bash
# Fails unless the generator writes exactly the committed stamp template source.
# Usage: check_reproducible.sh GENERATOR SOURCE_ROOT
#   GENERATOR    the built tools/stamp_template_gen
#   SOURCE_ROOT  the repository root holding src/stamp/stamp_template.cpp
set -eu
if [ $# -ne 2 ]; then
  echo "usage: check_reproducible.sh GENERATOR SOURCE_ROOT" >&2
  exit 2
fi
generator=$1
committed=$2/src/stamp/stamp_template.cpp
fresh=$(mktemp)
trap 'rm -f "$fresh"' EXIT
"$generator" "$fresh"
if ! cmp -s "$fresh" "$committed"; then
  echo "check_reproducible: $committed differs from the generator's output:" >&2
  diff "$committed" "$fresh" | head -20 >&2
  exit 1
fi
echo "check_reproducible: $committed matches the generator's output"

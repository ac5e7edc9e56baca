#!/bin/bash
# Writes the template and stamps of 7, 11, 12, 13, 14 and 23 characters and checks each one with
# check_stamp.py.
# Usage: check_stamp_files.sh GENERATOR WRITE_STAMP_IMAGE [WINDOWS_READER]
#   GENERATOR          the built tools/stamp_template_gen (writes the template image)
#   WRITE_STAMP_IMAGE  the built tests/stamp/write_stamp_image
#   WINDOWS_READER     optional: read_version_info.exe, run under wine as a third reader
# MEFW_RUN, when set, is put in front of the generator and the writer (wine for the Windows build).
set -eu
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: check_stamp_files.sh GENERATOR WRITE_STAMP_IMAGE [WINDOWS_READER]" >&2
  exit 2
fi
generator=$1
writer=$2
check=(/usr/bin/python3 "$(dirname "$0")/check_stamp.py")
if [ $# -eq 3 ]; then check+=(--windows-reader "$3"); fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
${MEFW_RUN:-} "$generator" --image "$work/template.sys" "$work/template.cpp"
"${check[@]}" --template "$work/template.sys" 11.22.33.4444 || failed=1
for version in 1.2.3.4 11.8.50.339 11.8.50.3434 11.22.33.4444 11.22.333.4444 \
  65535.65535.65535.6553; do
  ${MEFW_RUN:-} "$writer" "$version" "$work/$version.sys"
  "${check[@]}" "$work/$version.sys" "$version" || failed=1
done
exit $failed

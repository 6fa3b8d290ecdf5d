#!/bin/sh
# Validates a menu entry with desktop-file-validate.  The validator answers 0
# even after hints and warnings, so anything it says fails the check.
#
#   check-desktop-entry.sh FILE.desktop
said=$(desktop-file-validate "$1" 2>&1)
status=$?
if [ $status -ne 0 ] || [ -n "$said" ]; then
  echo "FAIL: desktop-file-validate $1 (status $status):" >&2
  printf '%s\n' "$said" >&2
  exit 1
fi
echo "$1: valid"

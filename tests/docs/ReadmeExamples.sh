#!/usr/bin/env bash
# Runs the README's examples of running one test, as a reader would copy them, against this
# build: each `ctest -R PATTERN` there must select at least one test, so the examples cannot
# silently go stale when tests are renamed.
# Usage: ReadmeExamples.sh README.md BUILD_DIR
set -euo pipefail
readme=$1
build=$2

mapfile -t patterns < <(grep -oE "ctest -R ('[^']+'|[^ ]+)" "$readme" | sed -E "s/^ctest -R //; s/^'(.*)'$/\1/")
if [ ${#patterns[@]} -eq 0 ]; then
  echo "no 'ctest -R' example found in $readme"
  exit 1
fi

failed=0
for p in "${patterns[@]}"; do
  count=$(cd "$build" && ctest -N -R "$p" | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
  if [ "${count:-0}" -eq 0 ]; then
    echo "README example 'ctest -R $p' selects no test"
    failed=1
  else
    echo "README example 'ctest -R $p' selects $count test(s)"
  fi
done
exit $failed

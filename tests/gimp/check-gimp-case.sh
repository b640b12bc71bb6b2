#!/bin/sh
# The verdict of one case of a GIMP test program, from the results file that
# run-gimp-test.sh had the program write:  check-gimp-case.sh FILE Suite.Case
results=$1 case=$2
if [ ! -f "$results" ]; then
  echo "no results file $results: the GIMP run did not take place"
  exit 1
fi
grep -F "MSG $case | " "$results" | sed "s/^MSG [^|]*| //"
verdict=$(grep -F "RESULT $case " "$results" | tail -n1 | awk '{print $3}')
case "$verdict" in
  PASS) exit 0 ;;
  SKIP) echo "skipped"; exit 0 ;;
  FAIL) exit 1 ;;
  *)
    if grep -qxF "START $case" "$results"; then
      echo "the test program stopped during this case"
    else
      echo "this case did not run (filtered out, or the program stopped earlier)"
    fi
    exit 1 ;;
esac

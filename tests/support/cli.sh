# Helpers of the command-line tests; sourced, not run. A failure is counted and the
# test goes on, so one run lists every fault: the script ends with `exit $((failures > 0))`.
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# expect STATUS COMMAND...: runs the command, stdout to out.txt, stderr to err.txt.
expect() {
  want=$1
  shift
  "$@" > out.txt 2> err.txt
  got=$?
  [ "$got" -eq "$want" ] || fail "$* exited with $got, expected $want: $(cat err.txt)"
}
# has FILE LINE: FILE holds exactly that line.
has() { grep -qxF -- "$2" "$1" || fail "$1 lacks the line '$2': $(cat "$1")"; }

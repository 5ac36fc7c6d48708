# The counters of the shell checks, sourced by them: pass and fail print one line each,
# check runs a command as one check, finish prints "N passed, M failed" last and ends the
# script with 1 when a check failed.
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
check() { # check NAME COMMAND...: passes when COMMAND succeeds
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

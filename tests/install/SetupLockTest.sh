#!/usr/bin/env bash
# scripts/setup.sh waits while another package manager holds its lock, and still fails at once
# on any other error. apt-get, dpkg-query and id are stand-ins on PATH: the first apt-get
# calls meet a held lock, as during unattended-upgrades.
set -euo pipefail
root=$1
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
cat >"$fake/apt-get" <<'SH'
#!/usr/bin/env bash
n=$(($(cat "$FAKE/calls" 2>/dev/null || echo 0) + 1))
echo "$n" >"$FAKE/calls"
echo "$*" >>"$FAKE/args"
if ((n <= ${FAKE_LOCKED:-0})); then
  echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 4242 (apt-get)" >&2
  exit 100
fi
[ -z "${FAKE_FAIL:-}" ] || { echo "E: $FAKE_FAIL" >&2; exit 100; }
SH
printf '#!/bin/sh\nexit 1\n' >"$fake/dpkg-query" # every package missing
printf '#!/bin/sh\necho 0\n' >"$fake/id"
chmod +x "$fake"/*
export FAKE=$fake PATH=$fake:$PATH ORVIK_ROOT=$root ORVIK_APT_LOCK_RETRY=0
failed=0
check() { # check <what> <expected status> <expected apt-get calls> [env...]
  local what=$1 want=$2 calls=$3 status=0
  shift 3
  rm -f "$fake/calls" "$fake/args"
  env "$@" bash -euo pipefail -c 'source "$ORVIK_ROOT/scripts/setup.sh"; orvik_install_packages' >/dev/null 2>&1 || status=$?
  local got
  got=$(cat "$fake/calls" 2>/dev/null || echo 0)
  if [ "$status" != "$want" ] || [ "$got" != "$calls" ]; then
    echo "FAIL $what: status $status (want $want), apt-get called $got times (want $calls)"
    failed=1
  else
    echo "ok   $what"
  fi
}
check "free lock: update and install" 0 2
check "held lock: waited, then update and install" 0 5 FAKE_LOCKED=3
check "another error: no waiting" 100 1 FAKE_FAIL="Unable to locate package nothing"
check "lock held past the wait: gives up" 100 1 FAKE_LOCKED=99 ORVIK_APT_LOCK_WAIT=0
exit $failed

#!/usr/bin/env bash
# Nothing lost when the team database's server goes away, tried from outside with real
# processes: the program imports 1,000 machines into a team database, the server is stopped
# as a crash would stop it while the import goes on, the program is killed with SIGKILL, the
# server starts again, and the program started again stores what waited in its outbox. Every
# machine must arrive once. Needs a build (default build/), Xvfb and the PostgreSQL server
# programs; runs its own throwaway cluster and display, and removes them at the end.
#
#   scripts/outbox-kill-test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
count=1000
work="$(mktemp -d /tmp/quillon-outbox.XXXXXX)"
chmod 0755 "$work"
display=":$((200 + RANDOM % 300))"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  QUILLON_PG_DIR="$work/cluster" scripts/team-server.sh stop >/dev/null 2>&1 || true
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# A copy of the build's program folder: its database and outbox go beside it.
cp -a "$build/bin" "$work/bin"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME"

# An exchange file of 1,000 machines: one fixture's record under 1,000 identifiers.
fixture=tests/fixtures/compare/m1-office-desktop.kqx
python3 - "$fixture" "$count" >"$work/machines.kqx" <<'EOF'
import sys
text = open(sys.argv[1], newline='').read()
head, body = text.split('[System]', 1)
ident = body.split('System ID=', 1)[1].split('\r\n', 1)[0]
out = [head] + ['[System]' + body.replace('System ID=' + ident, 'System ID=OUTBOX-%04d' % i, 1)
                for i in range(1, int(sys.argv[2]) + 1)]
sys.stdout.write(''.join(out))
EOF

eval "$(QUILLON_PG_DIR="$work/cluster" scripts/team-server.sh start)"
uri="$QUILLON_TEST_PG"
"$work/bin/quillon" --init-server --server "$uri" >/dev/null
stored() {
  psql "$uri" -XAtc "SELECT count(*) || ' ' || count(DISTINCT folded) FROM records WHERE sysid LIKE 'OUTBOX-%'" 2>/dev/null || echo "- -"
}
outbox() {
  local f
  f="$(ls "$work/bin/"Outbox*.kqd 2>/dev/null | head -1)"
  [ -n "$f" ] && sqlite3 "$f" "SELECT count(*) FROM streams WHERE name LIKE 'OUTBOX-%'" 2>/dev/null || echo 0
}

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
export DISPLAY="$display"

# -P: a new machine's description prompt would hold the import back.
# First run: the import begins; the server crashes once the first machines are stored.
"$work/bin/quillon" --server "$uri" -P "$work/machines.kqx" >"$work/run1.log" 2>&1 &
program=$!
pids+=($program)
for _ in $(seq 1 600); do
  read -r n _ <<<"$(stored)"
  [ "$n" != "-" ] && [ "$n" -gt 0 ] && break
  sleep 0.05
done
postmaster="$(head -1 "$work/cluster/data/postmaster.pid")"
kill -QUIT "$postmaster"
while kill -0 "$postmaster" 2>/dev/null; do sleep 0.05; done
echo "server stopped with $n machines stored"
# The rest of the import goes on into the outbox; the program is killed once it is there.
for _ in $(seq 1 600); do
  [ "$(( n + $(outbox) ))" -ge $count ] && break
  sleep 0.1
done
echo "in the outbox when the program is killed: $(outbox)"
kill -9 "$program"
wait "$program" 2>/dev/null || true

# The server again, then the program again: what waited is stored.
eval "$(QUILLON_PG_DIR="$work/cluster" scripts/team-server.sh start)"
echo "after the restart, before the program: $(stored) (rows, distinct identifiers)"
"$work/bin/quillon" --server "$uri" -P >"$work/run2.log" 2>&1 &
program=$!
pids+=($program)
result="- -"
for _ in $(seq 1 600); do
  result="$(stored)"
  read -r n _ <<<"$result"
  [ "$n" != "-" ] && [ "$n" -ge $count ] && break
  sleep 0.1
done
sleep 2
result="$(stored)"
echo "after the program started again: $result (rows, distinct identifiers); outbox: $(outbox)"
kill -9 "$program" 2>/dev/null || true
if [ "$result" = "$count $count" ] && [ "$(outbox)" = 0 ]; then
  echo "outbox-kill-test: passed: all $count machines arrived, once each"
else
  echo "outbox-kill-test: FAILED" >&2
  exit 1
fi

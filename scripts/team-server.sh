#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for trying the team database and for the tests: a new folder
# under /tmp owned by an unprivileged user (root hands it to postgres: initdb refuses root),
# a Unix socket in that folder and no TCP port. Nothing of the system's clusters is touched.
#
#   scripts/team-server.sh start    starts one; prints export lines for eval
#   scripts/team-server.sh uri      the administrator's connection URI
#   scripts/team-server.sh status   says whether it runs (exit 0) or not (exit 3)
#   scripts/team-server.sh standby  adds a streaming standby of it (pg_basebackup -R) in the
#                                   folder's standby/, with a socket of its own there; prints
#                                   export lines for eval (QUILLON_TEST_PG_STANDBY)
#   scripts/team-server.sh stop     stops it (and its standby) and removes its folder
#                                   (nothing running: no error)
#
# QUILLON_PG_DIR names the folder (start makes it when missing, and starts a cluster stopped
# in it again; stop, uri and status use it);
# without it, the folder start made is remembered in QUILLON_PG_STATE
# (default ${TMPDIR:-/tmp}/quillon-pg-<uid>.state).
# Every role may log in over the socket without a password, but quillon_password, whose
# password is "right-password", so that a wrong password can be tried.
set -euo pipefail

# Root runs the server as postgres; anyone else runs it as themselves.
owner=postgres
[ "$(id -u)" -eq 0 ] || owner="$(id -un)"
state="${QUILLON_PG_STATE:-${TMPDIR:-/tmp}/quillon-pg-$(id -u).state}"

bindir() {
  local d
  for d in "$(pg_config --bindir 2>/dev/null || true)" /usr/lib/postgresql/*/bin; do
    if [ -n "$d" ] && [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ]; then echo "$d"; return; fi
  done
  echo "team-server: no PostgreSQL server programs (initdb, pg_ctl) found" >&2
  exit 1
}

# Runs a server program as the cluster's owner (initdb and postgres refuse root).
as_owner() {
  if [ "$(id -un)" = "$owner" ]; then "$@"; else runuser -u "$owner" -- "$@"; fi
}

folder() {
  if [ -n "${QUILLON_PG_DIR:-}" ]; then echo "$QUILLON_PG_DIR"
  elif [ -f "$state" ]; then cat "$state"
  fi
}

uri_of() {
  # The socket folder goes in as the host, percent-encoded.
  local enc="${1//\//%2F}"
  echo "postgresql://${owner}@${enc}/postgres"
}

running() {
  [ -n "$1" ] && [ -f "$1/data/PG_VERSION" ] &&
    as_owner "$(bindir)/pg_ctl" -D "$1/data" status >/dev/null 2>&1
}

exports() {
  echo "export QUILLON_PG_DIR='$1'"
  echo "export QUILLON_TEST_PG='$(uri_of "$1")'"
}

start() {
  local dir bin
  bin="$(bindir)"
  dir="$(folder)"
  if [ -n "$dir" ] && running "$dir"; then exports "$dir"; return; fi
  if [ -n "${QUILLON_PG_DIR:-}" ]; then
    dir="$QUILLON_PG_DIR"
    mkdir -p "$dir"
  else
    dir="$(mktemp -d /tmp/quillon-pg.XXXXXX)"
  fi
  # A cluster that was stopped (or crashed) in the folder starts again as it was.
  local fresh=1
  [ -f "$dir/data/PG_VERSION" ] && fresh=0
  if [ $fresh -eq 1 ]; then
    [ "$(id -u)" -ne 0 ] || chown "$owner" "$dir"
    chmod 0755 "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U "$owner" --locale=C.UTF-8 -E UTF8 \
      --auth-local=trust --auth-host=reject >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    cat >"$dir/data/pg_hba.conf" <<'EOF'
# The throwaway cluster: the socket only; one role needs its password.
local all quillon_password scram-sha-256
local all all trust
local replication all trust
EOF
    cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
unix_socket_permissions = 0777
password_encryption = scram-sha-256
fsync = off
EOF
  fi
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
  if [ $fresh -eq 1 ]; then
    as_owner "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -U "$owner" -d postgres \
      -c "CREATE ROLE quillon_password LOGIN PASSWORD 'right-password'" >/dev/null
  fi
  [ -n "${QUILLON_PG_DIR:-}" ] || echo "$dir" >"$state"
  exports "$dir"
}

# The standby's folder: its data and its socket, inside the primary's folder.
standby() {
  local dir bin sb
  bin="$(bindir)"
  dir="$(folder)"
  running "$dir" || { echo "team-server: no throwaway cluster is running" >&2; exit 3; }
  sb="$dir/standby"
  if ! running "$sb"; then
    if [ ! -f "$sb/data/PG_VERSION" ]; then
      # A cluster made before standbys were offered lets replication in now.
      if ! grep -q '^local replication all trust' "$dir/data/pg_hba.conf"; then
        echo 'local replication all trust' >>"$dir/data/pg_hba.conf"
        as_owner "$bin/pg_ctl" -D "$dir/data" reload >/dev/null
      fi
      rm -rf "$sb"
      mkdir -p "$sb"
      [ "$(id -u)" -ne 0 ] || chown "$owner" "$sb"
      chmod 0755 "$sb"
      as_owner "$bin/pg_basebackup" -D "$sb/data" -R -X stream -c fast -h "$dir" -U "$owner" \
        >"$sb/basebackup.log" 2>&1 || { cat "$sb/basebackup.log" >&2; exit 1; }
      echo "unix_socket_directories = '$sb'" >>"$sb/data/postgresql.conf"
    fi
    as_owner "$bin/pg_ctl" -D "$sb/data" -l "$sb/server.log" -w -t 60 start >/dev/null ||
      { cat "$sb/server.log" >&2; exit 1; }
  fi
  echo "export QUILLON_TEST_PG_STANDBY='$(uri_of "$sb")'"
}

stop() {
  local dir
  dir="$(folder)"
  if [ -n "$dir" ] && [ -d "$dir" ]; then
    if running "$dir/standby"; then
      as_owner "$(bindir)/pg_ctl" -D "$dir/standby/data" -m immediate -w stop >/dev/null
    fi
    if running "$dir"; then
      as_owner "$(bindir)/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null
    fi
    case "$dir" in /tmp/*) rm -rf "$dir" ;; *) echo "team-server: $dir left in place" >&2 ;; esac
  fi
  if [ -f "$state" ] && [ "$(cat "$state")" = "$dir" ]; then rm -f "$state"; fi
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  standby) standby ;;
  uri)
    dir="$(folder)"
    running "$dir" || { echo "team-server: no throwaway cluster is running" >&2; exit 3; }
    uri_of "$dir" ;;
  status)
    dir="$(folder)"
    if running "$dir"; then echo "running in $dir"; else echo "not running"; exit 3; fi ;;
  *) echo "usage: $0 start|standby|stop|uri|status" >&2; exit 2 ;;
esac

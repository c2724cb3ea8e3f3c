#!/usr/bin/env bash
# Runs a command beside a PostgreSQL 15 server of its own, in a temporary
# folder, run as the unprivileged user `postgres` (Debian's), listening on a
# Unix socket in that folder and on 127.0.0.1. On the socket every role is
# trusted; over TCP each gives its password (SCRAM). The superuser is
# `admin`, the database `pesolane`.
#   tests/with_postgres.sh COMMAND [ARG...]
# The command gets PESOLANE_PG_SOCKET (the socket's folder), PESOLANE_PG_PORT,
# and PESOLANE_PG_CTL (a script: stop | start, to take the server away and
# bring it back).
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
run_as=()
[ "$(id -u)" -eq 0 ] && run_as=(runuser -u postgres --)
dir=$(mktemp -d /tmp/pesolane-pg.XXXXXX)
chmod 755 "$dir"
[ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${run_as[@]}" "$bin/initdb" -D "$dir/data" -U admin -A trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >/dev/null
cat > "$dir/ctl" <<CTL
#!/bin/sh
# stop | start
exec ${run_as[*]} $bin/pg_ctl -D "$dir/data" -l "$dir/log" -w -m fast \\
  -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off" "\$1" >/dev/null
CTL
chmod 755 "$dir/ctl"
"$dir/ctl" start
trap '"$dir/ctl" stop 2>/dev/null || true; rm -rf "$dir"' EXIT
"${run_as[@]}" psql -q -h "$dir" -p "$port" -U admin -d postgres -c 'CREATE DATABASE pesolane' >/dev/null
export PESOLANE_PG_SOCKET=$dir PESOLANE_PG_PORT=$port PESOLANE_PG_CTL=$dir/ctl
"$@"

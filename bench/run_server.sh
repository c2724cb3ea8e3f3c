#!/usr/bin/env bash
# The server's benchmarks against the server with_postgres.sh started: it is
# prepared, a station's login made, then bench_record's step 6 and bench_server.
#   tests/with_postgres.sh bench/run_server.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
admin="host=$PESOLANE_PG_SOCKET port=$PESOLANE_PG_PORT user=admin dbname=pesolane"
"$build/pesolane" --preparer-serveur --serveur "$admin" >/dev/null
psql -q -d "$admin" -c "CREATE ROLE banc LOGIN IN ROLE pesolane_poste" 2>/dev/null || true
export PESOLANE_BENCH_ADMIN=$admin PESOLANE_BENCH_SERVER="host=$PESOLANE_PG_SOCKET port=$PESOLANE_PG_PORT user=banc dbname=pesolane"
QT_QPA_PLATFORM=offscreen LC_ALL=fr_FR.UTF-8 "$build/bench/bench_record" --benchmark_filter=pressStep6
"$build/bench/bench_server"

#!/usr/bin/env bash
# Runs a command beside a CUPS scheduler of its own, in a temporary folder,
# on a Unix socket (CUPS_SERVER), with three queues whose jobs are kept as
# files: "etiquettes" (the default; each job kept as job-N in
# $PESOLANE_LABELS), "arretee" (stopped) and "refuse" (refusing jobs).
#   tests/with_cups.sh COMMAND [ARG...]
set -euo pipefail
dir=$(mktemp -d /tmp/pesolane-cups.XXXXXX)
chmod 755 "$dir"
mkdir -p "$dir"/{etc,spool,cache,state,log,out,bin/backend}
for d in /usr/lib/cups/*; do [ "$(basename "$d")" = backend ] || ln -s "$d" "$dir/bin/"; done
# Each job's document kept as it came (a raw queue passes the PDF through).
cat > "$dir/bin/backend/keep" <<'EOF'
#!/bin/sh
[ $# -eq 0 ] && { echo 'direct keep "Unknown" "Pesolane test output"'; exit 0; }
out="${DEVICE_URI#keep:}"
if [ $# -ge 6 ]; then cat "$6" > "$out/job-$1.tmp"; else cat > "$out/job-$1.tmp"; fi
mv "$out/job-$1.tmp" "$out/job-$1"
EOF
chmod 700 "$dir/bin/backend/keep"
cat > "$dir/etc/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel warn
Browsing Off
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat > "$dir/etc/cups-files.conf" <<EOF
ServerRoot $dir/etc
ServerBin $dir/bin
CacheDir $dir/cache
StateDir $dir/state
RequestRoot $dir/spool
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
TempDir $dir/spool
EOF
cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" &
cupsd=$!
trap 'kill $cupsd 2>/dev/null; wait $cupsd 2>/dev/null; rm -rf "$dir"' EXIT
export CUPS_SERVER=$dir/cups.sock PESOLANE_LABELS=$dir/out PESOLANE_CUPSD_PID=$cupsd
for _ in $(seq 100); do lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
lpadmin -p etiquettes -E -v "keep:$dir/out" 2>/dev/null
lpadmin -d etiquettes
lpadmin -p arretee -E -v "keep:$dir/out" 2>/dev/null
cupsdisable arretee
lpadmin -p refuse -E -v "keep:$dir/out" 2>/dev/null
cupsreject refuse
"$@"

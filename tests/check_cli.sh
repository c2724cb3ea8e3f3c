#!/usr/bin/env bash
# The program's command line, run as a process: each row gives the
# environment, the arguments, the exit status and the first line printed.
set -uo pipefail
program=$1
failures=0

# A Wayland-only session: a headless compositor and no X display.
runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
weston --backend=headless-backend.so --socket=pesolane-cli --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston=$!
for _ in $(seq 50); do [ -e "$runtime/pesolane-cli" ] && break; sleep 0.1; done

# Two scales on pseudo-terminals: one answers the command S, one sends on its
# own; and three settings folders: none, a good file, a file with a bad value.
here=$(dirname "$0")
"$here/fake_scale.py" --answer 'S S      0100.250 g' --seconds 300 >"$runtime/port" &
scales=$!
"$here/fake_scale.py" --stream 'US,GS,+   12.30 kg' --stream $'\x02ST,GS,+   12.34 kg\x03' --every 0.05 --seconds 300 >"$runtime/stream" &
scales="$scales $!"
# Commands with control bytes, or without a line end; the answers as their manuals give them.
"$here/fake_scale.py" --command '\x1bP' --answer '+    50.20 g  ' --seconds 300 >"$runtime/escp" &
scales="$scales $!"
"$here/fake_scale.py" --command '\nW\r' --answer '\n0012.34lb\r\n00\r\x03' --end '' --seconds 300 >"$runtime/wcr" &
scales="$scales $!"
"$here/fake_scale.py" --command '\x05' --answer 'ST,+00050.20  g' --seconds 300 >"$runtime/enq" &
scales="$scales $!"
# A print of gross, tare and net on its PRINT key, then a silence.
"$here/fake_scale.py" --burst --stream 'GROSS  1.500 kg' --stream 'TARE   0.250 kg' --stream 'NET    1.25 kg' --every 1.5 \
  --seconds 300 >"$runtime/prnt" &
scales="$scales $!"
# USB weighing devices stood in for by FIFOs, each sending its report ten times a second.
python3 - "$runtime" <<'EOF' &
import os, sys, time
reports = {"oz": "03040BFF3419", "g": "030402001400", "over": "030602001400", "under": "030502001400", "moving": "030302001400"}
fds = {n: (os.mkfifo(f"{sys.argv[1]}/hid_{n}"), os.open(f"{sys.argv[1]}/hid_{n}", os.O_RDWR | os.O_NONBLOCK))[1] for n in reports}
for _ in range(3000):
    for n, report in reports.items(): os.write(fds[n], bytes.fromhex(report))  # 300 s fill a sixth of a FIFO
    time.sleep(0.1)
EOF
scales="$scales $!"
trap 'kill $weston $scales 2>/dev/null; rm -rf "$runtime"' EXIT
for _ in $(seq 50); do
  [ -s "$runtime/port" ] && [ -s "$runtime/stream" ] && [ -s "$runtime/escp" ] && [ -s "$runtime/wcr" ] && [ -s "$runtime/enq" ] &&
    [ -s "$runtime/prnt" ] && [ -p "$runtime/hid_moving" ] && break
  sleep 0.1
done
port=$(cat "$runtime/port")
stream=$(cat "$runtime/stream")
mkdir -p "$runtime/empty" "$runtime/good/pesolane" "$runtime/bad/pesolane"
printf '[pesage]\nport=%s\nvitesse=19200\n[journal]\nfichier=journal.db\n' "$port" >"$runtime/good/pesolane/pesolane.conf"
printf '[pesage]\nport=%s\nvitesse=fast\n' "$port" >"$runtime/bad/pesolane/pesolane.conf"
conf=$runtime/bad/pesolane/pesolane.conf
# The record's paths: a name that is not UTF-8, one that ends in a blank, neither of them a record.
mkdir -p "$runtime/journal/pesolane"
printf x >"$runtime/r"$'\xff'.db
printf x >"$runtime/r.db "
other="ne peut être lu : ce fichier n'est pas un journal de comptage de Pesolane."
unusable="pesolane : le journal des comptages n'est pas utilisable : dans @DIR@/journal/pesolane/pesolane.conf, ligne"

# display|arguments|status|first line (stdout, then stderr; * for any)[|settings file, for the display "journal"]
# Status 124: still running after 3 s, the window is open. In the arguments, @SP@ is a blank within one; the
# settings file is printf's format, / a folder in its place.
rows=(
  "none|--help|0|Utilisation : pesolane [OPTION]..."
  "none|-h|0|Utilisation : pesolane [OPTION]..."
  "none|--version|0|pesolane 1.0"
  "none|-v|0|pesolane 1.0"
  "x11|--version|0|pesolane 1.0"
  "none|--bogus|2|pesolane : option inconnue : --bogus"
  "offscreen|--bogus|2|pesolane : option inconnue : --bogus"
  "offscreen|-x|2|pesolane : option inconnue : -x"
  "offscreen|surplus|2|pesolane : argument inattendu : surplus"
  "none|-platform|2|pesolane : il manque la valeur d'une option"
  "none|-style Fusion -platform offscreen --version|0|pesolane 1.0"
  "none|-platform offscreen -style Fusion -reverse|124|*"
  "wayland||124|*"
  "none||1|pesolane : aucun affichage graphique (ni DISPLAY ni WAYLAND_DISPLAY n'est défini) ; lancez le programme depuis une session de bureau."
  "none|--port @PORT@ --lire-poids|0|0100.250 g"
  "none|--lire-poids --port @STREAM@ --protocole continu --delai 2|0|12.34 kg"
  "none|--lire-poids --port @PORT@ --protocole continu --delai 0.5|1|pesolane : L'instrument de pesage (port @PORT@) n'a donné aucune pesée stable en 0,5 s : vérifiez qu'il est allumé, relié et réglé comme le programme (vitesse, format, protocole)."
  "none|--lire-poids --port /dev/pesolane-absent|1|pesolane : Le port série /dev/pesolane-absent de l'instrument de pesage n'existe pas : vérifiez le câble et le nom du port."
  "none|--lire-poids|1|pesolane : Aucun instrument de pesage n'est configuré ni branché en USB : indiquez son port série avec l'option --port, ou par « port = » dans la section [pesage] du fichier ~/.config/pesolane/pesolane.conf."
  "good|--lire-poids --format 7E1|0|0100.250 g"
  "bad|--lire-poids|1|pesolane : L'instrument de pesage n'est pas utilisable : dans @CONF@, section [pesage] : vitesse invalide : fast (attendu : 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 ou 115200)."
  "bad|--lire-poids --vitesse 4800|0|0100.250 g"
  "bad|-platform offscreen|124|*"
  "nobody|--lire-poids --port @PORT@|1|pesolane : Le port série @PORT@ de l'instrument de pesage n'est pas accessible : le compte doit appartenir au groupe dialout (sudo adduser \$USER dialout, puis ouvrir une nouvelle session)."
  "none|--vitesse 9601|2|pesolane : vitesse invalide : 9601 (attendu : 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 ou 115200)"
  "offscreen|--format 8M1|2|pesolane : format invalide : 8M1 (attendu : bits de données 7 ou 8, parité N, E ou O, bits d'arrêt 1 ou 2 : 8N1, 7E1, 8N2...)"
  "none|--lire-poids --port @ESCP@ --commande \eP --fin-commande aucune --format 7O2|0|50.20 g"
  "none|--lire-poids --port @ESCP@ --commande \eP|0|50.20 g"
  "none|--lire-poids --port @ESCP@ --commande SI|1|pesolane : L'instrument de pesage n'a pas compris la commande « SI » : vérifiez le réglage commande."
  "none|--lire-poids --port @WCR@ --commande \nW --fin-commande cr|0|0012.34 lb"
  "none|--lire-poids --port @ENQ@ --commande \x05 --fin-commande aucune|0|00050.20 g"
  "none|--lire-poids --port @PRNT@ --protocole impression --delai 5|0|1.25 kg"
  "none|--lire-poids --port @HID@oz --protocole hid|0|645.2 oz"
  "none|--lire-poids --port @HID@g --protocole hid|0|20 g"
  "none|--lire-poids --port @HID@over --protocole hid|1|pesolane : La charge dépasse la portée de l'instrument de pesage."
  "none|--lire-poids --port @HID@under --protocole hid|1|pesolane : La pesée est négative ou sous le zéro : remettez l'instrument de pesage à zéro, puis recommencez."
  "none|--lire-poids --port @HID@moving --protocole hid --delai 0.5|1|pesolane : La pesée est instable : attendez que l'affichage de l'instrument de pesage se stabilise, puis recommencez."
  "none|--lire-poids --port /dev/hidraw99|1|pesolane : L'instrument de pesage USB /dev/hidraw99 est absent : vérifiez qu'il est branché et allumé, et le chemin donné par --port ou « port = »."
  "nobody|--lire-poids --port @HID@g --protocole hid|1|pesolane : L'instrument de pesage USB @HID@g n'est pas accessible : la règle udev du paquet pesolane (/lib/udev/rules.d/60-pesolane.rules) en donne l'accès pour les instruments de pesage USB courants ; installez le paquet, puis débranchez et rebranchez l'instrument. S'il n'y figure pas, ajoutez ses identifiants à une copie de cette règle dans /etc/udev/rules.d/ (voir man pesolane)."
  "none|--fin-commande CRLF|2|pesolane : fin-commande invalide : CRLF (attendu : crlf, cr, lf ou aucune)"
  "none|--commande \q|2|pesolane : commande invalide : \q (attendu : de 1 à 16 octets : caractères imprimables sans espace, \e, \xHH, \r, \n, \t ou \\\\)"
  "none|--protocole auto --lire-poids|2|pesolane : protocole invalide : auto (attendu : commande, continu, impression ou hid)"
  "none|--delai 0|2|pesolane : délai invalide : 0 (attendu : un nombre de secondes écrit avec un point, plus grand que 0 et au plus 600)"
  "none|--lire-poids --commande|2|pesolane : il manque la valeur d'une option"
  "none|--exporter --journal @DIR@/absent.db|1|pesolane : le journal @DIR@/absent.db n'existe pas."
  "none|--exporter --journal @DIR@/port|1|pesolane : le journal @DIR@/port ne peut être lu : ce fichier n'est pas un journal de comptage de Pesolane."
  "none|--exporter|1|pesolane : aucun journal des comptages n'est configuré : indiquez-le avec --journal CHEMIN, ou par « fichier= » dans la section [journal] de @DIR@/empty/pesolane/pesolane.conf."
  "good|--exporter|1|pesolane : le journal @DIR@/good/pesolane/journal.db n'existe pas."
  "none|--exporter --depuis 2026-02-30|2|pesolane : date invalide : 2026-02-30 (attendu : AAAA-MM-JJ, par exemple 2026-12-08)"
  "none|--exporter --jusqu-a 08/12/2026|2|pesolane : date invalide : 08/12/2026 (attendu : AAAA-MM-JJ, par exemple 2026-12-08)"
  "none|--depuis 2026-12-08|2|pesolane : --depuis ne s'emploie qu'avec --exporter"
  "none|--exporter a.csv b.csv|2|pesolane : argument inattendu : b.csv"
  "none|--exporter --journal|2|pesolane : il manque la valeur d'une option"
  "offscreen|--journal @DIR@/absent/journal.db --article x|124|*"
  "none|--exporter --journal @DIR@/hid_g|1|pesolane : le journal @DIR@/hid_g ne peut être lu : c'est un tube nommé (FIFO), pas un fichier."
  "none|--exporter --journal /dev/null|1|pesolane : le journal /dev/null ne peut être lu : c'est un périphérique, pas un fichier."
  "none|--exporter --journal @DIR@/r"$'\xff'".db|1|pesolane : le journal @DIR@/r"$'\xff'".db $other"
  "none|--exporter --journal @DIR@/r.db@SP@|1|pesolane : le journal @DIR@/r.db  $other"
  "journal|--exporter|1|pesolane : le journal @DIR@/r"$'\xff'".db $other|[journal]\nfichier=@DIR@/r\xff.db\n"
  "journal|--exporter|1|pesolane : le journal @DIR@/j.db n'existe pas.|[journal]\nfichier=~/j.db\n"
  "journal|--exporter|1|pesolane : le journal @DIR@/journal/pesolane/a, b/j.db n'existe pas.|[journal]\nfichier=a, b/j.db\n"
  "journal|--exporter|1|pesolane : le journal @DIR@/journal/pesolane/a;b  n'existe pas.|[journal]\nfichier=\"a;b \"\n"
  "journal|--exporter|1|$unusable 2 : un « ; » hors de guillemets : écrivez le chemin entre guillemets (fichier=\"a;b\") ; --journal CHEMIN l'emporte sur le fichier.|[journal]\nfichier=a;b\n"
  "journal|--exporter|1|$unusable 1 : la section [Journal] n'est pas lue : elle s'écrit [journal] ; --journal CHEMIN l'emporte sur le fichier.|[Journal]\nfichier=j.db\n"
  "journal|--exporter --journal @DIR@/absent.db|1|pesolane : le journal @DIR@/absent.db n'existe pas.|[journal]\nfichir=j.db\n"
  "journal|-platform offscreen|124|$unusable 2 : réglage inconnu : fichir ; aucun comptage ne sera enregistré.|[journal]\nfichir=j.db\n"
  "journal|--exporter|1|pesolane : le journal des comptages n'est pas utilisable : le fichier @DIR@/journal/pesolane/pesolane.conf est illisible (c'est un dossier) ; --journal CHEMIN l'emporte sur le fichier.|/"
  "none|--poste banc-a --exporter|2|pesolane : --poste ne s'emploie qu'avec --exporter --serveur"
  "none|--etat-journal|2|pesolane : --etat-journal : aucun serveur n'est configuré : indiquez-le avec --serveur CONNEXION, ou par « serveur= » dans la section [journal]"
  "none|--envoyer-journal --serveur|2|pesolane : il manque la valeur d'une option"
  "journal|--exporter|1|pesolane : le journal @DIR@/.local/share/pesolane/journal.sqlite n'existe pas.|[journal]\nserveur=service=pesolane\n"
  "journal|--etat-journal|0|Rien n'attend d'être envoyé au serveur.|[journal]\nserveur=postgresql://poste@127.0.0.1:1/pesolane\n"
  "journal|--envoyer-journal --serveur hote=x|0|Envoyés au serveur : aucun comptage ni lot.|[journal]\nfichier=@DIR@/absent.db\n"
  "journal|--etat-journal --serveur hote=x|2|Rien n'attend d'être envoyé au serveur.|[journal]\nfichier=@DIR@/absent.db\n"
  "journal|--preparer-serveur --serveur postgresql://admin@127.0.0.1:1/pesolane|1|*|"
)

for row in "${rows[@]}"; do
  IFS='|' read -r display args status first settings <<<"$row"
  args=${args//@PORT@/$port}
  args=${args//@STREAM@/$stream}
  args=${args//@HID@/$runtime/hid_}
  args=${args//@DIR@/$runtime}
  for scale in escp wcr enq prnt; do
    name=@${scale^^}@
    args=${args//$name/$(cat "$runtime/$scale")}
  done
  first=${first//@PORT@/$port}
  first=${first//@CONF@/$conf}
  first=${first//@HID@/$runtime/hid_}
  first=${first//@DIR@/$runtime}
  env=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=fr_FR.UTF-8 XDG_CONFIG_HOME="$runtime/empty")
  case $display in
    good | bad) env+=(XDG_CONFIG_HOME="$runtime/$display") ;;
    nobody)  # an account outside the dialout group
      if ! runuser -u nobody -- test -x "$program"; then echo "skip [nobody] the program is out of its reach"; continue; fi
      env=(runuser -u nobody -- "${env[@]}") ;;
    offscreen) env+=(QT_QPA_PLATFORM=offscreen) ;;
    journal)
      env+=(XDG_CONFIG_HOME="$runtime/journal" HOME="$runtime" XDG_DATA_HOME=)
      rm -rf "$runtime/journal/pesolane/pesolane.conf"
      if [ "$settings" = / ]; then mkdir "$runtime/journal/pesolane/pesolane.conf"
      else printf "${settings//@DIR@/$runtime}" >"$runtime/journal/pesolane/pesolane.conf"; fi ;;
    x11) env+=(DISPLAY=:97) ;;  # a display that does not exist: --version must not need it
    wayland) env+=(WAYLAND_DISPLAY=pesolane-cli) ;;
  esac
  read -ra argv <<<"$args"
  output=$("${env[@]}" timeout 3 "$program" "${argv[@]//@SP@/ }" 2>/tmp/pesolane_cli_err.$$)
  got=$?
  line=$( { printf '%s\n' "$output"; cat /tmp/pesolane_cli_err.$$; } | grep -a -m1 -v '^$')
  if [ "$got" != "$status" ] || { [ "$first" != "*" ] && [ "$line" != "$first" ]; }; then
    echo "FAIL [$display] pesolane $args: status $got (want $status), first line '$line' (want '$first')"
    failures=$((failures + 1))
  else
    echo "ok   [$display] pesolane $args: $got, $line"
  fi
  # An error is one line, then the usage (a server that refuses is no wrong command line).
  if [ "$status" = 2 ] && [[ $args != *"--serveur hote="* ]] && ! sed -n 2p /tmp/pesolane_cli_err.$$ | grep -q '^Utilisation : pesolane'; then
    echo "FAIL [$display] pesolane $args: the usage does not follow the error"
    failures=$((failures + 1))
  fi
done
rm -f /tmp/pesolane_cli_err.$$

# The search: one scale of each family at settings other than its maker's,
# found by --chercher, then read by --lire-poids. Each records every byte
# it gets: nothing outside the probes and the commands found.
# name|scale's options|what the search writes (speed format protocol command end)|weight read
searches=(
  "find_sics|--speed 4800 --command SI\r\n --command S\r\n --answer S\x20S\x20\x20\x20\x20100.25\x20g|4800 8N1 commande S crlf|100.25 g"
  "find_sbi|--speed 2400 --format 7E1 --command \x1bP --answer +\x20\x20\x20\x2050.20\x20g\x20\x20|2400 7E1 commande \\\\eP crlf|50.20 g"
  "find_nci|--speed 4800 --format 7E1 --command W\r --answer \n0012.34lb\r\n00\r\x03 --end=|4800 7E1 commande W cr|0012.34 lb"
  "find_sma|--speed 19200 --command \nW\r --answer \n0012.34lb\r\n00\r\x03 --end=|19200 8N1 commande \\\\nW cr|0012.34 lb"
  "find_dini|--speed 2400 --command READ\r\n --answer ST,GS,\x20\x20\x20\x200.5,kg|2400 8N1 commande READ crlf|0.5 kg"
  "find_enq|--speed 1200 --command \x05 --answer ST,+00050.20\x20\x20g|1200 8N1 commande \\\\x05 aucune|00050.20 g"
  "find_stream|--speed 9600 --format 7E1 --stream ST,GS,+\x20\x20100.25\x20g --every 0.1|9600 7E1 continu - -|100.25 g"
  "find_once|--speed 2400 --format 7E1 --once --command SI\r\n --answer S\x20S\x20\x20\x20\x201.25\x20kg|2400 7E1 impression - -|"
  "find_si_only|--speed 9600 --format 7E1 --command SI\r\n --answer S\x20S\x20\x20\x20\x202.50\x20g|9600 7E1 commande SI crlf|2.50 g"
  "find_net|--speed 9600 --format 7E1 --reply G\r\n G\x20+\x20\x202.00\x20kg --reply N\r\n N\x20+\x20\x201.00\x20kg|9600 7E1 commande N crlf|1.00 kg"
  "find_print|--speed 4800 --burst --stream GROSS\x20\x201.500\x20kg --stream TARE\x20\x20\x200.250\x20kg --stream NET\x20\x20\x20\x201.25\x20kg --every 1.5|4800 8N1 impression - -|1.25 kg"
)
searching=()
for row in "${searches[@]}"; do
  IFS='|' read -r name options _ _ <<<"$row"
  read -ra options <<<"$options"
  mkdir -p "$runtime/$name/pesolane"
  printf '; the operator'"'"'s own\n[affichage]\ntheme=sombre\n\n[pesage]\ndelai=8\n; on the bench\n' >"$runtime/$name/pesolane/pesolane.conf"
  "$here/fake_scale.py" "${options[@]}" --record "$runtime/$name/heard" --seconds 120 >"$runtime/$name/port" &
  scales="$scales $!"
  for _ in $(seq 50); do [ -s "$runtime/$name/port" ] && break; sleep 0.1; done
  env -u DISPLAY -u WAYLAND_DISPLAY LC_ALL=fr_FR.UTF-8 XDG_CONFIG_HOME="$runtime/$name" \
    timeout 60 "$program" --chercher "$(cat "$runtime/$name/port")" >"$runtime/$name/out" 2>"$runtime/$name/err" &
  searching+=($!)
done
for row in "${searches[@]}"; do
  IFS='|' read -r name _ want weight <<<"$row"
  wait "${searching[0]}"
  searching=("${searching[@]:1}")
  read -r speed format protocol command end <<<"$want"
  sport=$(cat "$runtime/$name/port")
  conf=$runtime/$name/pesolane/pesolane.conf
  expected="; the operator's own
[affichage]
theme=sombre

[pesage]
delai=8
; on the bench
port=$sport
vitesse=$speed
format=$format
protocole=$protocol"
  [ "$command" != - ] && expected+=$'\n'"commande=$command"$'\n'"fin-commande=$end"
  if [ "$(cat "$conf")" != "$expected" ]; then
    echo "FAIL search $name: the file holds"; cat "$conf"; echo "--- want"; echo "$expected"; tail -3 "$runtime/$name/err"
    failures=$((failures + 1))
    continue
  fi
  # What the search shows is what F9 reads: a print by its net.
  if [ -n "$weight" ] && ! grep -qxF "Pesée affichée : $weight" "$runtime/$name/out"; then
    echo "FAIL search $name: it shows '$(grep -m1 '^Pesée' "$runtime/$name/out")', want '$weight'"; failures=$((failures + 1)); continue
  fi
  if [ -n "$weight" ]; then
    got=$(env LC_ALL=fr_FR.UTF-8 XDG_CONFIG_HOME="$runtime/$name" timeout 20 "$program" --lire-poids 2>&1)
    [ "$got" = "$weight" ] || { echo "FAIL search $name: --lire-poids gives '$got', want '$weight'"; failures=$((failures + 1)); continue; }
  fi
  # Nothing sent but the probes, the clearing CR LF after ENQ, S or N once SI or G answered, and LF W CR
  # asked again after a CR alone.
  left=$(python3 -c '
import sys
data, sent = open(sys.argv[1], "rb").read(), [b"SI\r\n", b"\x1bP\r\n", b"IP\r\n", b"\nW\r", b"W\r", b"READ\r\n",
                                             b"G\r\n", b"\x05\r\n", b"\x05", b"S\r\n", b"N\r\n", b"\r\nW\r"]
while data:  # read as a run of whole sequences, the longest first
    probe = max((p for p in sent if data.startswith(p)), key=len, default=None)
    if not probe:
        sys.exit(print(repr(data[:40])))
    data = data[len(probe):]' "$runtime/$name/heard" 2>/dev/null)  # no file: nothing sent
  if [ -n "$left" ]; then echo "FAIL search $name: sent outside the probes: $left"; failures=$((failures + 1)); continue; fi
  # No W CR LF on the line, but to a scale that answers LF W CR and not W CR: LF starts each of its commands.
  if [ "$command" != '\\nW' ] && [ -e "$runtime/$name/heard" ] &&
    python3 -c 'import sys; sys.exit(b"W\r\n" not in open(sys.argv[1], "rb").read())' "$runtime/$name/heard"; then
    echo "FAIL search $name: W CR LF sent"; failures=$((failures + 1)); continue
  fi
  echo "ok   search $name: found at $want, read $weight"
done

# Nothing found: a silent port, a port that echoes (the file untouched, exit
# 1); a port that does not open, named, and the search goes on; Ctrl-C.
"$here/fake_scale.py" --seconds 120 >"$runtime/silent" &
scales="$scales $!"
"$here/fake_scale.py" --echo --seconds 120 >"$runtime/echo" &
scales="$scales $!"
# A device that answers only with its gross; one that sends temperatures (at 9600 bauds only): no scale, and at
# another speed, what it sends unasked is heard and it is asked nothing.
"$here/fake_scale.py" --command 'G\r\n' --answer 'G +  2.00 kg' --seconds 120 >"$runtime/gross" &
scales="$scales $!"
"$here/fake_scale.py" --speed 9600 --stream '  21.5 C' --every 0.1 --seconds 120 >"$runtime/thermo" &
scales="$scales $!"
"$here/fake_scale.py" --record "$runtime/cut_heard" --seconds 120 >"$runtime/cut" &
scales="$scales $!"
for _ in $(seq 50); do for f in silent echo gross thermo cut; do [ -s "$runtime/$f" ] || { sleep 0.1; continue 2; }; done; break; done
mkdir -p "$runtime/none/pesolane"
printf '[pesage]\nport=/dev/ttyS9\n' >"$runtime/none/pesolane/pesolane.conf"
search() { env LC_ALL=fr_FR.UTF-8 XDG_CONFIG_HOME="$runtime/none" timeout 30 "$program" --chercher "$@" 2>&1; }
tried="vitesses 9600 ; formats 8N1 ; écoute, questions"
probes="SI CR LF ; ESC P CR LF ; IP CR LF ; LF W CR ; W CR ; READ CR LF ; G CR LF ; ENQ."
# status|what is said|arguments|the settings file, when not the usual one
nothing=(
  "1|pesolane : aucun instrument de pesage trouvé. Essayé en 10 essais : vitesses 9600 ; formats 8N1 ; écoute, questions S CR LF ; SI CR LF ; ESC P CR LF ; IP CR LF ; LF W CR ; W CR ; READ CR LF ; G CR LF ; ENQ.|$(cat "$runtime/silent") --vitesse 9600 --format 8N1"
  "1|pesolane : aucun instrument de pesage trouvé. Essayé en 10 essais : vitesses 9600 ; formats 8N1 ; écoute, questions S CR LF ; SI CR LF ; ESC P CR LF ; IP CR LF ; LF W CR ; W CR ; READ CR LF ; G CR LF ; ENQ.|$(cat "$runtime/echo") --vitesse 9600 --format 8N1"
  "0|Pesée affichée : 20 g|$runtime/hid_g --protocole hid"
  "0|Le port série /dev/pesolane-absent de l'instrument de pesage n'existe pas : vérifiez le câble et le nom du port.|/dev/pesolane-absent $(cat "$runtime/find_sics/port") --vitesse 4800 --format 8N1 --protocole commande"
  "1|L'instrument de pesage USB /dev/hidraw99 est absent : vérifiez qu'il est branché et allumé, et le chemin donné par --port ou « port = ».|/dev/hidraw99 --protocole hid"
  "1|pesolane : aucun instrument de pesage trouvé. Essayé en 10 essais : $tried S CR LF ; $probes|$(cat "$runtime/gross") --vitesse 9600 --format 8N1"
  "1|pesolane : aucun instrument de pesage trouvé. Essayé en 1 essais : $tried S CR LF ; $probes|$(cat "$runtime/thermo") --vitesse 9600 --format 8N1"
  "1|pesolane : aucun instrument de pesage trouvé. Essayé en 1 essais : vitesses 19200 ; formats 8N1 ; écoute, questions S CR LF ; $probes|$(cat "$runtime/thermo") --vitesse 19200 --format 8N1"
  "1|pesolane : aucun instrument de pesage trouvé. Essayé en 9 essais : $tried $probes|$(cat "$runtime/cut") --vitesse 9600 --format 8N1|[pesage]\ncommande=P;X\n"
)
for row in "${nothing[@]}"; do
  IFS='|' read -r status said args conf <<<"$row"
  printf "${conf:-[pesage]\\nport=/dev/ttyS9\\n}" >"$runtime/none/pesolane/pesolane.conf"
  cp "$runtime/none/pesolane/pesolane.conf" "$runtime/before"
  # shellcheck disable=SC2086
  err=$(search $args)
  got=$?
  if [ "$got" != "$status" ] || ! grep -qxF "$said" <<<"$err" ||
    { [ "$status" = 1 ] && ! cmp -s "$runtime/before" "$runtime/none/pesolane/pesolane.conf"; }; then
    echo "FAIL pesolane --chercher $args: status $got (want $status), said:"; echo "$err" | grep -v '^\['
    failures=$((failures + 1))
  else
    echo "ok   pesolane --chercher $args: $got"
  fi
done
# The command the file holds cut at its ';' was never sent (it would have gone first): F9 would not send it either.
head -c 3 "$runtime/cut_heard" | grep -q '^P' && { echo "FAIL pesolane --chercher: P sent"; failures=$((failures + 1)); }
printf '[pesage]\nport=/dev/ttyS9\n' >"$runtime/none/pesolane/pesolane.conf"
cp "$runtime/none/pesolane/pesolane.conf" "$runtime/before"
env LC_ALL=fr_FR.UTF-8 XDG_CONFIG_HOME="$runtime/none" "$program" --chercher "$(cat "$runtime/silent")" >/dev/null 2>"$runtime/stopped" &
searcher=$!
sleep 1.5
kill -INT $searcher
wait $searcher
got=$?
if [ "$got" = 130 ] && grep -q "^Recherche interrompue : le fichier des réglages n'a pas été modifié.$" "$runtime/stopped" &&
  cmp -s "$runtime/before" "$runtime/none/pesolane/pesolane.conf"; then
  echo "ok   pesolane --chercher, Ctrl-C: 130, nothing written"
else
  echo "FAIL pesolane --chercher, Ctrl-C: status $got"; tail -2 "$runtime/stopped"
  failures=$((failures + 1))
fi
rm -f /tmp/pesolane_cli_err.$$
exit $((failures > 0))

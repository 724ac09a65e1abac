#!/usr/bin/env bash
# A local PostgreSQL server for trying the editor (or several zrk-host processes) against one template store.
#
#   scripts/pg-local.sh [start] [--dir FOLDER] [--port PORT]   make (first time) and start the server, print its address
#   scripts/pg-local.sh stop    [--dir FOLDER]                 stop it (the data stays for the next start)
#   scripts/pg-local.sh address [--dir FOLDER]                 print the address of the server made there
#
# The server's folder is FOLDER, else $XDG_DATA_HOME/zrk/pg-local (~/.local/share/zrk/pg-local). It listens on
# the loopback address only, on PORT or a free port (kept for later starts), with password authentication. A
# database "zrk_templates" and a user "zrk_station" who owns it are made for the stations; the password is
# made at random on the first start and kept in the folder (readable by its owner only). Run as root, the
# server runs as the user "nobody" (the server refuses root) and the folder is given to that user.
#
# Then:  build/bin/zrk-host --store "$(scripts/pg-local.sh address)"
set -euo pipefail

command=start
if [[ $# -gt 0 && $1 != --* ]]; then
    command=$1
    shift
fi
folder="${XDG_DATA_HOME:-$HOME/.local/share}/zrk/pg-local"
port=""
while [[ $# -gt 0 ]]; do
    case $1 in
        --dir) folder=${2:?--dir needs a folder}; shift 2 ;;
        --port) port=${2:?--port needs a number}; shift 2 ;;
        -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "pg-local.sh: unknown argument: $1" >&2; exit 2 ;;
    esac
done
if [[ -n $port && ! $port =~ ^[0-9]+$ ]] || [[ -n $port && ( $port -lt 1 || $port -gt 65535 ) ]]; then
    echo "pg-local.sh: the port must be a number from 1 to 65535: $port" >&2
    exit 2
fi

bin=${ZRK_PG_BIN:-}
if [[ -z $bin ]]; then
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -t/ -k5 -n | tail -1 || true)
fi
if [[ -z $bin || ! -x $bin/initdb || ! -x $bin/pg_ctl ]]; then
    echo "pg-local.sh: the PostgreSQL server is not installed (scripts/setup.sh --deps installs it)" >&2
    exit 1
fi

# The server never runs as root: as root, every server command runs as nobody, from "/".
as_server=()
if [[ $(id -u) -eq 0 ]]; then
    as_server=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
run() { (cd / && "${as_server[@]}" "$@"); }

folder=$(realpath -m "$folder")
data="$folder/data"
address_of() {
    echo "postgresql://zrk_station:$(cat "$folder/password")@127.0.0.1:$(cat "$folder/port")/zrk_templates"
}

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case $command in
    stop)
        if [[ -f $data/postmaster.pid ]]; then
            run "$bin/pg_ctl" -D "$data" -m fast -w stop >/dev/null
            echo "stopped the server in $folder"
        else
            echo "no server is running in $folder"
        fi
        ;;
    address)
        [[ -f $folder/port && -f $folder/password ]] || { echo "pg-local.sh: no server was made in $folder" >&2; exit 1; }
        address_of
        ;;
    start)
        if [[ ! -d $data ]]; then
            mkdir -p "$folder"
            if [[ ${#as_server[@]} -ne 0 ]] && ! run test -x "$(dirname "$folder")"; then
                echo "pg-local.sh: run as root, the server runs as the user nobody, who cannot reach" \
                     "$(dirname "$folder"); choose a folder it can reach, e.g. --dir /var/tmp/zrk-pg-local" >&2
                rmdir "$folder" 2>/dev/null || true
                exit 1
            fi
            chmod 700 "$folder"
            umask 077
            # A password of hexadecimal digits only: it goes into an address without escaping.
            od -An -N12 -tx1 /dev/urandom | tr -d ' \n' >"$folder/password"
            od -An -N12 -tx1 /dev/urandom | tr -d ' \n' >"$folder/admin-password"
            echo "${port:-$(free_port)}" >"$folder/port"
            [[ ${#as_server[@]} -eq 0 ]] || chown -R 65534:65534 "$folder"
            run "$bin/initdb" -D "$data" -U zrk_admin --auth=scram-sha-256 --pwfile="$folder/admin-password" \
                -E UTF8 --locale=C >"$folder/initdb.log" 2>&1 ||
                { echo "pg-local.sh: initdb failed, see $folder/initdb.log" >&2; exit 1; }
            made=1
        else
            made=0
            [[ -z $port ]] || echo "$port" >"$folder/port"
        fi
        current_port=$(cat "$folder/port")
        if [[ -f $data/postmaster.pid ]] && run "$bin/pg_ctl" -D "$data" status >/dev/null 2>&1; then
            echo "a server is already running in $folder" >&2
        else
            # Loopback only; the socket file in the folder, not in /run.
            run "$bin/pg_ctl" -D "$data" -l "$folder/server.log" -w -t 60 \
                -o "-h 127.0.0.1 -p $current_port -k '$folder'" start >/dev/null ||
                { echo "pg-local.sh: the server did not start, see $folder/server.log" >&2; exit 1; }
        fi
        if [[ $made -eq 1 ]]; then
            # The stations' user owns their database, so it may create the store's tables in it.
            PGPASSWORD=$(cat "$folder/admin-password") run "$bin/psql" -q -X -v ON_ERROR_STOP=1 \
                -h 127.0.0.1 -p "$current_port" -U zrk_admin -d postgres \
                -v pw="$(cat "$folder/password")" >/dev/null <<'SQL'
CREATE ROLE zrk_station LOGIN PASSWORD :'pw';
CREATE DATABASE zrk_templates OWNER zrk_station ENCODING 'UTF8';
SQL
        fi
        echo "server running in $folder (stop it with: $0 stop${folder:+ --dir '$folder'})"
        echo "store address for zrk-host --store:"
        address_of
        ;;
    *)
        echo "pg-local.sh: unknown command: $command (start, stop or address)" >&2
        exit 2
        ;;
esac

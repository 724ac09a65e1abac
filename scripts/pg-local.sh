#!/usr/bin/env bash
# A local PostgreSQL server for trying the editor (or several zrk-host processes) against one template store.
#
#   scripts/pg-local.sh [start] [--dir FOLDER] [--port PORT]   make (first time) and start the server, print its address
#   scripts/pg-local.sh stop    [--dir FOLDER]                 stop it (the data stays for the next start)
#   scripts/pg-local.sh address [--dir FOLDER] [--operator]    print the address of the server made there
#   scripts/pg-local.sh roles   [--dir FOLDER]                 give the store its roles (scripts/pg-roles.sql)
#
# `roles` applies scripts/pg-roles.sql to the store as the server's superuser, keeps "zrk_station" working as
# an engineer (zrk_engineer) and makes a login "zrk_press" of the operator role (zrk_operator) with a password
# made at random, then prints both addresses; `address --operator` prints the operator's later. Run it again
# after a newer program added tables.
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
as_operator=0
while [[ $# -gt 0 ]]; do
    case $1 in
        --dir) folder=${2:?--dir needs a folder}; shift 2 ;;
        --port) port=${2:?--port needs a number}; shift 2 ;;
        --operator) as_operator=1; shift ;;
        -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
operator_address_of() {
    echo "postgresql://zrk_press:$(cat "$folder/operator-password")@127.0.0.1:$(cat "$folder/port")/zrk_templates"
}
# The server's superuser: "postgres" for servers made now, "zrk_admin" for those made before (a login whose
# name is also that of the administrators' role of scripts/pg-roles.sql).
superuser_of() {
    if [[ -f $folder/superuser ]]; then cat "$folder/superuser"; else echo zrk_admin; fi
}
as_superuser() {
    PGPASSWORD=$(cat "$folder/admin-password") run "$bin/psql" -q -X -v ON_ERROR_STOP=1 \
        -h 127.0.0.1 -p "$(cat "$folder/port")" -U "$(superuser_of)" "$@"
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
        if [[ $as_operator -eq 1 ]]; then
            [[ -f $folder/operator-password ]] || { echo "pg-local.sh: no roles were given yet ($0 roles)" >&2; exit 1; }
            operator_address_of
        else
            address_of
        fi
        ;;
    roles)
        [[ -f $folder/port && -f $folder/password ]] || { echo "pg-local.sh: no server was made in $folder" >&2; exit 1; }
        [[ -f $data/postmaster.pid ]] || { echo "pg-local.sh: the server is not running ($0 start)" >&2; exit 1; }
        if [[ ! -f $folder/operator-password ]]; then
            (umask 077 && od -An -N12 -tx1 /dev/urandom | tr -d ' \n' >"$folder/operator-password")
            [[ ${#as_server[@]} -eq 0 ]] || chown 65534:65534 "$folder/operator-password"
        fi
        # The script through standard input: the server's user may not be able to read this folder.
        as_superuser -d zrk_templates <"$(dirname "$0")/pg-roles.sql" >/dev/null ||
            { echo "pg-local.sh: scripts/pg-roles.sql failed on zrk_templates" >&2; exit 1; }
        as_superuser -d zrk_templates -v pw="$(cat "$folder/operator-password")" >/dev/null <<'SQL'
SET client_min_messages = warning;
GRANT zrk_engineer TO zrk_station;
SELECT NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'zrk_press') AS missing \gset
\if :missing
CREATE ROLE zrk_press LOGIN PASSWORD :'pw' IN ROLE zrk_operator;
\endif
SQL
        echo "the store has its roles: zrk_station is an engineer, zrk_press an operator"
        echo "engineer's address:"
        address_of
        echo "operator's address:"
        operator_address_of
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
            echo postgres >"$folder/superuser"
            run "$bin/initdb" -D "$data" -U postgres --auth=scram-sha-256 --pwfile="$folder/admin-password" \
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
            as_superuser -d postgres -v pw="$(cat "$folder/password")" >/dev/null <<'SQL'
CREATE ROLE zrk_station LOGIN PASSWORD :'pw';
CREATE DATABASE zrk_templates OWNER zrk_station ENCODING 'UTF8';
SQL
        fi
        echo "server running in $folder (stop it with: $0 stop${folder:+ --dir '$folder'})"
        echo "store address for zrk-host --store:"
        address_of
        ;;
    *)
        echo "pg-local.sh: unknown command: $command (start, stop, address or roles)" >&2
        exit 2
        ;;
esac

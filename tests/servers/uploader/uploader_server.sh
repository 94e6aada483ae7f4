#!/usr/bin/env bash
# Runs the uploader CGI (up.cgi beside this script) under a private lighttpd
# on 127.0.0.1 in the foreground, until it is sent SIGTERM or SIGINT.
#
#   uploader_server.sh FOLDER PORT [--key KEY] [--max BYTES] [--tls | --tls-self-signed]
#
# FOLDER gets lighttpd.conf, uploader.conf, www/up.cgi (the address is
# http://127.0.0.1:PORT/up.cgi) and store/, where uploaded files land.
# --tls serves https with a certificate for 127.0.0.1 signed by a test CA
# made for the occasion (FOLDER/tls/ca.pem, for the client to trust);
# --tls-self-signed with a self-signed certificate no client should trust.
set -euo pipefail

folder=${1:?usage: uploader_server.sh FOLDER PORT [options]}
port=${2:?usage: uploader_server.sh FOLDER PORT [options]}
shift 2
key="" max=$((4 * 1024 * 1024)) tls=""
while (($#)); do
  case $1 in
    --key) key=$2; shift 2 ;;
    --max) max=$2; shift 2 ;;
    --tls) tls=ca; shift ;;
    --tls-self-signed) tls=self; shift ;;
    *) echo "uploader_server: unknown option $1" >&2; exit 2 ;;
  esac
done

here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$folder/www" "$folder/store"
folder=$(cd "$folder" && pwd)
cp "$here/up.cgi" "$folder/www/up.cgi"
printf 'postkey=%s\nmaxbytes=%s\n' "$key" "$max" >"$folder/uploader.conf"

tls_lines=""
if [[ -n $tls ]]; then
  t=$folder/tls
  mkdir -p "$t"
  ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  if [[ $tls == ca ]]; then
    openssl req -x509 "${ec[@]}" -days 2 -subj /CN=yagura-test-ca -keyout "$t/ca.key" \
      -out "$t/ca.pem" 2>/dev/null
    openssl req "${ec[@]}" -subj /CN=127.0.0.1 -keyout "$t/server.key" -out "$t/server.csr" \
      2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' >"$t/san.ext"
    openssl x509 -req -in "$t/server.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial \
      -days 2 -extfile "$t/san.ext" -out "$t/server.pem" 2>/dev/null
  else
    openssl req -x509 "${ec[@]}" -days 2 -subj /CN=127.0.0.1 \
      -addext subjectAltName=IP:127.0.0.1 -keyout "$t/server.key" -out "$t/server.pem" 2>/dev/null
  fi
  tls_lines="server.modules += ( \"mod_openssl\" )
ssl.engine = \"enable\"
ssl.pemfile = \"$t/server.pem\"
ssl.privkey = \"$t/server.key\""
fi

cat >"$folder/lighttpd.conf" <<CONF
server.modules = ( "mod_cgi" )
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$folder/www"
server.errorlog = "$folder/error.log"
server.max-request-size = 65536
cgi.assign = ( ".cgi" => "/usr/bin/perl" )
$tls_lines
CONF
exec lighttpd -D -f "$folder/lighttpd.conf"

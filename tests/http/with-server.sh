#!/usr/bin/env bash
# Runs a command beside the HTTP client tests' server (server.py, on
# 127.0.0.1): the command finds its port in QOR_HTTP_TEST_PORT and a port
# that refuses connections in QOR_HTTP_TEST_REFUSED_PORT, and a TLS port
# whose certificate no client trusts in QOR_HTTP_TEST_TLS_PORT (0: none).  The server ends
# with the command, or by itself after its lifetime.
set -u
here=$(cd "$(dirname "$0")" && pwd)
ports=$(mktemp)
python3 "$here/server.py" --lifetime 600 > "$ports" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -f "$ports"' EXIT
for _ in $(seq 100); do
  [ "$(wc -l < "$ports")" -ge 3 ] && break
  sleep 0.1
done
QOR_HTTP_TEST_PORT=$(sed -n 1p "$ports")
QOR_HTTP_TEST_REFUSED_PORT=$(sed -n 2p "$ports")
QOR_HTTP_TEST_TLS_PORT=$(sed -n 3p "$ports")
if [ -z "$QOR_HTTP_TEST_PORT" ]; then
  echo "with-server: the test server did not start" >&2
  exit 1
fi
export QOR_HTTP_TEST_PORT QOR_HTTP_TEST_REFUSED_PORT QOR_HTTP_TEST_TLS_PORT
"$@"

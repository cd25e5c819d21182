#!/usr/bin/env bash
# tests/http/run-qor.sh QOR-COMMAND: the Qor cases of url!'s HTTP reads and
# writes (tests/http/qor), run by tests/qor/run.sh beside the test server.
here=$(cd "$(dirname "$0")" && pwd)
exec bash "$here/with-server.sh" bash "$here/../qor/run.sh" "$1" "$here/qor/url" "$here/qor/silent"

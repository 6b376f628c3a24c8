#!/usr/bin/env bash
# Runs a dialog test program under Wine, on the X display of the test run. Root
# runs it without the power to write where permissions forbid, so that a
# read-only folder is read-only to the tests, as it is to a user.
set -euo pipefail
wine_run="$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run.sh"
if [ "$(id -u)" -eq 0 ]; then
  exec setpriv --bounding-set -dac_override,-dac_read_search -- "$wine_run" "$@"
fi
exec "$wine_run" "$@"

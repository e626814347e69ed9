#!/usr/bin/env bash
# Runs a Windows program under Wine in the tests' prefix (see wine_prefix.sh):
# its exit status is the test's. Usage: wine_run.sh program.exe [arguments]
set -uo pipefail
source "$(dirname "$0")/wine_prefix.sh"
hdsn_wine_setup
hdsn_wine "$@"

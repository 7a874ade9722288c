#!/bin/bash
# Runs repair.exe under Wine against a simulated box, the way a user would,
# and checks what it did: the wizard's roads of tests/e2e (see --help, and
# tests/e2e/README.md).
exec bash "$(dirname "$0")/../tests/e2e/run-roads.sh" "$@"

#!/usr/bin/env bash
# ./kob demo: the main job against the simulated box.
set -euo pipefail
build=$1
shift
echo "KobLabVIEW demo (build: $build)"
echo "(nothing to show yet)"

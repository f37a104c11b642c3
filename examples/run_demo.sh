#!/usr/bin/env bash
# Runs the programs on the shipped examples (filled in as the programs grow).
set -euo pipefail
echo "The demo runs once both programs read their examples."

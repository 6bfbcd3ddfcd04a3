#!/usr/bin/env bash
# Installs the build into a fresh prefix: the fixture the other packaging tests need.
# Usage: install.sh <build folder> <prefix>
set -euo pipefail
build=${1:?} prefix=${2:?}
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

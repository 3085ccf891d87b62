#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tandrel (files given here are added to its list).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
exec "$here/build/bin/tandrel" "$@"

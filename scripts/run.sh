#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tandrel.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
if [ -x "$here/build/bin/tandrel" ]; then
    exec "$here/build/bin/tandrel" "$@"
fi
exec "$here/build/bin/tandrel-cli" "${@:---help}"

#!/usr/bin/env bash
# Sets up and builds, then runs folio on the bundled sample document.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
if build/src/cli/folio info --help >/dev/null 2>&1; then
  build/src/cli/folio info samples/hello.pdf
else
  build/src/cli/folio --version
fi

#!/usr/bin/env bash
# Sets up and builds, then draws the bundled sample document's pages into
# PNG files (build/sample-N.png) and says where they are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
build/src/cli/folio info samples/hello.pdf
build/src/cli/folio render -o build/sample-%d.png samples/hello.pdf

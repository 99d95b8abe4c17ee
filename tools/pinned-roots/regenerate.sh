#!/usr/bin/env bash
# Regenerates src/kithost/KTHPinnedCertificateData.cpp (the pinned root
# certificates) from the npm package ssl-root-cas (Apache License 2.0),
# pinned by version and integrity hash in package-lock.json here. Run by hand
# when the set should change; builds and tests never download anything.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cp "$here/package.json" "$here/package-lock.json" "$scratch/"
(cd "$scratch" && npm ci --ignore-scripts --no-audit --no-fund --silent)
node "$here/extract.mjs" "$scratch/node_modules/ssl-root-cas/ssl-root-cas.js" \
  "$root/src/kithost/KTHPinnedCertificateData.cpp"

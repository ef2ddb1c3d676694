#!/usr/bin/env bash
# Builds the page (the `web` preset, Debian's emscripten) and serves its static site on 127.0.0.1 until Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."
port="${1:-8080}"

command -v emcc >/dev/null || scripts/install-deps.sh
# emcc's JavaScript optimiser needs Debian's Node modules; its system libraries live in a cache that must be writable.
export NODE_PATH=/usr/share/nodejs
[ -w /usr/share/emscripten/cache ] || export EM_CACHE="$PWD/build/emscripten-cache"
cmake --preset web >/dev/null
cmake --build --preset web

echo "Gloamer's page: http://127.0.0.1:$port/ (Ctrl-C stops the server)"
# Any static server does; this one is sure to send .wasm as application/wasm, which the browser insists on.
exec python3 -c '
import functools, http.server, sys
http.server.SimpleHTTPRequestHandler.extensions_map[".wasm"] = "application/wasm"
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[2])
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), handler).serve_forever()
' "$port" build/web/site

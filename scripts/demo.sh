#!/usr/bin/env bash
# Runs the gateway with tracing on a generated demo configuration, with the
# runtime simulator in place of the Skype runtime. Stop it with Ctrl-C; the
# simulators are detached, as runtimes are, and serve the next start too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target velmora
if cmake --build build/release -j"$(nproc)" --target velmora-runtime-sim >/dev/null 2>&1; then
  runtime=$(pwd)/build/release/Simulator/velmora-runtime-sim
else
  runtime=$(pwd)/scripts/runtime-placeholder.sh
fi
demo=${VELMORA_DEMO_DIR:-$(pwd)/build/demo}
scripts/make-demo-config.sh "$demo/config"
mkdir -p "$demo/sim"
cd "$demo"
export VELMORA_CONFIG_DIR="$demo/config" VELMORA_RUNTIME="$runtime" VELMORA_SIM_DIR="$demo/sim"
echo "config: $VELMORA_CONFIG_DIR  runtime: $VELMORA_RUNTIME"
exec "$OLDPWD/build/release/Velmora/velmora" -d

#!/bin/sh
# Stands in for the runtime in the demo while the simulator is not built:
# it only reports how it was started and stays up like a runtime.
echo "runtime placeholder started: $*"
while :; do sleep 60; done

#!/bin/sh
# Runs a command in a network namespace of its own with only the loopback
# interface up: ports and abstract Unix-domain sockets are private to it.
# Needs root (CI and the test command run as root).
exec unshare --net -- sh -c 'ip link set lo up && exec "$@"' netns "$@"

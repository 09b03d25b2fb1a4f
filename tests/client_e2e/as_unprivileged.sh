#!/bin/sh
# as_unprivileged.sh COMMAND ARGS...: runs the command as a user without rights to root's files:
# nobody when started as root, else the user it was started as.
if [ "$(id -u)" = 0 ]; then
    exec setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"
fi
exec "$@"

#!/bin/bash
# Runs the SMB test binary against a real share on 127.0.0.1, inside a private
# D-Bus session with its own gvfs daemons, and always stops the server after.
#
#   ServerConnectionSmb.sh TEST_BINARY [ARGS...]
#
# The binary finds the share's folder on disk in TW_SMB_SHARED and its port in
# TW_SMB_PORT; the account of the share "private" in TW_SMB_USER and
# TW_SMB_PASSWORD; and `loopback-smb.sh` with its state folder in
# TW_SMB_LOOPBACK and TW_SMB_STATE. Without the tools, the test fails on CI (CI=true) and is skipped
# (exit 77) elsewhere.
set -u
here=$(cd "$(dirname "$0")" && pwd)
loopback="$here/../Support/loopback-smb.sh"

missing=""
for tool in smbd dbus-run-session gio ss mountpoint; do
    command -v "$tool" > /dev/null || missing="$missing $tool"
done
for daemon in gvfsd gvfsd-smb gvfsd-fuse; do
    [ -x "/usr/libexec/$daemon" ] || missing="$missing $daemon"
done
[ -c /dev/fuse ] || missing="$missing /dev/fuse"
if [ -n "$missing" ]; then
    echo "$(basename "$1"): missing:$missing (packages: samba gvfs gvfs-backends gvfs-fuse dbus fuse3 libglib2.0-bin iproute2)" >&2
    [ "${CI:-}" = true ] && exit 1
    echo "$(basename "$1"): skipped"
    exit 77
fi

state=$(mktemp -d "${TMPDIR:-/tmp}/tidewright-smb-XXXXXX") || exit 1
cleanup() {
    "$loopback" stop "$state/server"
    # A gvfs bridge left behind by a crash would make its folder unremovable.
    mountpoint -q "$state/server/run/gvfs" && umount -l "$state/server/run/gvfs" 2> /dev/null
    rm -rf --one-file-system "$state"
}
trap cleanup EXIT
mkdir "$state/shared"

# 1445 unless another test server holds it: a second smbd could not bind, and
# the start would take the other one's listening socket for its own.
port=1445
while [ -n "$(ss -Hltn "sport = :$port")" ]; do
    port=$((port + 1))
    [ "$port" -le 1499 ] || { echo "ServerConnectionSmb: no free port" >&2; exit 1; }
done

"$loopback" start "$state/server" "$state/shared" "$port" || { cat "$state/server/smbd.out" >&2; exit 1; }
# The share with an account exists only when the server runs as root.
if [ "$(id -u)" = 0 ]; then
    export TW_SMB_USER="$(id -un)" TW_SMB_PASSWORD=loopback-secret
fi
# A test may stop the server (loopback-smb.sh pause) to see what hangs; the
# cleanup above resumes it whatever happened.
TW_SMB_SHARED="$state/shared" TW_SMB_PORT="$port" TW_SMB_LOOPBACK="$loopback" TW_SMB_STATE="$state/server" \
    "$loopback" session "$state/server" -- "$@"

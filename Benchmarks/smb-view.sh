#!/bin/bash
# The view benchmarks on a network share: a folder of 5,000 files on the
# loopback SMB share, shown through its gvfs mount, against `ls -l` of the same
# folder through the same mount.
#
#   Benchmarks/smb-view.sh BENCH [KIND...]   BENCH is the tidewright-bench binary;
#                                            KIND is list, icon or column (all three by default)
#
# Needs what the SMB tests need (Tests/FSCore/ServerConnectionSmb.sh says which packages).
# The server, its gvfs session and the folder are made for the run and removed after it.
# `ls -l` lists the folder once before the first benchmark, so that gvfs has seen the
# folder once for every figure, the benchmark's own `ls -l` included.
set -u
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${TW_SMB_SHARED:-}" ]; then
    bench=$(cd "$(dirname "${1:?tidewright-bench binary}")" && pwd)/$(basename "$1")
    exec "$here/../Tests/FSCore/ServerConnectionSmb.sh" "$here/smb-view.sh" "$bench" "${@:2}"
fi

# Inside the server's session.
bench=$1; shift
kinds=("$@"); [ ${#kinds[@]} -gt 0 ] || kinds=(list icon column)
folder="$TW_SMB_SHARED/5000 files"
python3 - "$folder" <<'PY'
import os, random, sys
folder = sys.argv[1]
os.makedirs(folder)
rng = random.Random(5000)
words = ["Report", "photo", "Invoice", "draft", "Résumé", "notes", "IMG", "Budget 2026", "Z", "café"]
exts = [".txt", ".jpg", ".png", ".pdf", ".md", ".zip", ".tar.gz", "", ".JPG", ".mp3"]
for i in range(5000):
    name = f"{rng.choice(words)} {i}{rng.choice(exts)}"
    with open(os.path.join(folder, name), "wb") as f:
        f.truncate(rng.choice([0, 1, 512, 4096, 70000, 1 << 20]))
PY

address="smb://127.0.0.1:$TW_SMB_PORT/share"
gio mount -a "$address" < /dev/null || { echo "smb-view: mounting $address failed" >&2; exit 1; }
mounted="$XDG_RUNTIME_DIR/gvfs/smb-share:port=$TW_SMB_PORT,server=127.0.0.1,share=share/5000 files"
for _ in $(seq 50); do [ -d "$mounted" ] && break; sleep 0.1; done
ls -l "$mounted" > /dev/null
rc=0
for kind in "${kinds[@]}"; do
    echo "== view $kind on the share"
    QT_QPA_PLATFORM=offscreen "$bench" view "$kind" "$mounted" 2> /dev/null | grep -v '^change:' || rc=1
done
gio mount -u "$address" < /dev/null
exit $rc

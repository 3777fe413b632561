#!/bin/bash
# compare-app.sh FOLDER: the whole application opening FOLDER in its list view,
# side by side with the other file managers installed here, each in its
# detailed list view, under one Xvfb.
#
# For each program and each run: a fresh home (its settings chose the list
# view), a fresh session bus, then the program started on FOLDER and, apart,
# on an empty folder. Its time is from the launch until it is idle: after its
# first window is mapped, the first stretch of IDLE_SECONDS (1 s) in which the
# process used at most one clock tick (10 ms) of CPU; the time reported is
# where that stretch began. CPU is read from /proc/PID/stat every 20 ms, the
# peak memory is VmHWM of /proc/PID/status. Only the program's own process
# counts: helpers it starts on the bus (thumbnailers, gvfs) do not.
# The figure of a program is the median of RUNS runs (3) of FOLDER minus the
# median on the empty folder.
#
#   RUNS=3 PROGRAMS="tidewright pcmanfm ..." TIDEWRIGHT=build/bin/tidewright Benchmarks/compare-app.sh /work/trees/flat
#
# Programs that are not installed are left out. With SHOTS=DIR, the screen is
# saved at idle as DIR/PROGRAM-FOLDERNAME.png (needs ImageMagick's import), to
# see that each program shows its list view. The last line compares Tidewright
# with the fastest other.

set -u
folder=$(realpath "${1:?usage: compare-app.sh FOLDER}")
runs=${RUNS:-3}
idle_seconds=${IDLE_SECONDS:-1}
timeout_seconds=${TIMEOUT_SECONDS:-120}
here=$(dirname "$(realpath "$0")")
tidewright=$(realpath "${TIDEWRIGHT:-$here/../build/bin/tidewright}")
programs=${PROGRAMS:-"tidewright pcmanfm pcmanfm-qt thunar caja nemo nautilus dolphin"}

scratch=$(mktemp -d /tmp/compare-app.XXXXXX)
empty=$scratch/empty
mkdir -p "$empty"
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# One X server for every program.
exec 5> "$scratch/display"
Xvfb -displayfd 5 -screen 0 1400x900x24 -nolisten tcp > "$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$scratch/display")"

# Settings that open each program in its detailed list view.
prepare_home() { # program home
    local program=$1 home=$2
    mkdir -p "$home/.config" "$home/.local/share" "$home/.cache" "$home/runtime"
    chmod 700 "$home/runtime"
    case $program in
    tidewright)
        mkdir -p "$home/.config/Tidewright"
        printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict><key>viewMode</key><integer>1</integer></dict></plist>\n' \
            > "$home/.config/Tidewright/ViewPreferences.plist" ;;
    pcmanfm)
        mkdir -p "$home/.config/pcmanfm/default"
        printf '[ui]\nview_mode=list\n' > "$home/.config/pcmanfm/default/pcmanfm.conf" ;;
    pcmanfm-qt)
        mkdir -p "$home/.config/pcmanfm-qt/default"
        printf '[FolderView]\nMode=detailed\n' > "$home/.config/pcmanfm-qt/default/settings.conf" ;;
    thunar)
        mkdir -p "$home/.config/xfce4/xfconf/xfce-perchannel-xml"
        printf '<?xml version="1.0" encoding="UTF-8"?>\n<channel name="thunar" version="1.0">\n<property name="default-view" type="string" value="ThunarDetailsView"/>\n<property name="last-view" type="string" value="ThunarDetailsView"/>\n</channel>\n' \
            > "$home/.config/xfce4/xfconf/xfce-perchannel-xml/thunar.xml" ;;
    caja|nemo|nautilus)
        mkdir -p "$home/.config/glib-2.0/settings"
        printf "[org/mate/caja/preferences]\ndefault-folder-viewer='list-view'\n[org/nemo/preferences]\ndefault-folder-viewer='list-view'\n[org/gnome/nautilus/preferences]\ndefault-folder-viewer='list-view'\n" \
            > "$home/.config/glib-2.0/settings/keyfile" ;;
    dolphin)
        mkdir -p "$home/.local/share/dolphin/view_properties/global"
        printf '[General]\nGlobalViewProps=true\n' > "$home/.config/dolphinrc"
        printf '[Dolphin]\nVersion=4\nViewMode=1\n' > "$home/.local/share/dolphin/view_properties/global/.directory" ;;
    esac
}

command_for() { # program folder
    case $1 in
    tidewright) echo "$tidewright $2" ;;
    caja) echo "caja --no-desktop $2" ;;
    nautilus|nemo) echo "$1 --new-window $2" ;;
    *) echo "$1 $2" ;;
    esac
}

# Prints "SECONDS_TO_IDLE CPU_SECONDS PEAK_KIB" for one launch, or "- - -".
measure_once() { # program folder
    local program=$1 target=$2 home
    home=$(mktemp -d "$scratch/home.XXXXXX")
    prepare_home "$program" "$home"
    (
        export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
            XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$home/runtime GSETTINGS_BACKEND=keyfile \
            NO_AT_BRIDGE=1 QT_QPA_PLATFORM=xcb
        unset SESSION_MANAGER
        { read -r DBUS_SESSION_BUS_ADDRESS; read -r DBUS_SESSION_BUS_PID; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
        export DBUS_SESSION_BUS_ADDRESS
        python3 - "$idle_seconds" "$timeout_seconds" "${SHOTS:+$SHOTS/$program-$(basename "$target").png}" \
            $(command_for "$program" "$target") <<'EOF'
import os, re, signal, subprocess, sys, time

idle_seconds, timeout, shot = float(sys.argv[1]), float(sys.argv[2]), sys.argv[3]
command = sys.argv[4:]
tick = os.sysconf("SC_CLK_TCK")

def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])

def peak_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"VmHWM:\s+(\d+)", status.read()).group(1))

def has_mapped_window(pid):
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True).stdout
    for window in re.findall(r"^\s+(0x[0-9a-f]+) ", tree, re.M):
        owner = subprocess.run(["xprop", "-id", window, "_NET_WM_PID"], capture_output=True, text=True).stdout
        if not owner.rstrip().endswith(f"= {pid}"):
            continue
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        if "IsViewable" in info:
            return True
    return False

start = time.monotonic()
process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
samples = []  # (seconds since launch, CPU ticks)
seen_window = None
result = "- - -"
try:
    while time.monotonic() - start < timeout and process.poll() is None:
        now = time.monotonic() - start
        ticks, peak = cpu_ticks(process.pid), peak_kib(process.pid)
        samples.append((now, ticks))
        if seen_window is None and len(samples) % 5 == 0 and has_mapped_window(process.pid):
            seen_window = now
        if seen_window is not None:
            quiet_from = now - idle_seconds
            before = [s for s in samples if s[0] <= quiet_from]
            if before and before[-1][0] >= seen_window and ticks - before[-1][1] <= 1:
                result = f"{before[-1][0]:.3f} {before[-1][1] / tick:.2f} {peak}"
                if shot:
                    subprocess.run(["import", "-window", "root", shot])
                break
        time.sleep(0.02)
finally:
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()
print(result)
EOF
        kill "$DBUS_SESSION_BUS_PID" 2>/dev/null
    )
    rm -rf "$home"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0 || v[1] == "-") print "-"; else print v[int((NR + 1) / 2)] }'; }

echo "compare-app: $folder ($(find "$folder" -mindepth 1 -maxdepth 1 | wc -l) entries), $runs runs each, idle = ${idle_seconds} s without CPU; $(uptime | sed 's/.*load/load/')"
printf '%-12s %10s %10s %10s %10s %10s %10s %9s\n' program "empty s" "folder s" "diff s" "cpu s" "empty MiB" "folder MiB" "+MiB"
best_other= best_other_time=
tidewright_time= tidewright_memory=
for program in $programs; do
    if [ "$program" = tidewright ]; then [ -x "$tidewright" ] || continue; else command -v "$program" > /dev/null || continue; fi
    : > "$scratch/empty.txt"; : > "$scratch/folder.txt"
    for _ in $(seq "$runs"); do
        measure_once "$program" "$empty" >> "$scratch/empty.txt"
        measure_once "$program" "$folder" >> "$scratch/folder.txt"
    done
    empty_time=$(cut -d' ' -f1 "$scratch/empty.txt" | median)
    folder_time=$(cut -d' ' -f1 "$scratch/folder.txt" | median)
    folder_cpu=$(cut -d' ' -f2 "$scratch/folder.txt" | median)
    empty_peak=$(cut -d' ' -f3 "$scratch/empty.txt" | median)
    folder_peak=$(cut -d' ' -f3 "$scratch/folder.txt" | median)
    if [ "$empty_time" = - ] || [ "$folder_time" = - ]; then
        printf '%-12s %10s\n' "$program" "did not settle within ${timeout_seconds} s"
        continue
    fi
    read -r difference empty_mib folder_mib more_mib < <(awk -v a="$empty_time" -v b="$folder_time" -v c="$empty_peak" -v d="$folder_peak" \
        'BEGIN { printf "%.3f %.1f %.1f %.1f\n", b - a, c / 1024, d / 1024, (d - c) / 1024 }')
    printf '%-12s %10s %10s %10s %10s %10s %10s %9s\n' "$program" "$empty_time" "$folder_time" "$difference" "$folder_cpu" "$empty_mib" "$folder_mib" "$more_mib"
    if [ "$program" = tidewright ]; then
        tidewright_time=$difference; tidewright_memory=$more_mib
    elif [ -z "$best_other_time" ] || awk -v a="$difference" -v b="$best_other_time" 'BEGIN { exit !(a < b) }'; then
        best_other=$program; best_other_time=$difference
    fi
done

if [ -n "$tidewright_time" ] && [ -n "$best_other_time" ]; then
    awk -v t="$tidewright_time" -v o="$best_other_time" -v name="$best_other" -v m="$tidewright_memory" 'BEGIN {
        printf "compare-app: tidewright %.2f s, fastest other (%s) %.2f s: %.2fx (goal at most 0.5x); memory +%.0f MiB over an empty folder (goal at most +60 MiB)\n", t, name, o, t / o, m }'
fi

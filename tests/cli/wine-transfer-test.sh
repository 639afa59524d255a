#!/bin/bash
# The Windows quorlin-cli.exe, run by Wine, against the native quorlin-sim
# over a real pseudo-terminal that Wine maps as a COM port.
#
#   wine-transfer-test.sh CASE     CASE: send, echo-send, receive, download, cancel, refuse
#
# Environment: QUORLIN_CLI_EXE (the Windows quorlin-cli.exe), QUORLIN_SIM (the
# native quorlin-sim), WINE, WINEPREFIX (a prefix of the build's own, its
# wineserver already running), and optionally QUORLIN_WINE_PRELOAD (a library
# Wine is started with, for what a pty cannot answer like a UART).
#
# The pty is mapped by a link $WINEPREFIX/dosdevices/com<N> to its device:
# Wine resolves \\.\COM<N> through that folder on every open, so the link
# works at once, without restarting the wineserver (a value under
# HKLM\Software\Wine\Ports is read only when the prefix's devices are made).
# Each case uses its own port number, so cases may run side by side in one
# prefix.
#
# Every wait is bounded; a case prints what it measured on its last line.
# WINE=none runs a native quorlin-cli the same way (through the simulator's
# ports folder), to compare the two.
set -u

case_name=${1:?usage: wine-transfer-test.sh send|echo-send|receive|download|cancel|refuse}
: "${QUORLIN_CLI_EXE:?}" "${QUORLIN_SIM:?}" "${WINE:?}" "${WINEPREFIX:?}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
if [ -n "${QUORLIN_WINE_PRELOAD:-}" ] && [ ! -f "$QUORLIN_WINE_PRELOAD" ]; then
    echo "FAIL ($case_name): no $QUORLIN_WINE_PRELOAD (build the native tests/wine aids)" >&2
    exit 1
fi

work=$(mktemp -d /tmp/quorlin-wine-cli.XXXXXX)
sim_pid=
cli_pid=
com_link=

cleanup() {
    [ -n "$cli_pid" ] && kill -KILL "$cli_pid" 2>/dev/null
    if [ -n "$sim_pid" ]; then
        echo quit >&"${SIM[1]}" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    [ -n "$com_link" ] && rm -f "$com_link"
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL ($case_name): $*" >&2
    for f in sim.log sim.err cli.out cli.err; do
        [ -s "$work/$f" ] && { echo "--- $f" >&2; head -c 3000 "$work/$f" >&2; echo >&2; }
    done
    exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# start_sim FAMILY COM [OPTIONS...]: the simulator on a new pty, mapped as COM<N>.
start_sim() {
    family=$1 com=$2
    shift 2
    mkdir -p "$work/ports" "$work/store"
    coproc SIM { exec "$QUORLIN_SIM" --family "$family" --com "$com" --ports "$work/ports" \
        --store "$work/store" "$@" 2>"$work/sim.err"; }
    sim_pid=$SIM_PID
    local ready
    ready=$(sim_reports "ready COM$com") || fail "quorlin-sim did not start"
    local device
    device=$(echo "$ready" | awk '{print $3}')
    [ "$WINE" = none ] && return
    com_link="$WINEPREFIX/dosdevices/com$com"
    ln -sfn "$device" "$com_link" || fail "cannot map $device as COM$com"
}

# sim_reports TEXT [SECONDS]: the simulator's next report line holding TEXT.
sim_reports() {
    local text=$1 limit=${2:-30} line
    local deadline=$((SECONDS + limit))
    while [ "$SECONDS" -lt "$deadline" ]; do
        IFS= read -r -t 1 -u "${SIM[0]}" line || continue
        echo "$line" >>"$work/sim.log"
        case "$line" in *"$text"*) echo "$line"; return 0 ;; esac
    done
    return 1
}

sim() { echo "$1" >&"${SIM[1]}"; sim_reports "$2" || fail "quorlin-sim did not answer \"$1\" with \"$2\""; }

# start_cli ARGS...: quorlin-cli.exe under Wine on the simulator's port.
start_cli() {
    local run=(env)
    [ -n "${QUORLIN_WINE_PRELOAD:-}" ] && run+=("LD_PRELOAD=$QUORLIN_WINE_PRELOAD")
    if [ "$WINE" = none ]; then run+=("QUORLIN_PORTS=$work/ports"); else run+=("$WINE"); fi
    cli_started=$(now_ms)
    "${run[@]}" "$QUORLIN_CLI_EXE" "$@" --port "$com" --family "$family" \
        >"$work/cli.out" 2>"$work/cli.err" </dev/null &
    cli_pid=$!
}

# wait_cli [SECONDS]: the tool's exit status; fails when it does not end.
wait_cli() {
    local limit=${1:-60} deadline
    deadline=$((SECONDS + limit))
    while kill -0 "$cli_pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
    kill -0 "$cli_pid" 2>/dev/null && fail "quorlin-cli.exe did not end within $limit s"
    wait "$cli_pid"
    cli_status=$?
    cli_pid=
    cli_ended=$(now_ms)
}

cli_printed() {
    local text=$1 deadline=$((SECONDS + 30))
    while [ "$SECONDS" -lt "$deadline" ]; do
        grep -qF -- "$text" "$work/cli.out" 2>/dev/null && return 0
        kill -0 "$cli_pid" 2>/dev/null || break
        sleep 0.05
    done
    grep -qF -- "$text" "$work/cli.out" 2>/dev/null
}

# long_program LINES: an NC program, lines ending in LF.
long_program() { awk -v n="$1" 'BEGIN { for (i = 1; i <= n; i++) printf "N%dG01X%dY7\n", i, i % 500 }'; }

# expect_same EXPECTED ACTUAL: byte for byte.
expect_same() {
    cmp -s "$1" "$2" || fail "$(basename "$2") differs from $(basename "$1"): $(cmp "$1" "$2" 2>&1 | head -1), \
$(stat -c %s "$1") bytes expected, $(stat -c %s "$2" 2>/dev/null || echo no) bytes there"
}

stored_path() { echo "$1" | awk '{print $3}'; }

# The log line, ended by CR LF as the log view holds it (a text-mode stream
# would have made it CR CR LF).
expect_log() {
    grep -qF -- "   $1"$'\r' "$work/cli.out" || fail "the log lacks \"$1\""
    grep -q $'\r\r' "$work/cli.out" && fail "the log has CR CR LF line ends"
    return 0
}

case "$case_name" in
send)
    # Block family: the program arrives as the controller keeps it, and a
    # long one arrives whole.
    start_sim 1 201
    printf 'g01 x1\r\n\r\n+m30\r\n' >"$work/part.nc"
    printf 'G01X1\n+M30\n\n' >"$work/part.expected"
    start_cli send "$work/part.nc"
    stored=$(sim_reports "stored program") || fail "no program stored"
    wait_cli
    [ "$cli_status" -eq 0 ] || fail "exit status $cli_status"
    expect_same "$work/part.expected" "$(stored_path "$stored")"
    expect_log "Begin to send file"
    expect_log "File sending completed"

    long_program 20000 >"$work/long.nc"
    { cat "$work/long.nc"; printf '\n'; } >"$work/long.expected"
    start_cli send "$work/long.nc"
    stored=$(sim_reports "stored program" 120) || fail "no long program stored"
    wait_cli 120
    [ "$cli_status" -eq 0 ] || fail "exit status $cli_status"
    expect_same "$work/long.expected" "$(stored_path "$stored")"
    echo "send: $(stat -c %s "$work/long.nc") bytes sent, $(stat -c %s "$(stored_path "$stored")") stored," \
         "byte-exact, $((cli_ended - cli_started)) ms from start to exit"
    ;;
echo-send)
    # Echo family: every character waits for its echo.
    start_sim 0 202
    long_program 1000 >"$work/long.nc"
    start_cli send "$work/long.nc"
    # About a minute under Wine on a busy 2-core machine (every character is a
    # round trip through the wineserver); the bound only catches a hang.
    stored=$(sim_reports "stored program" 240) || fail "no program stored"
    wait_cli 240
    [ "$cli_status" -eq 0 ] || fail "exit status $cli_status"
    expect_same "$work/long.nc" "$(stored_path "$stored")"
    echo "echo-send: $(stat -c %s "$work/long.nc") bytes, byte-exact, $((cli_ended - cli_started)) ms from start to exit"
    ;;
receive)
    start_sim 1 203
    long_program 5000 >"$work/program.nc"
    sed 's/$/\r/' "$work/program.nc" >"$work/program.expected"
    start_cli receive "$work/received.nc"
    cli_printed $'Begin to receive file\r' || fail "the receive did not begin"
    sim "send $work/program.nc" "sending program"
    sim_reports "sent program" 60 >/dev/null || fail "the program was not sent"
    wait_cli
    [ "$cli_status" -eq 0 ] || fail "exit status $cli_status"
    expect_same "$work/program.expected" "$work/received.nc"
    expect_log "File receiving completed"
    echo "receive: $(stat -c %s "$work/program.nc") bytes sent, $(stat -c %s "$work/received.nc") stored (CR LF)," \
         "byte-exact, $((cli_ended - cli_started)) ms from start to exit"
    ;;
download)
    # System software in checked blocks (family 3): a whole block and a
    # short last one, which the controller gets zero-filled.
    start_sim 3 204
    head -c 40000 /dev/urandom >"$work/payload"
    sum=$(od -An -v -tu1 "$work/payload" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { printf "%d", s % 4294967296 }')
    le32() { printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
    { printf '%%QZ'; head -c 11 /dev/zero; le32 "$sum"; le32 40000; cat "$work/payload"; } >"$work/update.bin"
    { cat "$work/payload"; head -c $((65536 - 40000)) /dev/zero; } >"$work/download.expected"
    sim "expect download blocks answer 11" "expecting download"
    start_cli download --kind 3 "$work/update.bin"
    sim_reports "download verdict 1 after block 2" 120 >/dev/null || fail "no good verdict"
    wait_cli 120
    [ "$cli_status" -eq 0 ] || fail "exit status $cli_status"
    stored=$(sim_reports "stored download") || fail "no download stored"
    expect_same "$work/download.expected" "$(stored_path "$stored")"
    echo "download: 2 blocks, $(stat -c %s "$work/download.expected") bytes, byte-exact, good verdict," \
         "$((cli_ended - cli_started)) ms from start to exit"
    ;;
cancel)
    # Ctrl+C: Wine hands a SIGINT to the process's console control handlers
    # as CTRL_C_EVENT, on a thread of their own as Windows does.
    start_sim 1 205 --pace --line 115200,o,8,1
    long_program 10000 >"$work/long.nc"
    sim "mark at 2000" "armed mark"
    start_cli send "$work/long.nc"
    sim_reports "reached 2000 bytes" 60 >/dev/null || fail "the send did not start"
    pressed=$(now_ms)
    kill -INT "$cli_pid"
    wait_cli 20
    [ "$cli_status" -eq 130 ] || fail "exit status $cli_status, not 130"
    expect_log "File sending cancelled"
    echo "cancel: Ctrl+C to exit $((cli_ended - pressed)) ms"
    ;;
refuse)
    # What is refused before the port is touched, with the same messages
    # and exit codes as on POSIX; the help names this system's keys.
    com=201 family=1
    start_cli send --help
    wait_cli
    [ "$cli_status" -eq 0 ] || fail "send --help: exit status $cli_status"
    grep -qF "Ctrl+C (Ctrl+Break, closing the console) cancels" "$work/cli.out" || fail "the help lacks the keys"
    start_cli send --baud-index 7 "$work/none.nc"
    wait_cli
    [ "$cli_status" -eq 2 ] || fail "a bad option: exit status $cli_status, not 2"
    mkdir "$work/folder"
    start_cli receive "$work/folder"
    wait_cli
    [ "$cli_status" -eq 1 ] || fail "a folder as FILE: exit status $cli_status, not 1"
    grep -qF "folder is a folder, not a regular file" "$work/cli.err" || fail "a folder as FILE: no reason given"
    start_cli send NUL
    wait_cli
    [ "$cli_status" -eq 1 ] || fail "NUL as FILE: exit status $cli_status, not 1"
    grep -qF "NUL is a device, not a regular file" "$work/cli.err" || fail "NUL as FILE: no reason given"
    start_cli send "$work/missing.nc"
    wait_cli
    [ "$cli_status" -eq 1 ] || fail "a missing FILE: exit status $cli_status, not 1"
    echo "refuse: help, bad option, folder, device, missing file refused as on POSIX"
    ;;
*)
    fail "unknown case"
    ;;
esac
exit 0

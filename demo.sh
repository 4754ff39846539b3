#!/usr/bin/env bash
# Plays a whole game on this machine: builds the local game server and the
# example bot (in build-demo/) when needed, starts the server with the
# default map on a free loopback port and one example bot per power, shows
# a line per phase and the final table of supply centres, and leaves the
# game record and the picture of the final board in an output folder.
#
#   ./demo.sh [--years N] [--seed N] [--steps N] [--out DIR]
#
#   --years N   game years to play (default 5)
#   --seed N    play a generated map of this seed instead of the default map
#   --steps N   the bots' search budget: agenda steps per phase (default 30)
#   --out DIR   output folder (default out/demo-<date>-<time>)
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

years=5
steps=30
seed=()
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --years) years=$2; shift 2 ;;
    --steps) steps=$2; shift 2 ;;
    --seed) seed=(--seed "$2"); shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
[ -n "$out" ] || out="out/demo-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
out=$(cd "$out" && pwd)

echo "== building the server and the example bot in build-demo/ (about a minute the first time) =="
if [ ! -f build-demo/build.ninja ]; then
  # -O2 rather than Release's -O3: at -O3 g++ 12 reports false -Wrestrict
  # warnings inside std::string, and warnings are errors.
  cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DBROX_TESTS=OFF -DBROX_BENCH=OFF >"$out/build.log" 2>&1 || { cat "$out/build.log" >&2; exit 1; }
fi
if ! cmake --build build-demo -j2 --target brox-server brox_bot >>"$out/build.log" 2>&1; then
  cat "$out/build.log" >&2
  echo "demo.sh: the build failed" >&2
  exit 1
fi
server=$root/build-demo/tools/brox-server
bot=$root/build-demo/examples/brox_bot

echo "== playing $years years; output in $out =="
"$server" --port 0 --years "$years" "${seed[@]}" --out "$out" >"$out/server.log" 2>&1 &
server_pid=$!
bot_pids=()
stop() {
  kill "$server_pid" 2>/dev/null || true
  wait "${bot_pids[@]}" 2>/dev/null || true
}
trap 'stop; exit 130' INT TERM

# The server's first line names its port, the second how many bots it awaits.
for _ in $(seq 100); do
  [ "$(wc -l <"$out/server.log")" -ge 2 ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
port=$(sed -n '1s/^port \([0-9]*\)$/\1/p' "$out/server.log")
powers=$(sed -n '2s/^waiting for \([0-9]*\) bots.*/\1/p' "$out/server.log")
if [ -z "$port" ] || [ -z "$powers" ]; then
  cat "$out/server.log" >&2
  echo "demo.sh: the server did not start" >&2
  exit 1
fi

for i in $(seq "$powers"); do
  mkdir -p "$out/bots/bot$i"
  (cd "$out/bots/bot$i" && exec "$bot" -p "$port" --steps "$steps" --name "bot$i" >bot.log 2>&1) &
  bot_pids+=($!)
done

tail -n +3 -f --pid="$server_pid" "$out/server.log" &
tail_pid=$!
status=0
wait "$server_pid" || status=$?
wait "$tail_pid" 2>/dev/null || true
for pid in "${bot_pids[@]}"; do wait "$pid" || status=1; done
trap - INT TERM

echo
echo "output folder: $out"
echo "  game record  $out/game.jsonl"
echo "  final board  $out/final-board.svg"
echo "  table        $out/centres.txt"
echo "  logs         $out/server.log, $out/bots/bot*/bot.log"
exit "$status"

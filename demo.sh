#!/usr/bin/env bash
# Plays a whole game on this machine: builds the local game server and the
# example bot when needed (in build/ when the tests were built there, else
# in build-demo/), starts the server on a free loopback port with one
# example bot per power, shows a line per phase and the final table of
# supply centres, and leaves the game record, a picture of every phase and
# the replay page in an output folder.
#
#   ./demo.sh [--years N] [--seed N] [--provinces N] [--powers N] [--homes N]
#             [--map DIR] [--steps N] [--out DIR]
#
#   --years N      game years to play (default 5)
#   --seed N       play a generated map of this seed instead of the default map
#   --provinces N, --powers N, --homes N
#                  the generated map's size (8 to 300 provinces, 1 to 20
#                  powers, 1 to 5 home centres each)
#   --map DIR      play the map in DIR, as brox-mapgen writes it
#   --steps N      the bots' search budget: agenda steps per phase (default 30)
#   --out DIR      output folder (default out/demo-<date>-<time>)
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

fail() { echo "demo.sh: $*" >&2; exit 2; }
# Option $1 must have a value ($2), and for need_number a whole number.
need_value() {
  [ $# -ge 2 ] && [ -n "$2" ] && [ "${2#--}" = "$2" ] || fail "$1 needs a value (see --help)"
}
need_number() {
  need_value "$@"
  [[ $2 =~ ^[0-9]+$ ]] || fail "$1: \"$2\" is not a number"
}

years=5
steps=30
map=()
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --years) need_number "$@"; years=$2; shift 2 ;;
    --steps) need_number "$@"; steps=$2; shift 2 ;;
    --seed|--provinces|--powers|--homes) need_number "$@"; map+=("$1" "$2"); shift 2 ;;
    --map) need_value "$@"; map+=(--map "$2"); shift 2 ;;
    --out) need_value "$@"; out=$2; shift 2 ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) fail "unknown option $1 (see --help)" ;;
  esac
done
[ "$((10#$years))" -ge 1 ] && [ "$((10#$years))" -le 1000 ] 2>/dev/null || fail "--years must be 1 to 1000"
[ -n "$out" ] || out="out/demo-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The tree of the README's test command when there is one; else a tree of
# the demo's own, without tests and benchmarks.
tree=build
if [ ! -f build/build.ninja ]; then
  tree=build-demo
  if [ ! -f build-demo/build.ninja ]; then
    echo "== configuring build-demo/ (the build takes about a minute the first time) =="
    # -O2 rather than Release's -O3: at -O3 g++ 12 reports false -Wrestrict
    # warnings inside std::string, and warnings are errors.
    cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DBROX_TESTS=OFF -DBROX_BENCH=OFF >"$out/build.log" 2>&1 || { cat "$out/build.log" >&2; exit 1; }
  fi
fi
echo "== building the server and the example bot in $tree/ =="
if ! cmake --build "$tree" -j2 --target brox-server brox_bot >>"$out/build.log" 2>&1; then
  cat "$out/build.log" >&2
  echo "demo.sh: the build failed" >&2
  exit 1
fi
server=$root/$tree/tools/brox-server
bot=$root/$tree/examples/brox_bot

echo "== playing $years years; output in $out =="
"$server" --port 0 --years "$years" ${map[@]+"${map[@]}"} --out "$out" >"$out/server.log" 2>&1 &
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

# The server has listed its files above; the logs are the demo's own.
echo "logs:         $out/server.log, $out/bots/bot*/bot.log"
echo "open the replay page in a web browser to watch the game again"
exit "$status"

#!/usr/bin/env bash
# A tournament on a real Slurm cluster: starts a single-node cluster on
# this machine from Debian's packages (slurmctld, slurmd, slurm-client,
# munge), with no systemd and no cgroups, everything under one scratch
# folder and on loopback; plans a small tournament, submits the sbatch line
# that --plan-only prints, waits for the array, merges, and checks that
# every game was played and that seats.csv equals a local run's of the
# same plan.  The daemons are stopped by process id at the end.
#
#   .ci/slurm_tournament.sh BUILD_DIR      (as root: the daemons run as root)
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd -P)
tournament=$build/tools/brox-tournament
bot=$build/examples/brox_bot
for program in munged slurmctld slurmd sbatch squeue sinfo; do
  command -v "$program" >/dev/null || { echo "$0: $program is missing (Debian: slurmctld slurmd slurm-client munge)" >&2; exit 1; }
done
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: the cluster's daemons run as root; run this as root" >&2
  exit 1
fi

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f", b - a }'; }

# munged wants every folder above its socket searchable by all.
cluster=$(mktemp -d /tmp/brox-slurm.XXXXXX)
chmod 755 "$cluster"
mkdir -p "$cluster/munge" "$cluster/state" "$cluster/spool" "$cluster/log" "$cluster/work"
stop_cluster() {
  local started pids=()
  started=$(seconds)
  # Each daemon by its process id, read before any of them goes (each
  # removes its pid file as it ends).
  for pid_file in "$cluster/slurmd.pid" "$cluster/slurmctld.pid" "$cluster/munge/munged.pid"; do
    [ -s "$pid_file" ] && pids+=("$(cat "$pid_file")")
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  echo "slurm: cluster stopped in $(elapsed "$started") s"
  rm -rf "$cluster"
}
trap stop_cluster EXIT

free_port() { /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

started=$(seconds)
dd if=/dev/urandom of="$cluster/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$cluster/munge/munge.key"
munged --socket="$cluster/munge/socket" --key-file="$cluster/munge/munge.key" \
  --pid-file="$cluster/munge/munged.pid" --log-file="$cluster/munge/munged.log" --seed-file="$cluster/munge/seed"

node=$(hostname -s)
cpus=$(nproc)
# The node's memory as slurmd finds it, declared so that --mem is accepted.
memory=$(slurmd -C | sed -n 's/.*RealMemory=\([0-9]*\).*/\1/p')
export SLURM_CONF=$cluster/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=brox-ci
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
CommunicationParameters=NoInAddrAny,NoCtldInAddrAny
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$cluster/munge/socket
StateSaveLocation=$cluster/state
SlurmdSpoolDir=$cluster/spool
SlurmctldPidFile=$cluster/slurmctld.pid
SlurmdPidFile=$cluster/slurmd.pid
SlurmctldLogFile=$cluster/log/slurmctld.log
SlurmdLogFile=$cluster/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
MpiDefault=none
MailProg=/bin/true
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=ci Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
for _ in $(seq 300); do
  [ "$(sinfo -h -n "$node" -o %T 2>/dev/null)" = idle ] && break
  sleep 0.1
done
if [ "$(sinfo -h -n "$node" -o %T 2>/dev/null)" != idle ]; then
  echo "slurm: the node did not come up; its logs:" >&2
  tail -n 20 "$cluster"/log/*.log "$cluster/munge/munged.log" >&2
  exit 1
fi
echo "slurm: cluster of one node ($cpus cores, $memory MB) up in $(elapsed "$started") s"

# The same plan twice: once for Slurm, once for GNU parallel here.
plan=(--bot "small=$bot --steps 2" --bot "large=$bot --steps 6" --games 8 --years 2 --seed 5)
work=$cluster/work
"$tournament" "${plan[@]}" --plan-only --out "$work/on-slurm" >"$work/plan.txt"
# The two lines of the sbatch command, as printed.
submit=$(sed -n '/^  sbatch /{N;p}' "$work/plan.txt" | sed 's/\\$//' | tr -d '\n')
[ -n "$submit" ] || { cat "$work/plan.txt"; echo "slurm: no sbatch line in the plan" >&2; exit 1; }
started=$(seconds)
echo "slurm: $submit"
job=$(eval "$submit" | sed -n 's/^Submitted batch job \([0-9]*\)$/\1/p')
[ -n "$job" ] || { echo "slurm: sbatch gave no job id" >&2; exit 1; }
for _ in $(seq 1200); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 0.5
done
if [ -n "$(squeue -h -j "$job" 2>/dev/null)" ]; then
  squeue; echo "slurm: job $job still runs after 10 minutes" >&2; exit 1
fi
echo "slurm: 8 games played as job array $job in $(elapsed "$started") s"
if ! "$tournament" merge "$work/on-slurm" >"$work/merge.txt"; then
  cat "$work/merge.txt" "$work/on-slurm"/slurm/*.out >&2
  echo "slurm: not every game of the array was played" >&2
  exit 1
fi
grep -q "8 games on maps generated from seeds 5 to 8: 8 played, 0 failed" "$work/merge.txt" ||
  { cat "$work/merge.txt"; echo "slurm: the table does not count 8 played games" >&2; exit 1; }

started=$(seconds)
"$tournament" "${plan[@]}" --jobs "$cpus" --out "$work/here" >"$work/local.txt" ||
  { cat "$work/local.txt"; echo "slurm: the local run failed" >&2; exit 1; }
echo "slurm: the same 8 games played here in $(elapsed "$started") s"
if ! diff "$work/here/seats.csv" "$work/on-slurm/seats.csv"; then
  echo "slurm: seats.csv differs between Slurm and the local run" >&2
  exit 1
fi
echo "slurm: every game played, seats.csv equal to the local run's ($(($(wc -l <"$work/here/seats.csv") - 1)) seats)"

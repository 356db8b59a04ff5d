#!/usr/bin/env bash
# Runs the README's job-array line on a real scheduler: a one-node Slurm
# cluster (slurmctld and slurmd as root, with munge) started in a private
# folder on private ports, the line taken from README.md as it stands, and
# the tasks' outputs put together in order compared with one whole walk,
# byte for byte. The cluster is stopped, and its folder removed, on every
# way out. Needs root and Debian's slurm-wlm and munge.
#
#   scripts/slurm-walk-check.sh [COLLECT_WALK]
#
# COLLECT_WALK defaults to the default preset's build/tools/collect-walk/collect-walk.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
walk=$(realpath "${1:-build/tools/collect-walk/collect-walk}")
line=$(grep -m1 '^sbatch --array=' README.md)
tasks=$(sed -E 's/.*--array=1-([0-9]+).*/\1/' <<<"$line")
work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-slurm-walk.XXXXXX")
chmod 755 "$work"  # slurmd runs the jobs from here
pids=()
stop() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [[ ${keep_logs:-} ]]; then tail -n 20 "$work"/*.log >&2 || true; fi
  rm -rf "$work"
}
trap stop EXIT
fail() { echo "slurm-walk: $*" >&2; keep_logs=1; exit 1; }

# A TCP port that nothing listens on.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  fail "no free port found"
}

# munge with a key, socket and state of its own.
mkdir -m 700 "$work/munge"
dd if=/dev/urandom of="$work/munge/key" bs=1024 count=1 status=none
chmod 400 "$work/munge/key"
munged --force --key-file="$work/munge/key" --socket="$work/munge/socket" \
  --pid-file="$work/munge/pid" --seed-file="$work/munge/seed" \
  --foreground >"$work/munged.log" 2>&1 &
pids+=($!)

host=$(hostname -s)
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF=$work/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=vscr-ci
SlurmctldHost=$host
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=ci Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
for _ in $(seq 50); do [[ -S $work/munge/socket ]] && break; sleep 0.1; done
slurmctld -D -f "$SLURM_CONF" >>"$work/slurmctld.log" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >>"$work/slurmd.log" 2>&1 &
pids+=($!)
for _ in $(seq 120); do
  [[ $(sinfo -h -o %t 2>/dev/null) == idle ]] && break
  sleep 0.5
done
[[ $(sinfo -h -o %t 2>/dev/null) == idle ]] || fail "the node did not come up"

# The collect file, one whole walk, and the README's line.
source "$source/scripts/walk-check-setup.sh"
walk_check_setup "$walk" "$work/walk" files.lst
submitted=$(eval "$line")
job=${submitted##* }
[[ $job =~ ^[0-9]+$ ]] || fail "sbatch said: $submitted"
for _ in $(seq 600); do
  [[ -z $(squeue -h -j "$job" 2>/dev/null) ]] && break
  sleep 0.2
done
[[ -z $(squeue -h -j "$job" 2>/dev/null) ]] || fail "job $job did not end"
for task in $(seq "$tasks"); do
  [[ -f walk.$task.txt ]] || fail "task $task wrote no walk.$task.txt"
  cat "walk.$task.txt"
done >array.txt
grep -l 'collect-walk:' slurm-*.out >/dev/null 2>&1 && fail "a task complained: $(cat slurm-*.out)"
cmp single.txt array.txt || fail "the tasks' outputs differ from the whole walk"
echo "slurm-walk: the README's job array of $tasks tasks on a one-node Slurm cluster gives the" \
  "single walk's $(wc -l <single.txt) lines byte for byte"

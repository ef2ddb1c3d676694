# local_slurm.sh -- a private single-node Slurm on localhost for tests and benchmarks, sourced by them.
# start_local_slurm WORK brings up munged, slurmctld and slurmd with their state, logs and socket under WORK
# (their own output in WORK/*-console.log) and exports SLURM_CONF; stop_local_slurm stops every daemon it
# started, by process id. Needs root. The node has one pretend GPU (its device file is /dev/null), so that jobs
# that ask for a GPU are scheduled and run, and handed it as Slurm hands a GPU; nothing can draw on it.
# submit SCRIPT runs a script that submits itself (as gloamer batch --emit slurm writes them) and prints the
# job's id; await JOB polls squeue until the job has left the queue.

local_slurm_pids=()

local_slurm_missing() {
  local program
  for program in munged mungekey slurmctld slurmd sbatch squeue scancel sinfo runuser; do
    command -v "$program" >/dev/null || { echo "$program is not installed (scripts/install-deps.sh test)"; return; }
  done
  [ "$(id -u)" -eq 0 ] || echo "the daemons of a private Slurm need root"
}

start_local_slurm() {
  local work=$1 try
  # munge with a key and a socket of its own, so that nothing of the machine's is used or disturbed.
  mkdir -p "$work/munge"
  mungekey --create --keyfile="$work/munge/munge.key" >/dev/null
  chown -R munge: "$work/munge"
  chmod 711 "$work/munge" # clients reach the socket; the key itself stays private
  runuser -u munge -- munged --foreground --socket="$work/munge/munge.sock" --key-file="$work/munge/munge.key" \
    --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" --seed-file="$work/munge/seed" >"$work/munged-console.log" 2>&1 &
  local_slurm_pids+=($!)

  local port=$((20000 + $$ % 20000))
  mkdir -p "$work/state" "$work/spool"
  cat >"$work/slurm.conf" <<CONF
ClusterName=gloamertest
SlurmctldHost=localhost
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge/munge.sock
SlurmUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
MailProg=/bin/true
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
ReturnToService=2
GresTypes=gpu
NodeName=localhost CPUs=$(nproc) Gres=gpu:1 State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF
  echo "NodeName=localhost Name=gpu File=/dev/null" >"$work/gres.conf"
  export SLURM_CONF=$work/slurm.conf
  for try in $(seq 100); do [ -S "$work/munge/munge.sock" ] && break; sleep 0.2; done
  [ -S "$work/munge/munge.sock" ] || { echo "munged did not start: $(tail -n1 "$work/munge/munged.log")"; return 1; }
  slurmctld -D -i -f "$SLURM_CONF" >"$work/slurmctld-console.log" 2>&1 &
  local_slurm_pids+=($!)
  slurmd -D -N localhost -f "$SLURM_CONF" >"$work/slurmd-console.log" 2>&1 &
  local_slurm_pids+=($!)
  for try in $(seq 150); do sinfo -h -o %t 2>/dev/null | grep -qx idle && return 0; sleep 0.2; done
  echo "the node never became idle"
  return 1
}

stop_local_slurm() {
  local pid
  for pid in "${local_slurm_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${local_slurm_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  local_slurm_pids=()
}

submit() { bash "$1" | sed -n 's/^Submitted batch job \([0-9]*\)$/\1/p'; }

await() {
  local try
  for try in $(seq 1500); do [ -z "$(squeue -h -j "$1" 2>/dev/null)" ] && return 0; sleep 0.2; done
  echo "job $1 never ended"
  return 1
}

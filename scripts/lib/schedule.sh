# The test run's scheduler: jobs with the jobs they wait for, each run in the
# background with its own log, at most SLOTS processor-bound ones at a time.
# Sourced by scripts/test after common.sh, not run.
#
# A job has a weight, the processors it keeps busy: 1 for a compiler or a
# test program, 0 for one that mostly waits (the system tests wait on sound
# played in real time), which then runs beside the others without taking a
# slot. Among the jobs whose dependencies are done, the first registered is
# started first.
#
# A job's output goes to $LOGS/NAME.log only. It reports what it found with
# item_ok / item_fail (the SUMMARY's words) and passes counts to other jobs
# with job_note; its exit status says whether it passed. Its processor time
# is measured in a cgroup of its own where the system allows one (every
# process it starts is counted, also Wine's daemonised server and the
# programs Wine starts), else with bash's `times` (only what it waited for).

JOB_NAMES=()
declare -A JOB_STAGE=() JOB_WEIGHT=() JOB_DEPS=() JOB_CMD=() JOB_STATE=() JOB_PID=() JOB_RC=()
declare -A JOB_START=() JOB_END=() JOB_CPU=()
RUN_T0="$(date +%s.%N)"

# job NAME STAGE WEIGHT "DEPENDENCIES" COMMAND [ARGS...]: registers a job of
# the stage STAGE (the table shows stages; a stage may have several jobs).
job() {
  local name="$1" stage="$2" weight="$3" deps="$4"
  shift 4
  JOB_NAMES+=("$name")
  JOB_STAGE[$name]="$stage" JOB_WEIGHT[$name]="$weight" JOB_DEPS[$name]="$deps"
  JOB_CMD[$name]="$(printf '%q ' "$@")" JOB_STATE[$name]=waiting
}

# Inside a job: what the SUMMARY says about it, in order.
item_ok() { printf 'ok\t%s\n' "$1" >>"$LOGS/$JOB_NAME.items"; }
item_fail() { printf 'fail\t%s\t%s\n' "$1" "$2" >>"$LOGS/$JOB_NAME.items"; }
# job_note KEY VALUE / job_noted JOB KEY: a value a later job reads.
job_note() { printf '%s\n' "$2" >"$LOGS/$JOB_NAME.$1"; }
job_noted() { cat "$LOGS/$1.$2" 2>/dev/null; }
# dep_passed JOB: whether that job (a dependency, so finished) passed.
dep_passed() { [ "$(cat "$LOGS/$1.rc" 2>/dev/null)" = 0 ]; }

now() { local t; t="$(date +%s.%N)"; awk -v a="$t" -v b="$RUN_T0" 'BEGIN { printf "%.1f", a - b }'; }
clock() { awk -v s="$1" 'BEGIN { s = int(s + 0.5); printf "%d:%02d", s / 60, s % 60 }'; }

# The cgroup (version 2) of this run, one folder per job beneath it; empty
# where none can be made (no cgroup2 mount, or not allowed to write it).
CG_BASE=""
CG_HOME=""
cpu_accounting_setup() {
  local root own
  for root in /sys/fs/cgroup/unified /sys/fs/cgroup; do
    [ -f "$root/cgroup.procs" ] && [ -f "$root/cgroup.controllers" ] || continue
    own="$(sed -n 's/^0:://p' /proc/self/cgroup)"
    own="${own%/}"
    [ -d "$root$own" ] || continue
    # The groups of runs that were killed before their end: removed once
    # nothing runs in them (rmdir refuses a group that still holds a
    # process, or that has one of its jobs' groups).
    local left pid
    for left in "$root$own"/dudorori-test.*/; do
      [ -d "$left" ] || continue
      pid="${left%/}" pid="${pid##*.}"
      kill -0 "$pid" 2>/dev/null && continue
      rmdir "$left"*/ "$left" 2>/dev/null
    done
    # Beside this script's own group, not inside it: a group holding
    # processes may not have children holding processes once a controller
    # is enabled for them, and the test run enables none anyway.
    if mkdir "$root$own/dudorori-test.$$" 2>/dev/null; then
      CG_HOME="$root$own" CG_BASE="$root$own/dudorori-test.$$"
      return 0
    fi
  done
  return 1
}

cpu_accounting_cleanup() {
  [ -n "$CG_BASE" ] || return 0
  local d
  for d in "$CG_BASE"/*/; do [ -d "$d" ] && rmdir "$d" 2>/dev/null; done
  rmdir "$CG_BASE" 2>/dev/null || true
}

# In a job's subshell: its processor time from here on.
job_cpu_begin() {
  JOB_CG=""
  [ -n "$CG_BASE" ] || return 0
  if mkdir -p "$CG_BASE/$JOB_NAME" && echo "$BASHPID" >"$CG_BASE/$JOB_NAME/cgroup.procs"; then
    JOB_CG="$CG_BASE/$JOB_NAME"
  fi 2>/dev/null
}

# In a job's subshell at its end: seconds of processor time, then leaves the
# job's group so that it can be removed once what ran in it has ended.
job_cpu_end() {
  if [ -n "$JOB_CG" ]; then
    awk '$1 == "usage_usec" { printf "%.1f\n", $2 / 1e6 }' "$JOB_CG/cpu.stat"
    echo "$BASHPID" >"$CG_HOME/cgroup.procs" 2>/dev/null
  else
    times | awk 'function s(t) { split(t, p, "m"); return p[1] * 60 + p[2] }
      { total += s($1) + s($2) } END { printf "%.1f\n", total }'
  fi
}

start_job() {
  local name="$1" weight="${JOB_WEIGHT[$1]}"
  [ "$weight" -gt 0 ] || weight=1
  (
    JOB_NAME="$name"
    export JOBS="$weight"
    exec >"$LOGS/$name.log" 2>&1 </dev/null
    job_cpu_begin
    # Also when the stage leaves through die or exit.
    trap 'job_ended $?' EXIT
    eval "${JOB_CMD[$name]}"
  ) &
  JOB_PID[$name]=$!
  JOB_STATE[$name]=running
  JOB_START[$name]="$(now)"
}

job_ended() {
  job_cpu_end >"$LOGS/$JOB_NAME.cpu"
  [ "$1" -ne 0 ] || rm -rf "$LOGS/tmp/$JOB_NAME"
  echo "$1" >"$LOGS/$JOB_NAME.rc"
}

# own_temp COMMAND...: in a job, runs COMMAND with a temporary folder of
# the job's own (kept when the job fails). The unit tests write files of
# fixed names into the temporary folder, and they run side by side:
# natively, under emulation and under the sanitizers. Not for Wine: it puts
# its server's sockets there, and the 32-bit loader under the emulator
# crashed at start with them in a folder this deep.
own_temp() {
  export TMPDIR="$LOGS/tmp/$JOB_NAME" TEST_TMPDIR="$LOGS/tmp/$JOB_NAME"
  mkdir -p "$TMPDIR"
  "$@"
}

deps_done() {
  local d
  for d in ${JOB_DEPS[$1]}; do
    [ "${JOB_STATE[$d]:-done}" = done ] || return 1
  done
}

# kill_tree PID: stops a job and everything it started, deepest first
# (the scripts' own exit traps then stop their servers).
kill_tree() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do kill_tree "$child"; done
  kill -TERM "$1" 2>/dev/null || true
}

# stop_jobs: on an interruption, every job still running and what it
# started; what is left after 10 s is killed (by its cgroup where there is
# one, which also holds the processes Wine started).
stop_jobs() {
  local name left
  for name in "${JOB_NAMES[@]}"; do
    [ "${JOB_STATE[$name]}" = running ] && kill_tree "${JOB_PID[$name]}"
  done
  for _ in $(seq 1 100); do
    left=0
    for name in "${JOB_NAMES[@]}"; do
      [ "${JOB_STATE[$name]}" = running ] && kill -0 "${JOB_PID[$name]}" 2>/dev/null && left=1
    done
    [ "$left" = 1 ] || break
    sleep 0.1
  done
  for name in "${JOB_NAMES[@]}"; do
    [ "${JOB_STATE[$name]}" = running ] || continue
    if [ -n "$CG_BASE" ] && [ -f "$CG_BASE/$name/cgroup.kill" ]; then
      echo 1 >"$CG_BASE/$name/cgroup.kill" 2>/dev/null
    fi
    kill -KILL "${JOB_PID[$name]}" 2>/dev/null
  done
  wait 2>/dev/null
}

# A line on the console for each job that ends; the items of those that
# report any, and the end of a failed job's log.
report_job() {
  local name="$1" rc="${JOB_RC[$1]}" took verdict
  took="$(awk -v a="${JOB_END[$name]}" -v b="${JOB_START[$name]}" 'BEGIN { printf "%.0f", a - b }')"
  if [ "$rc" -eq 0 ]; then verdict=passed; else verdict="FAILED (exit $rc)"; fi
  log "$(clock "${JOB_END[$name]}") $name $verdict in $took s (processor $(printf '%.0f' "${JOB_CPU[$name]}") s)"
  if [ -s "$LOGS/$name.items" ]; then
    cut -f2 "$LOGS/$name.items" | sed 's/^/    /'
  fi
}

# run_jobs SLOTS NAME...: runs the named jobs (registered, in their order)
# until all have ended. Jobs outside the list are taken as done.
run_jobs() {
  local slots="$1" free="$1" running=0 name w pid rc
  shift
  local -A chosen=()
  for name in "$@"; do chosen[$name]=1; done
  for name in "${JOB_NAMES[@]}"; do [ -n "${chosen[$name]:-}" ] || JOB_STATE[$name]=done; done
  while :; do
    for name in "${JOB_NAMES[@]}"; do
      [ "${JOB_STATE[$name]}" = waiting ] && deps_done "$name" || continue
      w="${JOB_WEIGHT[$name]}"
      [ "$w" -le "$slots" ] || w="$slots"
      [ "$w" -le "$free" ] || continue
      start_job "$name"
      free=$((free - w)) running=$((running + 1))
    done
    [ "$running" -gt 0 ] || break
    pid=""
    wait -n -p pid
    [ -n "$pid" ] || continue
    for name in "${JOB_NAMES[@]}"; do
      [ "${JOB_STATE[$name]}" = running ] && [ "${JOB_PID[$name]}" = "$pid" ] && break
    done
    JOB_END[$name]="$(now)"
    rc="$(cat "$LOGS/$name.rc" 2>/dev/null || echo 1)"
    JOB_RC[$name]="$rc" JOB_CPU[$name]="$(cat "$LOGS/$name.cpu" 2>/dev/null || echo 0)" JOB_STATE[$name]=done
    [ -n "$CG_BASE" ] && rmdir "$CG_BASE/$name" 2>/dev/null
    w="${JOB_WEIGHT[$name]}"
    [ "$w" -le "$slots" ] || w="$slots"
    free=$((free + w)) running=$((running - 1))
    report_job "$name"
  done
}

# stage_table: each stage's wall time (from its first job's start to its
# last one's end), processor time (all its jobs) and the stages it ran
# beside.
stage_table() {
  local name stage
  local -A from=() to=() cpu=()
  local stages=()
  for name in "${JOB_NAMES[@]}"; do
    [ -n "${JOB_END[$name]:-}" ] || continue
    stage="${JOB_STAGE[$name]}"
    if [ -z "${from[$stage]:-}" ]; then
      stages+=("$stage") from[$stage]="${JOB_START[$name]}" to[$stage]="${JOB_END[$name]}" cpu[$stage]=0
    fi
    from[$stage]="$(awk -v a="${from[$stage]}" -v b="${JOB_START[$name]}" 'BEGIN { print (b < a ? b : a) }')"
    to[$stage]="$(awk -v a="${to[$stage]}" -v b="${JOB_END[$name]}" 'BEGIN { print (b > a ? b : a) }')"
    cpu[$stage]="$(awk -v a="${cpu[$stage]}" -v b="${JOB_CPU[$name]}" 'BEGIN { print a + b }')"
  done
  printf '%-16s %7s %9s %7s %7s  %s\n' stage wall processor from to beside
  local s o beside
  for s in "${stages[@]}"; do
    beside=()
    for o in "${stages[@]}"; do
      [ "$o" != "$s" ] || continue
      awk -v a="${from[$s]}" -v b="${to[$s]}" -v c="${from[$o]}" -v d="${to[$o]}" \
        'BEGIN { exit !(c < b - 0.5 && d > a + 0.5) }' && beside+=("$o")
    done
    printf '%-16s %7s %9s %7s %7s  %s\n' "$s" \
      "$(awk -v a="${to[$s]}" -v b="${from[$s]}" 'BEGIN { printf "%.0f s", a - b }')" \
      "$(printf '%.0f s' "${cpu[$s]}")" "$(clock "${from[$s]}")" "$(clock "${to[$s]}")" \
      "$(IFS=,; echo "${beside[*]}" | sed 's/,/, /g')"
  done
}

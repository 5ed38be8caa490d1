# Shell helpers for scripts that build LANs out of private network namespaces
# (sourced, not run). Nothing here touches the namespace the caller runs in:
# every link, address and route goes into a namespace made here, which is
# checked to be new before anything is done in it.
#
#   netns_new VAR        start a process in a new network namespace, its pid in VAR
#   netns_in PID CMD...  run CMD in that namespace
#   ip_add BASE N        the IPv4 address N after BASE (carrying across bytes)
#   netns_start PID NAME DIR CMD...
#                        run CMD in that namespace until the cleanup (stdout in
#                        DIR/NAME.out, stderr in DIR/NAME.err) and wait until it
#                        prints "ready"; 1 when it does not within 10 s
#   netns_cleanup        end every program started and every namespace made
#                        here (call it from the exit trap)
#
# TERVANE_NETNS_GUARD is exported with the caller's namespace added, so the
# programs run here refuse to send anywhere but loopback should they ever
# run outside the namespaces made here.

if [ "$(id -u)" -eq 0 ]; then netns_unshare=(unshare -n); else netns_unshare=(unshare -rn); fi
netns_outside=$(readlink /proc/self/ns/net)
netns_holders=()
netns_programs=()
TERVANE_NETNS_GUARD="$netns_outside ${TERVANE_NETNS_GUARD:-}"
export TERVANE_NETNS_GUARD

# 0 when a namespace can be made here.
netns_possible() { "${netns_unshare[@]}" true 2>/dev/null; }

netns_new() {
  local var=$1 pid ns=""
  # unshare runs directly (not through a shell function), so $! is the
  # process that enters the new namespace; it holds it until the cleanup.
  "${netns_unshare[@]}" sleep 86400 &
  pid=$!
  netns_holders+=("$pid")
  for _ in $(seq 1 100); do
    ns=$(readlink "/proc/$pid/ns/net" 2>/dev/null || true)
    [ -n "$ns" ] && [ "$ns" != "$netns_outside" ] && break
    sleep 0.05
  done
  if [ -z "$ns" ] || [ "$ns" = "$netns_outside" ]; then
    echo "netns: the private namespace did not come up" >&2
    return 1
  fi
  printf -v "$var" '%s' "$pid"
}

netns_in() {
  local pid=$1
  shift
  nsenter -t "$pid" -n "$@"
}

ip_add() {
  local a b c d value
  IFS=. read -r a b c d <<<"$1"
  value=$(( (a << 24) + (b << 16) + (c << 8) + d + $2 ))
  echo "$(( (value >> 24) & 255 )).$(( (value >> 16) & 255 )).$(( (value >> 8) & 255 )).$(( value & 255 ))"
}

netns_start() {
  local pid=$1 name=$2 dir=$3
  shift 3
  # nsenter directly, not through netns_in: a backgrounded shell function is
  # a subshell, and $! would name it instead of the program.
  nsenter -t "$pid" -n "$@" >"$dir/$name.out" 2>"$dir/$name.err" &
  netns_programs+=("$!")
  for _ in $(seq 1 100); do grep -q ready "$dir/$name.out" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

netns_cleanup() {
  local pid
  for pid in "${netns_programs[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  netns_programs=()
  for pid in "${netns_holders[@]}"; do kill "$pid" 2>/dev/null || true; done
  netns_holders=()
}

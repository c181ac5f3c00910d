# Helpers for the end-to-end tests: run inside a virtual X server with a window manager.
# The program runs with VANTRELL_DEBUG=1 and prints window ids and camera lines on stdout.

fail() {
  echo "FAIL: $*" >&2
  [ -n "${log:-}" ] && [ -f "$log" ] && { echo "--- program output (last lines)" >&2; grep -v '^position' "$log" | tail -20 >&2; tail -3 "$log" >&2; }
  [ -n "${errlog:-}" ] && [ -f "$errlog" ] && { echo "--- program errors" >&2; grep -v dconf "$errlog" | tail -20 >&2; }
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}

# wait_for_line FILE PATTERN [SECONDS] [COUNT]: waits until COUNT lines (default 1) match.
wait_for_line() {
  local file=$1 pattern=$2 seconds=${3:-20} count=${4:-1} n
  for ((n = 0; n < seconds * 10; n++)); do
    local found
    found=$(grep -c -E "$pattern" "$file" 2>/dev/null)  # nothing while the file does not exist
    [ "${found:-0}" -ge "$count" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# focus WINDOW: gives the window the keyboard focus, retrying while it is still being mapped.
focus() {
  local n
  for ((n = 0; n < 10; n++)); do
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null && return 0
    sleep 0.3
  done
  return 1
}

# last_camera FILE: the last debug line's position and forward as "px py pz fx fy fz".
last_camera() { grep '^position ' "$1" | tail -1 | awk '{print $2, $3, $4, $6, $7, $8}'; }

# moved A B LIMIT: true when the points or vectors A and B ("x y z") are further apart than LIMIT.
moved() { awk -v a="$1" -v b="$2" -v limit="$3" 'BEGIN { split(a, p); split(b, q);
  d = (p[1]-q[1])^2 + (p[2]-q[2])^2 + (p[3]-q[3])^2; exit !(d > limit * limit) }'; }

# wait_exit SECONDS: waits for the program to end and checks its exit status is 0.
wait_exit() {
  local n
  for ((n = 0; n < $1 * 10; n++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; local status=$?
      [ "$status" -eq 0 ] || fail "exit status $status, expected 0"
      return 0
    fi
    sleep 0.1
  done
  fail "the program did not end within $1 s"
}

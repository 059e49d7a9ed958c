#!/bin/bash
# A throwaway systemd for the control program's tests: systemd as PID 1 of private
# namespaces, booted on an overlay of this machine's root whose writes land in a tmpfs,
# with fresh /run, /tmp, /dev and /etc/systemd/system (so no unit of the host starts),
# its own loopback network and its own cgroup2 subtree. The staged installation is
# copied to /opt/corvane inside; everything ends with the sandbox or at the time limit.
#   start   boots; writes the host PID of the sandbox's systemd to $SANDBOX_DIR/pid
#   exec    CMD...: runs CMD inside, in a clean environment
#   stop    shuts systemd down and removes the cgroup subtree
# Needs SANDBOX_DIR (a private directory) and, for start, SANDBOX_STAGE. Exit 77 from
# start: this machine cannot run it (no root, namespaces, cgroup2 or overlay).
set -eu
B=$SANDBOX_DIR

cannot() { echo "systemd sandbox: $*" >&2; exit 77; }

preflight() {
  [ "$(id -u)" -eq 0 ] || cannot "needs root"
  [ -x /lib/systemd/systemd ] || cannot "no systemd at /lib/systemd/systemd"
  local cgroot
  cgroot=$(findmnt -n -t cgroup2 -o TARGET | head -n 1)
  [ -n "$cgroot" ] || cannot "no cgroup2 mount"
  mkdir -p "$B/root" "$B/rw"
  unshare --pid --fork --mount --uts --ipc --net --propagation private true 2>/dev/null ||
    cannot "cannot create pid, mount, uts, ipc and network namespaces"
  unshare --mount --propagation private sh -c "mount -t tmpfs t '$B/rw' && mkdir '$B/rw/u' '$B/rw/w' &&
      mount -t overlay o -o 'lowerdir=/,upperdir=$B/rw/u,workdir=$B/rw/w' '$B/root'" 2>/dev/null ||
    cannot "cannot mount an overlay of /"
  mkdir "$cgroot/corvane-sandbox-$$" 2>/dev/null || cannot "cannot create a cgroup below $cgroot"
  echo "$cgroot/corvane-sandbox-$$" > "$B/cgroup"
}

# Host PID of the process that is n generations below pid (first child each time).
descendant() {
  local p=$1 n=$2
  while [ "$n" -gt 0 ] && [ -n "$p" ]; do
    p=$(cat /proc/"$p"/task/*/children 2>/dev/null | awk '{print $1; exit}')
    n=$((n - 1))
  done
  echo "$p"
}

case "$1" in
start)
  preflight
  : > "$B/console.log"
  ( timeout -k 5 "${SANDBOX_TIMEOUT:-300}" unshare --pid --fork --kill-child=SIGKILL --mount --uts --ipc --net \
      --propagation private "$0" stage1 >>"$B/console.log" 2>&1; echo $? > "$B/rc" ) </dev/null >/dev/null 2>&1 &
  waiter=$!
  p=
  for _ in $(seq 200); do
    p=$(descendant "$waiter" 3)
    [ -n "$p" ] && [ "$(readlink /proc/"$p"/ns/pid)" != "$(readlink /proc/self/ns/pid)" ] && break
    p=
    sleep 0.05
  done
  [ -n "$p" ] || { echo "systemd sandbox: no PID 1 appeared" >&2; cat "$B/console.log" >&2; exit 1; }
  echo "$p" > "$B/pid"; readlink /proc/"$p"/ns/pid > "$B/pidns"
  for _ in $(seq 300); do
    state=$("$0" exec systemctl is-system-running 2>/dev/null) || true
    case "$state" in running|degraded) exit 0;; esac
    sleep 0.1
  done
  echo "systemd sandbox: did not finish booting (state '$state')" >&2; cat "$B/console.log" >&2; exit 1
  ;;
stage1)
  echo $$ > "$(cat "$B/cgroup")/cgroup.procs"
  exec unshare --cgroup "$0" stage2
  ;;
stage2)
  R=$B/root
  mount --make-rprivate /
  mount -t tmpfs -o mode=755 sandbox-rw "$B/rw"; mkdir "$B/rw/upper" "$B/rw/work"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$B/rw/upper,workdir=$B/rw/work" "$R"
  mkdir -p "$R/opt/corvane"; cp -a "$SANDBOX_STAGE/." "$R/opt/corvane/"
  mount -t proc proc "$R/proc"
  mount --bind "$R/proc/sys" "$R/proc/sys"; mount -o remount,bind,ro "$R/proc/sys"
  mount -t sysfs -o ro sysfs "$R/sys"
  mount -t cgroup2 cgroup2 "$R/sys/fs/cgroup"
  mount -t tmpfs -o mode=755,nosuid tmpfs "$R/dev"
  for n in null zero full random urandom tty; do touch "$R/dev/$n"; mount --bind "/dev/$n" "$R/dev/$n"; done
  mkdir "$R/dev/pts" "$R/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$R/dev/pts"; ln -s pts/ptmx "$R/dev/ptmx"
  mount -t tmpfs -o mode=1777 tmpfs "$R/dev/shm"
  mount -t tmpfs -o mode=755 tmpfs "$R/run"
  mount -t tmpfs -o mode=1777 tmpfs "$R/tmp"
  mount -t tmpfs -o mode=755 tmpfs "$R/etc/systemd/system"
  printf '[Unit]\nDescription=sandbox boot target\nRequires=sysinit.target\nAfter=sysinit.target\nAllowIsolate=yes\n' \
      > "$R/etc/systemd/system/sandbox.target"
  cd "$R"; mkdir -p .oldroot; pivot_root . .oldroot; cd /; umount -l /.oldroot
  exec setpriv --bounding-set -sys_module,-sys_time \
      env -i container=other PATH=/usr/sbin:/usr/bin:/sbin:/bin /lib/systemd/systemd --system --unit=sandbox.target
  ;;
exec)
  shift
  p=$(cat "$B/pid")
  [ "$(readlink /proc/"$p"/ns/pid)" = "$(cat "$B/pidns")" ] || { echo "systemd sandbox: not running" >&2; exit 1; }
  exec nsenter -t "$p" -m -u -i -n -p -C -r -w env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      LANG=C.UTF-8 "$@"
  ;;
stop)
  p=$(cat "$B/pid" 2>/dev/null || true)
  if [ -n "$p" ]; then
    "$0" exec systemctl --no-block exit 2>/dev/null || true
    for _ in $(seq 100); do [ -e "$B/rc" ] && break; sleep 0.1; done
    # Only a process that is still the sandbox's PID 1 may be killed.
    if [ ! -e "$B/rc" ] && [ "$(readlink /proc/"$p"/ns/pid 2>/dev/null)" = "$(cat "$B/pidns")" ]; then
      kill -9 "$p"; for _ in $(seq 50); do [ -e "$B/rc" ] && break; sleep 0.1; done
    fi
  fi
  if [ -f "$B/cgroup" ]; then
    cg=$(cat "$B/cgroup")
    # Whatever is left in the subtree belongs to the sandbox alone.
    [ -e "$cg/cgroup.kill" ] && echo 1 > "$cg/cgroup.kill" 2>/dev/null || true
    for _ in $(seq 50); do
      find "$cg" -depth -type d -exec rmdir {} + 2>/dev/null || true
      [ -d "$cg" ] || break
      sleep 0.1
    done
    [ -d "$cg" ] && { echo "systemd sandbox: $cg not removed" >&2; exit 1; }
  fi
  exit 0
  ;;
*)
  echo "usage: $0 start | exec CMD... | stop" >&2; exit 2
  ;;
esac

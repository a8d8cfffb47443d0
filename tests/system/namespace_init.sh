#!/bin/sh
# Becomes PID 1 of a private PID, mount, UTS, IPC, network and cgroup namespace
# and turns into a systemd that sees only a throw-away copy of the machine:
#   namespace_init.sh WORK EXCHANGE [PROGRAMS]
# WORK: an empty folder for the overlay's layers (a tmpfs is mounted on it here);
# EXCHANGE: a folder shared with the test, bound at the same path inside;
# PROGRAMS: the build's program folder, bound read-only at the same path inside,
# since a build under /tmp would otherwise vanish behind the private /tmp.
# Everything systemd writes stays in the overlay's tmpfs upper layer; the units
# that act on the shared kernel, devices or clock are masked.
set -eu
work=$1
exchange=$2
programs=${3:-}

mount -t tmpfs -o mode=0755 brivane-ns "$work"
mkdir "$work/upper" "$work/lower-work" "$work/root"
mount -t overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/lower-work" brivane-root "$work/root"
root=$work/root

# Kernel views of our own namespaces; the shared kernel's knobs stay read-only.
mount -t proc proc "$root/proc"
mount --bind "$root/proc/sys" "$root/proc/sys"
mount -o remount,bind,ro "$root/proc/sys"
if [ -e "$root/proc/sysrq-trigger" ]; then
  mount --bind "$root/proc/sysrq-trigger" "$root/proc/sysrq-trigger"
  mount -o remount,bind,ro "$root/proc/sysrq-trigger"
fi
mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$root/sys"
mount -t cgroup2 -o nosuid,nodev,noexec cgroup2 "$root/sys/fs/cgroup"

# A private /dev: the usual character devices and our own pseudo-terminals, so
# nothing created in /dev (the journal's /dev/log, say) reaches the machine.
mount -t tmpfs -o mode=0755,nosuid brivane-dev "$root/dev"
for node in null zero full random urandom tty; do
  touch "$root/dev/$node"
  mount --bind "/dev/$node" "$root/dev/$node"
done
touch "$root/dev/console"
mount --bind /dev/null "$root/dev/console"
mkdir "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
mount -t tmpfs -o mode=1777,nosuid,nodev brivane-shm "$root/dev/shm"
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"

mount -t tmpfs -o mode=0755,nosuid,nodev brivane-run "$root/run"
mount -t tmpfs -o mode=1777,nosuid,nodev brivane-tmp "$root/tmp"
if [ -n "$programs" ] && [ -d "$programs" ]; then
  mkdir -p "$root$programs"
  mount --bind "$programs" "$root$programs"
  mount -o remount,bind,ro "$root$programs"
fi
mkdir -p "$root$exchange"
mount --bind "$exchange" "$root$exchange"

# No mounts, swaps or file-system checks from the machine's table.
: >"$root/etc/fstab"

units=$root/etc/systemd/system
# The machine's own enablements, and any Brivane unit it may carry, are not ours.
find "$units" -mindepth 2 -maxdepth 2 \( -path '*.wants/*' -o -path '*.requires/*' \) -delete
rm -f "$units/Brivane.service"
for dir in /lib/systemd/system /usr/lib/systemd/system /etc/systemd/system; do
  [ -d "$dir" ] || continue
  for path in "$dir"/*; do
    [ -d "$path" ] && continue
    name=${path##*/}
    case $name in
      *.timer | *.automount | *.swap | \
      dev-*.mount | sys-*.mount | proc-*.mount | tmp.mount | \
      systemd-tmpfiles* | systemd-sysusers* | systemd-sysctl* | systemd-udev* | \
      systemd-modules-load* | systemd-remount-fs* | systemd-timesyncd* | \
      systemd-random-seed* | systemd-binfmt* | kmod-static-nodes* | systemd-repart* | \
      systemd-pcrphase* | systemd-pstore* | systemd-hwdb-update* | systemd-firstboot* | \
      systemd-machine-id-commit* | systemd-journald-audit.socket | systemd-fsck* | \
      systemd-growfs* | systemd-quotacheck* | systemd-boot* | systemd-hibernate* | \
      systemd-backlight* | systemd-rfkill* | systemd-vconsole-setup* | \
      systemd-networkd* | systemd-resolved* | systemd-hostnamed* | systemd-timedated* | \
      ldconfig.service | getty* | serial-getty* | console-getty* | container-getty* | \
      keyboard-setup* | console-setup* | cryptsetup* | e2scrub* | fstrim* | \
      apt-daily* | man-db* | dpkg-db-backup*)
        rm -f "$units/$name"
        ln -s /dev/null "$units/$name"
        ;;
    esac
  done
done
# Generators (fstab, gpt-auto, cryptsetup ...) would look at the machine's disks.
mkdir -p "$root/etc/systemd/system-generators"
for dir in /lib/systemd/system-generators /usr/lib/systemd/system-generators; do
  [ -d "$dir" ] || continue
  for path in "$dir"/*; do
    ln -sf /dev/null "$root/etc/systemd/system-generators/${path##*/}"
  done
done

mkdir -p "$root/.brivane-old-root"
cd "$root"
pivot_root . .brivane-old-root
umount -l /.brivane-old-root
rmdir /.brivane-old-root
# Shared as on a booted machine (systemd leaves that to the container manager when it
# runs in one): services' private mounts, such as their credentials, reach the system's
# view. The peer groups are new and this namespace's own; nothing reaches the machine.
mount --make-rshared /

# Without the clock and module capabilities nothing inside can set the
# machine's time or load kernel modules.
export container=brivane-system-test
exec setpriv --bounding-set -sys_time,-sys_module,-wake_alarm \
  /lib/systemd/systemd --system --unit=basic.target

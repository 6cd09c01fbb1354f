#!/usr/bin/env bash
# The driver over a real USB stack: boots a small Linux guest under QEMU (TCG, no root),
# whose driver and libftdi talk through the guest kernel to QEMU's FTDI chip model; the
# simulated box answers on the host end of the chip's serial line.
#
#   run-usb-test.sh BUILD_DIR      exit 0 passed, 77 skipped (QEMU or kernel missing), else failed
set -uo pipefail

build=$(cd "$1" && pwd)
skip() { echo "SKIP: real-USB-stack test: $*"; exit 77; }

# About a minute of two busy cores: it runs when asked (.ci/run does), not in every ctest.
[[ "${TAVIK_USB_TEST:-0}" == 1 ]] || skip "set TAVIK_USB_TEST=1 to run it"

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 not found (SETUP_USB_TEST=1 scripts/setup-deps.sh)"
busybox=$(command -v busybox) || skip "busybox not found"
ldd "$busybox" >/dev/null 2>&1 && skip "$busybox is not static (install busybox-static)"
command -v cpio >/dev/null || skip "cpio not found"
grep -qs '^TAVIK_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" &&
    skip "not in the sanitizer build (the guest has no sanitizer runtime preloaded)"

# A readable kernel with its USB modules (the host's running kernel may be another one).
kernel="" modules=""
for k in /boot/vmlinuz-*; do
    v=${k#/boot/vmlinuz-}
    if [[ -r "$k" && -r /lib/modules/$v/kernel/drivers/usb/host/xhci-pci.ko ]]; then
        kernel=$k modules=/lib/modules/$v/kernel/drivers/usb
    fi
done
[[ -n "$kernel" ]] || skip "no readable /boot/vmlinuz-* with USB modules (install linux-image-amd64)"

guest=$build/bin/usb_guest_test
adapter=$build/lib/libusb_chip_adapter.so
host=$build/bin/usb_box_host
for f in "$guest" "$adapter" "$host"; do [[ -x "$f" || -r "$f" ]] || { echo "missing $f"; exit 1; }; done

work=$(mktemp -d /tmp/tavik-usb.XXXXXX)
hostpid=""
cleanup() { [[ -n "$hostpid" ]] && kill "$hostpid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

# The initramfs: busybox, the USB modules, the test program and every library ldd names.
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules}
cp "$busybox" "$root/bin/busybox"
for tool in sh mount insmod sleep ls poweroff cat; do ln -s busybox "$root/bin/$tool"; done
for m in common/usb-common core/usbcore host/xhci-hcd host/xhci-pci; do
    cp "$modules/$m.ko" "$root/modules/"
done
copy() { mkdir -p "$root$(dirname "$1")"; cp -L "$1" "$root$1"; }
copy "$guest"
copy "$adapter"
for f in "$guest" "$adapter"; do
    ldd "$f" | grep -o '/[^ ]*' | while read -r lib; do copy "$lib"; done
done
cat >"$root/init" <<INIT
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in usb-common usbcore xhci-hcd xhci-pci; do insmod /modules/\$m.ko; done
i=0
while [ \$i -lt 60 ] && ! grep -qs 6001 /sys/bus/usb/devices/*/idProduct; do sleep 0.5; i=\$((i+1)); done
LD_PRELOAD=$adapter $guest
echo "TAVIK_USB_RESULT=\$?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio"

sock=$work/box.sock
"$host" "$sock" &
hostpid=$!
for _ in $(seq 100); do [[ -S "$sock" ]] && break; sleep 0.05; done

log=$work/console.log
monitor=$work/monitor.sock
chip="usb-serial,id=chip,chardev=box,always-plugged=on"
# Removes and re-adds the chip over QEMU's monitor when the guest asks for it.
hmp() {
    /usr/bin/env python3 - "$monitor" "$1" <<'PY'
import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall((sys.argv[2] + "\n").encode())
time.sleep(1)
s.settimeout(1)
try:
    reply = s.recv(65536).decode(errors="replace")
except OSError:
    reply = ""
# The monitor echoes the command as it is typed; only its errors are worth a line.
errors = [line for line in reply.splitlines() if "rror" in line]
print("monitor:", sys.argv[2], "->", errors[-1] if errors else "done")
PY
}
(
    waitlog() { for _ in $(seq 1200); do grep -qa "$1" "$log" 2>/dev/null && return 0; sleep 0.25; done; return 1; }
    waitlog "HOTPLUG READY" && hmp "device_del chip" >"$work/hotplug.log" 2>&1 &&
        waitlog "HOTPLUG GONE" && hmp "device_add $chip" >>"$work/hotplug.log" 2>&1
) &
plugger=$!
timeout 400 "$qemu" -machine q35 -accel tcg -m 512 -smp 1 -nographic -no-reboot \
    -kernel "$kernel" -initrd "$work/initramfs.cpio" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1" \
    -chardev socket,id=box,path="$sock" \
    -monitor unix:"$monitor",server=on,wait=off \
    -device qemu-xhci -device "$chip" \
    </dev/null >"$log" 2>&1
kill "$plugger" 2>/dev/null
[[ -s $work/hotplug.log ]] && cat "$work/hotplug.log"
tr -d '\r' <"$log" | grep -aoE '(PASS|FAIL|FIGURE) .*|[0-9]+ checks failed|TAVIK_USB_RESULT=[0-9]+'
result=$(grep -o 'TAVIK_USB_RESULT=[0-9]*' "$log" | tail -1 | cut -d= -f2)
if [[ "$result" != 0 ]]; then
    echo "== guest console =="; tr -d '\r' <"$log" | tail -60
    exit 1
fi

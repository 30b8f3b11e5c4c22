#!/usr/bin/env bash
# Boots Debian's kernel in QEMU with an emulated FT232 (usb-serial) whose
# serial line is a unix socket to the simulated tracker on the host, and runs
# the libftdi backend's guest test inside. Usage: run-guest-test.sh WORKDIR
# GUEST_TEST TRACKER_PEER. Debian's kernel package is fetched once, into
# WORKDIR or into $KORVESSAN_KERNEL_CACHE when set, so builds can share it.
set -euo pipefail
work=$1 guest_test=$2 tracker_peer=$3
serial=KV777
mkdir -p "$work"
work=$(cd "$work" && pwd)

cache=${KORVESSAN_KERNEL_CACHE:-$work}
mkdir -p "$cache"
kernel_root=$cache/kernel
if [[ ! -d $kernel_root/boot ]]; then
  package=$(apt-cache depends linux-image-amd64 | sed -n 's/.*Depends: \(linux-image-[0-9].*\)/\1/p' | head -1)
  (cd "$cache" && rm -f linux-image-*.deb && { apt-get download "$package" || { apt-get update -qq && apt-get download "$package"; }; })
  rm -rf "$kernel_root.tmp"
  dpkg-deb -x "$cache"/linux-image-*.deb "$kernel_root.tmp"
  rm -f "$cache"/linux-image-*.deb
  mv "$kernel_root.tmp" "$kernel_root"
fi
vmlinuz=$(ls "$kernel_root"/boot/vmlinuz-* | head -1)
modules=$(ls -d "$kernel_root"/lib/modules/* | head -1)/kernel/drivers/usb

# The guest: busybox, the USB host and serial modules, the test program and
# the dynamic libraries it needs with their loader.
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules,lib64}
cp /bin/busybox "$root/bin/busybox"
for module in common/usb-common core/usbcore host/xhci-hcd host/xhci-pci serial/usbserial serial/ftdi_sio; do
  cp "$modules/$module.ko" "$root/modules/"
done
cp "$guest_test" "$root/bin/guest-test"
for library in $(ldd "$guest_test" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
cat >"$root/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  insmod /modules/\$module.ko || echo "insmod \$module failed"
done
for i in \$(seq 100); do
  grep -qs 0403 /sys/bus/usb/devices/*/idVendor && break
  sleep 0.1
done
/bin/guest-test $serial
echo "GUEST-EXIT:\$?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initramfs.gz")

socket=$work/tracker.sock
"$tracker_peer" "$socket" >"$work/peer.log" 2>&1 &
peer=$!
trap 'kill $peer 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -qs listening "$work/peer.log" && break; sleep 0.05; done

# Software emulation only: it boots in seconds, and a nested KVM was seen to
# hang the guest.
accel=tcg
start=$(date +%s%N)
timeout 180 qemu-system-x86_64 -machine q35,accel=$accel -m 512 -smp 1 -nographic -no-reboot -nic none \
  -kernel "$vmlinuz" -initrd "$work/initramfs.gz" -append "console=ttyS0 quiet loglevel=3 panic=-1" \
  -device qemu-xhci -chardev socket,id=tracker,path="$socket" \
  -device usb-serial,chardev=tracker,serial=$serial </dev/null | tee "$work/console.log" | tr -d '\r' |
  grep -E '^(ok|FAILED|GUEST-|insmod)' || true
echo "boot and test took $(( ($(date +%s%N) - start) / 1000000 )) ms (accel $accel)"
grep -q "GUEST-EXIT:0" "$work/console.log"

# Makes sure the machine can run 32-bit x86 programs, which Wine needs for 32-bit Windows
# programs. Where the kernel cannot run them itself (some virtual machines leave 32-bit code
# out), qemu-i386 is registered through binfmt_misc to run them instead. Needs root there.
# Sourced by scripts/test after packages.sh.

ensure_i386_execution() {
    if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
        return 0
    fi
    echo "This machine cannot run 32-bit programs itself; registering qemu-i386 to run them."
    ensure_packages qemu-user-static
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
        local magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        echo ":qemu-i386:M::${magic}:${mask}:/usr/bin/qemu-i386-static:F" |
            as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
    fi
    /lib/ld-linux.so.2 --version >/dev/null
}

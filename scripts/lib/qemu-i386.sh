# Sourced by scripts/with-i386 and scripts/enable-i386-qemu.
# register_qemu_i386 DIR: in the binfmt_misc mounted at DIR, has qemu-i386 run every 32-bit x86
# program: ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386). With F,
# the interpreter is opened now, so it runs whatever the program's own mounts and root.
register_qemu_i386() {
    local magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    [ -e "$1/qemu-i386" ] ||
        echo ":qemu-i386:M::$magic:$mask:$(command -v qemu-i386-static):F" >"$1/register"
}

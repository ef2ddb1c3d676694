/* slow_exit.c -- makes a 32-bit process's teardown at exit() take three seconds, as a busy machine can.
 * Built freestanding, like qemu_mmap_noreplace.c; the system call is nanosleep. */
#define SYS_NANOSLEEP 162

__attribute__((destructor)) static void waitAtExit(void)
{
    long interval[2] = {3, 0}; /* seconds, nanoseconds */
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(SYS_NANOSLEEP), "b"(interval), "c"(0) : "memory");
    (void)result;
}

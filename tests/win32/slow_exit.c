/* slow_exit.c -- makes a 32-bit process's own teardown at exit() take three seconds, as a busy machine can.
 *
 * Preloaded into one Windows program under Wine: Wine counts a process as ended before its libraries' teardown
 * runs, and kills a process still there half a second later, so a program that leaves its end to that teardown
 * ends by SIGKILL. Built freestanding, like qemu_mmap_noreplace.c; the system call is nanosleep. */
#define SYS_NANOSLEEP 162

__attribute__((destructor)) static void waitAtExit(void)
{
    long interval[2] = {3, 0}; /* seconds, nanoseconds */
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(SYS_NANOSLEEP), "b"(interval), "c"(0) : "memory");
    (void)result;
}

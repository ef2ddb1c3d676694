/* qemu_mmap_noreplace.c -- lets 32-bit Wine run under qemu-user 7.2, which ignores mmap's MAP_FIXED_NOREPLACE.
 *
 * Preloaded into Wine's 32-bit processes only where the kernel cannot run 32-bit x86 programs and they run through
 * qemu-i386 instead. Wine reserves its fixed address ranges with MAP_FIXED_NOREPLACE; qemu 7.2 takes the flag for a
 * hint and maps elsewhere, and Wine then fails to place its shared user data. Here the flag becomes a hint plus a
 * check: a mapping that did not land at the address asked for is undone and the call fails with EEXIST, as the
 * kernel would. Built freestanding (no 32-bit C library headers needed); the system call is the old mmap, which
 * takes its six arguments in memory. */
typedef unsigned int size_t;
extern int* __errno_location(void);

#define MAP_FIXED_NOREPLACE 0x100000
#define SYS_OLD_MMAP 90
#define SYS_MUNMAP 91
#define EEXIST 17
#define EOVERFLOW 75

static long call1(long number, long a)
{
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a) : "memory");
    return result;
}

static long call2(long number, long a, long b)
{
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b) : "memory");
    return result;
}

static void* mapMemory(void* address, size_t length, int protection, int flags, int fd, unsigned long long offset)
{
    int noReplace = flags & MAP_FIXED_NOREPLACE;
    flags &= ~MAP_FIXED_NOREPLACE;
    if (offset > 0xffffffffull) {
        *__errno_location() = EOVERFLOW;
        return (void*)-1;
    }
    unsigned long arguments[6] = {(unsigned long)address, length, (unsigned long)protection, (unsigned long)flags,
                                  (unsigned long)fd, (unsigned long)offset};
    long result = call1(SYS_OLD_MMAP, (long)arguments);
    if ((unsigned long)result > 0xfffff000ul) {
        *__errno_location() = (int)-result;
        return (void*)-1;
    }
    if (noReplace && (void*)result != address) {
        call2(SYS_MUNMAP, result, (long)length);
        *__errno_location() = EEXIST;
        return (void*)-1;
    }
    return (void*)result;
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, long offset)
{
    return mapMemory(address, length, protection, flags, fd, (unsigned long long)(unsigned long)offset);
}

void* mmap64(void* address, size_t length, int protection, int flags, int fd, long long offset)
{
    return mapMemory(address, length, protection, flags, fd, (unsigned long long)offset);
}

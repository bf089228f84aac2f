// The few C library functions that the Microsoft-ABI side of the conformance test calls.
//
// That side is compiled for Microsoft's ABI, where the system's C headers do not apply, and
// linked with the 32-bit glibc; cdecl C calls are the same under both ABIs, so the functions
// are declared here by hand, with glibc's i386 types (size_t is 32 bits, va_list is a pointer
// into the argument area, jmp_buf is smaller than the buffer declared here).
#pragma once

typedef unsigned int size_t;
typedef __builtin_va_list va_list;
#define va_start(ap, last) __builtin_va_start(ap, last)
#define va_end(ap) __builtin_va_end(ap)

struct FILE;

extern "C" {
int printf(const char* fmt, ...);
int snprintf(char* buf, size_t size, const char* fmt, ...);
int vsnprintf(char* buf, size_t size, const char* fmt, va_list args);
int fflush(FILE* stream);
FILE* fopen(const char* path, const char* mode);
size_t fread(void* buf, size_t size, size_t count, FILE* stream);
int fclose(FILE* stream);
void* malloc(size_t size);
void free(void* p);
void* memcpy(void* dst, const void* src, size_t n);
void* memset(void* dst, int value, size_t n);
int memcmp(const void* a, const void* b, size_t n);
int strcmp(const char* a, const char* b);
size_t strlen(const char* s);
void abort(void) __attribute__((noreturn));
void exit(int status) __attribute__((noreturn));
void _exit(int status) __attribute__((noreturn));
typedef void (*SignalHandler)(int);
SignalHandler signal(int signum, SignalHandler handler);
enum { SIGILL = 4, SIGABRT = 6, SIGBUS = 7, SIGFPE = 8, SIGSEGV = 11, SIGALRM = 14 };
unsigned alarm(unsigned seconds);

// glibc's setjmp symbol itself: in Microsoft mode the compiler would turn a call of _setjmp
// into one of _setjmp3, which glibc does not have.
struct JumpBuffer {
    int words[64];
};
int setjmp(JumpBuffer* buffer) __attribute__((returns_twice));
void longjmp(JumpBuffer* buffer, int value) __attribute__((noreturn));
}

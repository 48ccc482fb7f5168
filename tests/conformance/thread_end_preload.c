/* A preload for the thread-end check (thread_end_check.py): every thread the
 * process starts through pthread_create gets a thread-local value whose
 * destructor sleeps THREAD_END_DELAY_MS (default 200) milliseconds, the way a
 * library's thread-local clean-up can take its time, and only then counts the
 * thread as gone. When the process exits, a thread still counted is one that
 * nobody waited for: the preload says how many and ends the process with
 * status 99 instead of its own.
 *
 * Build: cc -shared -fPIC -o thread_end_preload.so thread_end_preload.c -ldl -lpthread
 * Use:   LD_PRELOAD=./thread_end_preload.so PROGRAM ...
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef int (*CreateFn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

static atomic_int g_live;
static atomic_int g_started;
static pthread_key_t g_key;
static pthread_once_t g_once = PTHREAD_ONCE_INIT;
static long g_delayMs = 200;

struct Start {
    void* (*fn)(void*);
    void* arg;
};

static void AtThreadEnd(void* value) {
    (void)value;
    struct timespec ts = {g_delayMs / 1000, (g_delayMs % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
    atomic_fetch_sub(&g_live, 1);
}

static void MakeKey(void) {
    const char* d = getenv("THREAD_END_DELAY_MS");
    if (d && *d) g_delayMs = atol(d);
    pthread_key_create(&g_key, AtThreadEnd);
}

static void* RunThread(void* p) {
    struct Start s = *(struct Start*)p;
    free(p);
    pthread_setspecific(g_key, (void*)1);
    return s.fn(s.arg);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*fn)(void*), void* arg) {
    static CreateFn real;
    if (!real) real = (CreateFn)dlsym(RTLD_NEXT, "pthread_create");
    pthread_once(&g_once, MakeKey);
    struct Start* s = malloc(sizeof *s);
    if (!s) return 11; /* EAGAIN */
    s->fn = fn;
    s->arg = arg;
    atomic_fetch_add(&g_live, 1);
    int rc = real(thread, attr, RunThread, s);
    if (rc != 0) {
        atomic_fetch_sub(&g_live, 1);
        free(s);
    } else {
        atomic_fetch_add(&g_started, 1);
    }
    return rc;
}

/* Runs at the very end of exit(), after the program's own exit handlers. */
__attribute__((destructor)) static void AtExit(void) {
    int live = atomic_load(&g_live), started = atomic_load(&g_started);
    if (live > 0) {
        fprintf(stderr, "thread-end check: %d of %d threads still running at exit\n", live, started);
        fflush(stderr);
        _exit(99);
    }
    if (getenv("THREAD_END_REPORT")) fprintf(stderr, "thread-end check: all %d threads ended\n", started);
}

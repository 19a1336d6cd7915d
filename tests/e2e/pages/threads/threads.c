/* Two POSIX threads that share memory: each adds its numbers into one atomic counter and writes
   its own sum. Built by the end-to-end test with emscripten's -pthread, so it runs only where the
   page has SharedArrayBuffer, that is, when it is cross-origin isolated. */
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>

enum { kThreads = 2, kSteps = 100000 };

static atomic_int counter;
static long long sums[kThreads];

static void* Work(void* argument) {
    const int index = (int)(long)argument;
    long long sum = 0;
    for (int step = 1; step <= kSteps; ++step) {
        atomic_fetch_add(&counter, 1);
        sum += (long long)step * (index + 1);
    }
    sums[index] = sum;
    return NULL;
}

int main(void) {
    pthread_t threads[kThreads];
    int started = 0;
    for (long i = 0; i < kThreads; ++i)
        if (pthread_create(&threads[i], NULL, Work, (void*)i) == 0) ++started;
    for (int i = 0; i < started; ++i) pthread_join(threads[i], NULL);
    printf("threads %d counter %d sums %lld %lld\n", started, atomic_load(&counter), sums[0],
           sums[1]);
    return 0;
}

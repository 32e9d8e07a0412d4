/* caller.run_threads for the callers that run on POSIX threads (the dlopen
 * caller, the PE loader): `count` threads (at most 16) run body(0) ...
 * body(count - 1) at once; their results in order. */
#include <pthread.h>

#include "caller.h"

struct Job {
  pthread_t thread;
  intptr_t (*body)(intptr_t);
  intptr_t id, result;
};

static void *RunJob(void *arg) {
  struct Job *job = arg;
  job->result = job->body(job->id);
  return NULL;
}

void RunPosixThreads(int count, intptr_t (*body)(intptr_t), intptr_t *results) {
  struct Job jobs[16];
  for (int t = 0; t < count; ++t) {
    jobs[t].body = body;
    jobs[t].id = t;
    pthread_create(&jobs[t].thread, NULL, RunJob, &jobs[t]);
  }
  for (int t = 0; t < count; ++t) {
    pthread_join(jobs[t].thread, NULL);
    results[t] = jobs[t].result;
  }
}

// Clang's thread-safety annotations: they let the compiler check which lock guards which
// field. Other compilers see empty macros.
#pragma once

#if defined(__clang__)
#define SARVIK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define SARVIK_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) SARVIK_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY SARVIK_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) SARVIK_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) SARVIK_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) SARVIK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) SARVIK_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) SARVIK_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) SARVIK_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define EXCLUDES(...) SARVIK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) SARVIK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) SARVIK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) SARVIK_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) SARVIK_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS SARVIK_THREAD_ANNOTATION(no_thread_safety_analysis)

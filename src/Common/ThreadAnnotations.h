#pragma once

// Lock rules that clang's thread-safety analysis checks (-Wthread-safety):
// a mutex type is a CAPABILITY, a lock guard a SCOPED_CAPABILITY, a field
// names the lock that guards it (GUARDED_BY, or PT_GUARDED_BY for what a
// pointer points to), and a function names the locks its caller must hold
// (REQUIRES), must not hold (EXCLUDES), or that it takes or gives back
// (ACQUIRE, RELEASE). ASSERT_CAPABILITY marks a run-time check that the
// calling thread holds a lock the analysis cannot see taken. Other compilers
// see empty macros.

#if defined(__clang__)
#define TAVO_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TAVO_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) TAVO_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY TAVO_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(lock) TAVO_THREAD_ANNOTATION(guarded_by(lock))
#define PT_GUARDED_BY(lock) TAVO_THREAD_ANNOTATION(pt_guarded_by(lock))
#define REQUIRES(...) TAVO_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TAVO_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TAVO_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) TAVO_THREAD_ANNOTATION(assert_capability(x))
#define EXCLUDES(...) TAVO_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define RETURN_CAPABILITY(x) TAVO_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS TAVO_THREAD_ANNOTATION(no_thread_safety_analysis)

#pragma once
// Lock rules that clang's -Wthread-safety checks at compile time: which
// mutex guards a member, which functions need it held, which take or drop
// it. Other compilers see nothing.

#if defined(__clang__)
#define PMX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PMX_THREAD_ANNOTATION(x)
#endif

// A type whose objects are locks.
#define PMX_CAPABILITY(name) PMX_THREAD_ANNOTATION(capability(name))
// A type that holds a lock for its own lifetime.
#define PMX_SCOPED_CAPABILITY PMX_THREAD_ANNOTATION(scoped_lockable)
// A member read or written only with the lock held.
#define PMX_GUARDED_BY(lock) PMX_THREAD_ANNOTATION(guarded_by(lock))
// The caller must hold the lock.
#define PMX_REQUIRES(...) PMX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The caller must not hold the lock: the function takes it.
#define PMX_EXCLUDES(...) PMX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function takes the lock and returns holding it.
#define PMX_ACQUIRE(...) PMX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// The function takes the lock when it returns the given value.
#define PMX_TRY_ACQUIRE(...) PMX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// The function drops the lock.
#define PMX_RELEASE(...) PMX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

/* A wall clock set from the environment, for the programs of the emulated 32-bit Wine.

   The emulator is a static program, so no library preloaded on the host reaches the
   emulated processes. This one is loaded into each of them from the root's own
   /etc/ld.so.preload (tests/harness/wine32-run.sh builds it) and replaces the C library's
   wall-clock calls that Wine reads the time of day with:
     AQ_CLOCK_AT=SECONDS     the clock stands still at this Unix time;
     AQ_CLOCK_FROM=SECONDS   the clock runs from this Unix time, from the process's first
                             reading of it (soon after its start) on;
     AQ_CLOCK_SHIFT=SECONDS  the clock runs, moved by this many seconds.
   Without either it gives the real time. Only the wall clock moves: the monotonic clock
   (timeouts) and file times stay real. Built for i386 without the C library's headers:
   the calls go straight to the kernel (int 0x80, which the emulator serves). */

typedef long long i64;

extern char* getenv(const char* name);
extern int* __errno_location(void);

enum { SYS_time = 13, SYS_gettimeofday = 78, SYS_clock_gettime = 265, SYS_clock_gettime64 = 403 };
enum { CLOCK_REALTIME = 0, CLOCK_REALTIME_COARSE = 5 };

struct ts32 {
  long tv_sec;
  long tv_nsec;
};
struct ts64 {
  i64 tv_sec;
  long tv_nsec;
  long pad;
};
struct tv32 {
  long tv_sec;
  long tv_usec;
};
struct tv64 {
  i64 tv_sec;
  i64 tv_usec;
};

static long sys2(long number, long a, long b) {
  long result;
  __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b) : "memory");
  return result;
}

static int fail(long result) {
  if (result < 0 && result > -4096) {
    *__errno_location() = (int)-result;
    return -1;
  }
  return (int)result;
}

/* 0: not read yet, 1: real time, 2: standing still, 3: shifted. */
static int mode;
static i64 setting;

static int parse(const char* text, i64* value) {
  int negative = 0, digits = 0;
  i64 result = 0;
  if (*text == '-' || *text == '+')
    negative = *text++ == '-';
  for (; *text >= '0' && *text <= '9' && digits < 18; ++text, ++digits)
    result = result * 10 + (*text - '0');
  if (digits == 0 || *text != '\0')
    return 0;
  *value = negative ? -result : result;
  return 1;
}

static int clock_mode(void) {
  int known = __atomic_load_n(&mode, __ATOMIC_ACQUIRE);
  if (known == 0) {
    const char* at = getenv("AQ_CLOCK_AT");
    const char* shift = getenv("AQ_CLOCK_SHIFT");
    i64 value = 0;
    int chosen = 1;
    const char* from = getenv("AQ_CLOCK_FROM");
    if (at && parse(at, &value)) {
      chosen = 2;
    } else if (from && parse(from, &value)) {
      value -= sys2(SYS_time, 0, 0);
      chosen = 3;
    } else if (shift && parse(shift, &value)) {
      chosen = 3;
    }
    /* Threads that read it first at the same time come to the same setting. */
    setting = value;
    __atomic_store_n(&mode, chosen, __ATOMIC_RELEASE);
    known = chosen;
  }
  return known;
}

/* Applies the setting to a real time in seconds; returns whether the fraction goes. */
static int adjust(i64* seconds) {
  switch (clock_mode()) {
  case 2:
    *seconds = setting;
    return 1;
  case 3:
    *seconds += setting;
    return 0;
  default:
    return 0;
  }
}

/* The same for the 32-bit seconds of the older calls. */
static int adjust32(long* seconds) {
  i64 wide = *seconds;
  int whole = adjust(&wide);
  *seconds = (long)wide;
  return whole;
}

static int is_wall_clock(int id) {
  return id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE;
}

int __clock_gettime64(int id, struct ts64* out) {
  int result = fail(sys2(SYS_clock_gettime64, id, (long)out));
  if (result == 0 && is_wall_clock(id) && adjust(&out->tv_sec))
    out->tv_nsec = 0;
  return result;
}

int clock_gettime(int id, struct ts32* out) {
  int result = fail(sys2(SYS_clock_gettime, id, (long)out));
  if (result == 0 && is_wall_clock(id) && adjust32(&out->tv_sec))
    out->tv_nsec = 0;
  return result;
}

int gettimeofday(struct tv32* out, void* zone) {
  int result = fail(sys2(SYS_gettimeofday, (long)out, (long)zone));
  if (result == 0 && out && adjust32(&out->tv_sec))
    out->tv_usec = 0;
  return result;
}

int __gettimeofday64(struct tv64* out, void* zone) {
  struct ts64 now;
  int result = __clock_gettime64(CLOCK_REALTIME, &now);
  if (result == 0 && out) {
    out->tv_sec = now.tv_sec;
    out->tv_usec = now.tv_nsec / 1000;
  }
  if (result == 0 && zone)
    result = fail(sys2(SYS_gettimeofday, 0, (long)zone));
  return result;
}

i64 __time64(i64* out) {
  struct ts64 now;
  if (__clock_gettime64(CLOCK_REALTIME, &now) != 0)
    return -1;
  if (out)
    *out = now.tv_sec;
  return now.tv_sec;
}

long time(long* out) {
  i64 seconds = sys2(SYS_time, 0, 0);
  adjust(&seconds);
  if (out)
    *out = (long)seconds;
  return (long)seconds;
}

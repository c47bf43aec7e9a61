// Two pieces of work at once: one on a second thread, one on this one.
#pragma once

#if !defined(QUELLMARK_NO_THREADS)
#include <exception>
#include <system_error>
#include <thread>
#endif

namespace quellmark {

// Whether a second thread would run beside this one rather than take turns
// with it: the build has threads and the machine more than one core.
inline bool secondCoreHelps() {
#if defined(QUELLMARK_NO_THREADS)
  return false;
#else
  // Asked once: the answer is read from the system each time.
  static const bool helps = std::thread::hardware_concurrency() != 1;
  return helps;
#endif
}

// Runs `beside` on a second thread while `here` runs on this one, and
// returns when both are done. False, having run neither, when no second
// thread can be had (or the build has no threads). What `beside` throws
// (memory may run out there too) is thrown again here, once both are done.
template <class Beside, class Here>
bool runBeside(Beside&& beside, Here&& here) {
#if defined(QUELLMARK_NO_THREADS)
  (void)beside, (void)here;
  return false;
#else
  std::exception_ptr failed;
  std::jthread other;
  try {
    other = std::jthread([&] {
      try {
        beside();
      } catch (...) {
        failed = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    return false;
  }
  here();
  other.join();
  if (failed) std::rethrow_exception(failed);
  return true;
#endif
}

}  // namespace quellmark

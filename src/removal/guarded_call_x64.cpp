#include "guarded_call.h"

// x86-64 has no exception chain to link a record into: the dispatcher finds
// handlers through the unwind entries of the functions on the stack. So the
// guard is a function whose entry names a handler of ours, reached only by an
// exception that the frames above it did not handle, as on i386. Wine still
// links a record of its dispatcher into the thread's exception list while it
// calls a handler; the jump home leaves that record behind, so the guard puts
// the list's head back as it found it, as the i386 twin does.

// The innermost guard's __builtin_setjmp buffer (frame pointer, resume
// address, stack pointer): where the handler sends execution home.
static void **ActiveResume;

// The thread's exception list head, the first field of its TEB (gs:[0]).
static EXCEPTION_REGISTRATION_RECORD *ListHead() {
  EXCEPTION_REGISTRATION_RECORD *head;
  __asm__ __volatile__("movq %%gs:0, %0" : "=r"(head));
  return head;
}

static void SetListHead(EXCEPTION_REGISTRATION_RECORD *head) {
  __asm__ __volatile__("movq %0, %%gs:0" : : "r"(head) : "memory");
}

// Runs on the faulting stack, below the guarded call's frames; the jump
// abandons them and the dispatcher's frames with them. An unwind that passes
// through is someone else's and is let through. Only the assembler names it,
// so the whole-program build of the stub is told to keep it as it is.
extern "C" __attribute__((used, externally_visible)) EXCEPTION_DISPOSITION
QuenridResumeAfterException(EXCEPTION_RECORD *exception, void *, CONTEXT *, void *) {
  if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  __builtin_longjmp(ActiveResume, 1);
}

// Its own frame, not inlined, and the call is not its last act (no tail
// call), so that this frame and its handler are on the stack while the
// procedure runs. The nop keeps the return address off the epilogue: an
// unwinder that finds an epilogue there takes the frame as already leaving
// and asks no handler of it.
__attribute__((noinline)) static void CallUnderHandler(FARPROC procedure) {
  __asm__ __volatile__(".seh_handler QuenridResumeAfterException, @except");
  procedure();
  __asm__ __volatile__("nop" ::: "memory");
}

bool CallGuarded(FARPROC procedure) {
  void *resume[5];
  void **const outer = ActiveResume;
  EXCEPTION_REGISTRATION_RECORD *const head = ListHead();
  if (__builtin_setjmp(resume)) {
    SetListHead(head);
    ActiveResume = outer;
    return false;
  }
  ActiveResume = resume;
  CallUnderHandler(procedure);
  ActiveResume = outer;
  return true;
}

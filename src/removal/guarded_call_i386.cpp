#include "guarded_call.h"

// The registration record comes first: the system hands the record's address
// back to the handler, which finds its way home through the buffer behind it.
// GCC's own setjmp buffer is used, not the runtime's: msvcrt's longjmp may
// walk the exception chain on its way, and the chain is ours to restore.
struct GuardFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  void *resume[5];  // __builtin_setjmp: frame pointer, resume address, stack pointer
};

static EXCEPTION_REGISTRATION_RECORD *ChainHead() {
  EXCEPTION_REGISTRATION_RECORD *head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  return head;
}

// The record must be in memory before it is linked in, hence the clobber.
static void SetChainHead(EXCEPTION_REGISTRATION_RECORD *head) {
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}

// Runs on the faulting stack, below the guarded call's own frames; the jump
// abandons them and the dispatcher's frames with them. An unwind that passes
// through is someone else's and is let through.
static EXCEPTION_DISPOSITION NTAPI ResumeAfterException(EXCEPTION_RECORD *exception, void *frame,
                                                        CONTEXT *, void *) {
  if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  __builtin_longjmp(static_cast<GuardFrame *>(frame)->resume, 1);
}

bool CallGuarded(FARPROC procedure) {
  GuardFrame frame;
  frame.record.Next = ChainHead();
  frame.record.Handler = ResumeAfterException;
  if (__builtin_setjmp(frame.resume)) {
    // fs:[0] still points at the dispatcher's record on the abandoned stack.
    SetChainHead(frame.record.Next);
    return false;
  }
  SetChainHead(&frame.record);
  procedure();
  SetChainHead(frame.record.Next);
  return true;
}

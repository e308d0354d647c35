#include "self_delete.h"

void ScheduleSelfDeletion() {}

// Removal of the uninstaller itself after it has exited.
#pragma once

// Starts the hidden batch that deletes the executable, and then its folder
// when empty, once this process has ended.
void ScheduleSelfDeletion();
